// The Windows camera's figures, under Wine: how long after a picture's
// arrival in the HD block an application reading 1280 x 720 NV12 through
// Media Foundation's source reader has it, against the moment a bare
// waiter on the block's new-picture event wakes; and what each sample
// costs the process, against the bare libyuv conversion it needs.
//
//   media_source_bench.exe [SECONDS]   (each phase; default 10)
//
// Run from tests/mfcamera of the win64 tree (the module's path is relative).

#include <windows.h>
#include <mfapi.h>

#include <libyuv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "shared/hd_camera_request.h"
#include "shared/hd_picture_block.h"
#include "tests/bench/best_time.h"
#include "tests/mfcamera/support/numbered_pictures.h"

using namespace pavix;
using namespace pavix::testing;
using namespace pavix::tools;

namespace {

double Ms(std::int64_t ticks) {
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(HdBlockWriter::Frequency());
}

double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

struct Percentiles {
    double p50 = 0, p90 = 0, p99 = 0;
};
Percentiles Of(std::vector<double> values) {
    Percentiles p;
    if (values.empty()) return p;
    std::sort(values.begin(), values.end());
    auto at = [&](double q) { return values[static_cast<size_t>(q * (values.size() - 1))]; };
    p.p50 = at(0.5);
    p.p90 = at(0.9);
    p.p99 = at(0.99);
    return p;
}

// The bare floor: a waiter holding a request slot wakes on its event and
// takes the newest picture's arrival. Returns the latencies; *cpuMs gets
// the process's CPU meanwhile (the publisher's, mostly).
std::vector<double> BareWake(double seconds, double* cpuMs) {
    std::vector<double> latencies;
    HANDLE requestMap = nullptr, blockMap = nullptr;
    void* request = nullptr;
    void* block = nullptr;
    bool global = false;
    if (!OpenHdRequestSection(&requestMap, &request) || !OpenHdPictureBlock(&blockMap, &block, &global)) {
        return latencies;
    }
    const std::uint32_t ticket = NewRequestTicket(GetCurrentProcessId());
    const int slot = ClaimRequestSlot(request, ticket, 1280, 720, GetTickCount64());
    HANDLE ready = OpenHdReadyEvent(slot);
    const double cpuStart = ProcessCpuMs();
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    while (ready != nullptr && GetTickCount64() < end) {
        if (WaitForSingleObject(ready, 1000) != WAIT_OBJECT_0) continue;
        const std::int64_t now = HdBlockWriter::Now();
        HdPictureView picture;
        if (FindLatestHdPicture(block, &picture)) latencies.push_back(Ms(now - picture.arrivalTime));
        RefreshRequestSlot(request, slot, ticket, 1280, 720, GetTickCount64());
    }
    *cpuMs = ProcessCpuMs() - cpuStart;
    if (ready != nullptr) CloseHandle(ready);
    ReleaseRequestSlot(request, slot, ticket);
    CloseSharedFrameBuffer(&requestMap, &request);
    CloseSharedFrameBuffer(&blockMap, &block);
    return latencies;
}

// Ours: samples read through the source reader; *samples and *cpuMs as
// above.
std::vector<double> ThroughReader(double seconds, NumberedPublisher& publisher, size_t* samples,
                                  double* cpuMs) {
    std::vector<double> latencies;
    CMediaSourceModule module(L"../../mfcamera/PavixMediaSource.dll");
    ComRef<IMFMediaSource> source;
    ComRef<IMFSourceReader> reader;
    const SampleLayout layout{SampleFormat::NV12, 1280, 720, true};
    if (FAILED(module.CreateSource(source.Put())) || FAILED(OpenSourceReader(source.Get(), &reader)) ||
        FAILED(ChooseLayout(reader.Get(), layout))) {
        std::printf("the source did not open\n");
        return latencies;
    }
    ReadResult sample;
    ReadNextSample(reader.Get(), &sample);  // the stream's start
    const double cpuStart = ProcessCpuMs();
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    // The stream started with about the newest picture.
    const std::uint64_t published = publisher.Published();
    std::uint64_t least = published > 5 ? published - 5 : 1;
    *samples = 0;
    while (GetTickCount64() < end && ReadNextSample(reader.Get(), &sample) == S_OK) {
        ++*samples;
        const std::uint64_t number = NumberOfLuma(CentreLuma(sample, layout), least);
        const std::int64_t arrival = publisher.ArrivalOf(number);
        if (arrival != 0 && sample.readAt > arrival) latencies.push_back(Ms(sample.readAt - arrival));
        least = number;
    }
    *cpuMs = ProcessCpuMs() - cpuStart;
    reader.Reset();
    source->Shutdown();
    return latencies;
}

// The source alone, as the Frame Server drives it: a request, then the
// sample's event, the buffer untouched. *cpuMs as above.
size_t SourceAlone(double seconds, double* cpuMs) {
    CMediaSourceModule module(L"../../mfcamera/PavixMediaSource.dll");
    ComRef<IMFMediaSource> source;
    ComRef<IMFPresentationDescriptor> descriptor;
    if (FAILED(module.CreateSource(source.Put())) ||
        FAILED(source->CreatePresentationDescriptor(descriptor.Put()))) {
        return 0;
    }
    PROPVARIANT start;
    PropVariantInit(&start);
    ComRef<IMFMediaEvent> event;
    ComRef<IMFMediaStream> stream;
    if (FAILED(source->Start(descriptor.Get(), nullptr, &start)) ||
        FAILED(source->GetEvent(0, event.Put()))) {
        return 0;
    }
    PROPVARIANT value;
    PropVariantInit(&value);
    event->GetValue(&value);
    if (value.vt == VT_UNKNOWN) value.punkVal->QueryInterface(IID_IMFMediaStream, stream.PutVoid());
    PropVariantClear(&value);
    if (!stream) return 0;
    size_t samples = 0;
    const double cpuStart = ProcessCpuMs();
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    while (GetTickCount64() < end && SUCCEEDED(stream->RequestSample(nullptr))) {
        MediaEventType type = MEUnknown;
        do {
            if (FAILED(stream->GetEvent(0, event.Put()))) return samples;
            event->GetType(&type);
        } while (type != MEMediaSample);
        ++samples;
    }
    *cpuMs = ProcessCpuMs() - cpuStart;
    source->Shutdown();
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_FULL);
    HdBlockWriter writer;
    if (!writer.Open()) {
        std::printf("cannot make the HD block\n");
        return 1;
    }
    double bareCpu = 0, oursCpu = 0, aloneCpu = 0;
    size_t samples = 0, aloneSamples = 0;
    std::vector<double> bare, ours;
    {
        NumberedPublisher publisher(writer);
        bare = BareWake(seconds, &bareCpu);
        ours = ThroughReader(seconds, publisher, &samples, &oursCpu);
        aloneSamples = SourceAlone(seconds, &aloneCpu);
    }
    const Percentiles b = Of(bare), o = Of(ours);
    std::printf("Windows camera, 1280x720 pictures at 30/s, read as 1280x720 NV12, %.0f s each\n",
                seconds);
    std::printf("picture arrival -> application, ms:   ours (source reader) p50 %.2f p90 %.2f p99 %.2f"
                " (%zu samples); bare event wake p50 %.2f p90 %.2f p99 %.2f; target p50 <= 10\n",
                o.p50, o.p90, o.p99, ours.size(), b.p50, b.p90, b.p99);

    // The process's CPU beyond the publisher's, per sample.
    auto perSample = [&](double cpu, size_t count) {
        return count == 0 ? 0 : std::max(0.0, (cpu - bareCpu) / static_cast<double>(count));
    };
    std::vector<std::uint8_t> i420(1280 * 720 * 3 / 2, 90), nv12(1280 * 720 * 3 / 2);
    const double bareConvert = pavix::bench::BestMsPerStep(1.0, [&] {
        libyuv::I420ToNV12(i420.data(), 1280, i420.data() + 1280 * 720, 640,
                           i420.data() + 1280 * 720 * 5 / 4, 640, nv12.data(), 1280,
                           nv12.data() + 1280 * 720, 1280, 1280, 720);
    });
    std::printf("cost per sample, ms of CPU:            ours (the source alone) %.3f, (source +"
                " reader + copy out) %.3f; bare libyuv I420ToNV12 %.3f; target <= 1\n",
                perSample(aloneCpu, aloneSamples), perSample(oursCpu, samples), bareConvert);
    MFShutdown();
    CoUninitialize();
    return ours.size() < 10 ? 1 : 0;
}
