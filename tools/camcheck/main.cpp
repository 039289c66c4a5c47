// camcheck: a DirectShow capture application for checking the camera.
//
//   camcheck --list
//       lists the video-input devices with what their registration says
//   camcheck [--device NAME] [--seconds S] [--until-eos] [--runs N]
//            [--pause-ms MS] [--no-clock] [--save FILE.bmp]
//       opens the device (default "Pavix") through the system device
//       enumerator, builds camera -> Sample Grabber -> Null Renderer with the
//       capture graph builder (PIN_CATEGORY_CAPTURE), runs it N times for S
//       seconds each (or until end of stream with --until-eos; S is then the
//       limit), stopping it after each, and reports the media type (with its
//       frame duration in 100 ns units), each run's samples with their stamps
//       and rate, end of stream, and the last picture. --pause-ms pauses the
//       graph before each run; --no-clock runs it without a reference clock,
//       so the renderer never waits for a sample's time.
//
// Exit status: 0 when the graph ran, 1 on any failure, 2 for bad usage.

#include <windows.h>
#include <dshow.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shared/com_ref.h"
#include "tools/camcheck/capture_graph.h"
#include "tools/camcheck/device_list.h"
#include "tools/camcheck/sample_stats.h"
#include "tools/shmtool/picture.h"

namespace {

using namespace pavix::tools;

struct Options {
    bool list = false;
    std::wstring device = L"Pavix";
    double seconds = 3;
    bool untilEos = false;
    int runs = 1;
    long pauseMs = 0;
    bool noClock = false;
    std::string save;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: camcheck --list\n"
                 "       camcheck [--device NAME] [--seconds S] [--until-eos] [--runs N]\n"
                 "                [--pause-ms MS] [--no-clock] [--save FILE.bmp]\n");
    return 2;
}

bool ParseNumber(const char* text, double low, double high, double* value) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        double number = 0;
        if (arg == "--list") {
            options->list = true;
        } else if (arg == "--until-eos") {
            options->untilEos = true;
        } else if (arg == "--no-clock") {
            options->noClock = true;
        } else if (arg == "--device" && i + 1 < argc) {
            std::string name = argv[++i];
            options->device.assign(name.begin(), name.end());
        } else if (arg == "--seconds" && i + 1 < argc && ParseNumber(argv[++i], 0.1, 3600, &number)) {
            options->seconds = number;
        } else if (arg == "--runs" && i + 1 < argc && ParseNumber(argv[++i], 1, 100, &number)) {
            options->runs = static_cast<int>(number);
        } else if (arg == "--pause-ms" && i + 1 < argc &&
                   ParseNumber(argv[++i], 0, 60000, &number)) {
            options->pauseMs = static_cast<long>(number);
        } else if (arg == "--save" && i + 1 < argc) {
            options->save = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

int ListDevices() {
    std::vector<VideoDevice> devices;
    HRESULT hr = ListVideoInputDevices(&devices);
    if (FAILED(hr)) {
        std::printf("cannot enumerate video-input devices: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("devices %zu\n", devices.size());
    for (const VideoDevice& device : devices) {
        std::printf("device \"%s\" clsid %s", Narrow(device.friendlyName).c_str(),
                    device.clsid.empty() ? "-" : Narrow(device.clsid).c_str());
        if (!device.haveFilterData) {
            std::printf(" (no filter data)\n");
            continue;
        }
        std::printf(" merit 0x%08lx pins %zu\n", static_cast<unsigned long>(device.merit),
                    device.pins.size());
        for (const DevicePin& pin : device.pins) {
            std::printf("  pin %s category %s types", pin.output ? "output" : "input",
                        GuidName(pin.category).c_str());
            for (const DevicePinType& type : pin.types) {
                std::printf(" %s/%s", GuidName(type.major).c_str(), GuidName(type.minor).c_str());
            }
            std::printf("\n");
        }
    }
    return 0;
}

void ReportMediaType(CaptureGraph& graph) {
    AM_MEDIA_TYPE type = {};
    if (FAILED(graph.ConnectionType(&type))) {
        std::printf("media type unknown\n");
        return;
    }
    const VIDEOINFOHEADER* header = VideoHeader(type);
    std::printf("media type %s %s", GuidName(type.majortype).c_str(), GuidName(type.subtype).c_str());
    if (header != nullptr) {
        std::printf(" %ldx%ld %u-bit %s image %lu frame %" PRId64, header->bmiHeader.biWidth,
                    header->bmiHeader.biHeight < 0 ? -header->bmiHeader.biHeight
                                                   : header->bmiHeader.biHeight,
                    header->bmiHeader.biBitCount,
                    header->bmiHeader.biHeight < 0 ? "top-down" : "bottom-up",
                    static_cast<unsigned long>(header->bmiHeader.biSizeImage),
                    static_cast<int64_t>(header->AvgTimePerFrame));
    }
    std::printf(" sample size %lu\n", static_cast<unsigned long>(type.lSampleSize));
    FreeMediaTypeFields(type);
}

bool LastPicture(CaptureGraph& graph, Picture* picture) {
    AM_MEDIA_TYPE type = {};
    if (FAILED(graph.ConnectionType(&type))) {
        return false;
    }
    const VIDEOINFOHEADER* header = VideoHeader(type);
    std::vector<uint8_t> sample = graph.Samples().LastSample();
    bool ok = header != nullptr && header->bmiHeader.biBitCount == 24 &&
              SampleToPicture(sample.data(), sample.size(), header->bmiHeader.biWidth,
                              header->bmiHeader.biHeight, picture);
    FreeMediaTypeFields(type);
    return ok;
}

int64_t ProcessCpuUs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto toUs = [](const FILETIME& t) {
        return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10;
    };
    return toUs(kernel) + toUs(user);
}

int Capture(const Options& options) {
    pavix::ComRef<IBaseFilter> camera;
    HRESULT hr = OpenVideoInputDevice(options.device, camera.Put());
    if (FAILED(hr)) {
        std::printf("cannot open \"%s\": 0x%08lx\n", Narrow(options.device).c_str(),
                    static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("opened \"%s\"\n", Narrow(options.device).c_str());
    CaptureGraph graph;
    hr = graph.Build(camera.Get());
    camera.Reset();  // the graph holds its own reference
    if (FAILED(hr)) {
        std::printf("cannot build the capture graph: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    ReportMediaType(graph);
    if (options.noClock) {
        hr = graph.RemoveClock();
        if (FAILED(hr)) {
            std::printf("cannot run without a clock: 0x%08lx\n", static_cast<unsigned long>(hr));
            return 1;
        }
    }

    const DWORD runMs = static_cast<DWORD>(options.seconds * 1000);
    for (int run = 1; run <= options.runs; ++run) {
        graph.Samples().Clear();
        int64_t cpuBefore = ProcessCpuUs();
        if (options.pauseMs > 0) {
            hr = graph.Pause();
            if (FAILED(hr)) {
                std::printf("pause failed: 0x%08lx\n", static_cast<unsigned long>(hr));
                return 1;
            }
            Sleep(static_cast<DWORD>(options.pauseMs));
            std::printf("run %d paused %ld ms: samples %zu\n", run, options.pauseMs,
                        graph.Samples().Count());
        }
        hr = graph.Run();
        if (FAILED(hr)) {
            std::printf("run failed: 0x%08lx\n", static_cast<unsigned long>(hr));
            return 1;
        }
        long code = 0;
        LONG_PTR param = 0;
        bool ended = false;
        if (options.untilEos) {
            ended = graph.WaitForEnd(runMs, &code, &param);
        } else {
            Sleep(runMs);
            ended = graph.WaitForEnd(1, &code, &param);
        }
        DWORD stopStart = GetTickCount();
        hr = graph.Stop();
        DWORD stopMs = GetTickCount() - stopStart;
        int64_t cpuUs = ProcessCpuUs() - cpuBefore;

        std::vector<SampleRecord> records = graph.Samples().Records();
        StampSummary stamps = SummariseStamps(records);
        ArrivalSummary arrivals = SummariseArrivals(records);
        std::printf("run %d: samples %zu", run, stamps.count);
        if (stamps.count > 0) {
            std::printf(" first %" PRId64 " last %" PRId64 "-%" PRId64 " step %" PRId64
                        " continuous %s skips %zu",
                        stamps.firstStart, stamps.lastStart, stamps.lastStop, stamps.step,
                        stamps.continuous ? "yes" : "no", stamps.skips);
        }
        std::printf("\n");
        if (arrivals.intervals > 0) {
            std::printf("run %d: rate %.2f/s interval mean %.2f ms sd %.2f ms min %.2f max %.2f"
                        " cpu %.2f ms/sample\n",
                        run, arrivals.ratePerSecond, arrivals.meanMs, arrivals.stdDevMs,
                        arrivals.minMs, arrivals.maxMs,
                        cpuUs / 1000.0 / static_cast<double>(stamps.count));
        }
        if (records.size() > 2) {
            // From the second sample on: the first may wait in a paused
            // renderer for the graph to run.
            std::vector<SampleRecord> steady(records.begin() + 1, records.end());
            std::printf("run %d: arrivals behind stamps by %.1f ms over %.2f s\n", run,
                        ArrivalDriftMs(steady),
                        (steady.back().start - steady.front().start) / 1e7);
        }
        std::printf("run %d: end %s", run,
                    !ended                       ? "none"
                    : code == EC_COMPLETE        ? "end-of-stream"
                    : code == EC_ERRORABORT      ? "error-abort"
                                                 : "user-abort");
        if (ended && code == EC_ERRORABORT) {
            std::printf(" 0x%08lx", static_cast<unsigned long>(param));
        }
        std::printf(" stop %s in %lu ms\n", SUCCEEDED(hr) ? "ok" : "failed",
                    static_cast<unsigned long>(stopMs));
        Picture picture;
        if (LastPicture(graph, &picture)) {
            Rgb quadrants[4];
            QuadrantAverages(picture, quadrants);
            std::printf("run %d: quadrants %s %s %s %s\n", run, FormatRgb(quadrants[0]).c_str(),
                        FormatRgb(quadrants[1]).c_str(), FormatRgb(quadrants[2]).c_str(),
                        FormatRgb(quadrants[3]).c_str());
            if (!options.save.empty() && run == options.runs) {
                if (!WriteFile(options.save, EncodeBmp(picture))) {
                    std::printf("cannot write %s\n", options.save.c_str());
                    return 1;
                }
                std::printf("saved %s\n", options.save.c_str());
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Unbuffered: a test reading the output sees every line even if the
    // program is ended early.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        return Usage();
    }
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) {
        std::printf("cannot initialise COM: 0x%08lx\n", static_cast<unsigned long>(com));
        return 1;
    }
    int status = options.list ? ListDevices() : Capture(options);
    std::fflush(stdout);
    CoUninitialize();
    return status;
}
