// Benchmark of the camera as a capture application sees it: RovoFilter.ax
// (loaded like COM loads it, not registered) in a capture graph with the
// Sample Grabber and Null Renderer, streaming the four-quadrant picture for
// a while. Reports the samples per second reaching the grabber, the spread
// of the intervals between them, how far their arrivals drifted from their
// stamps, and the process's CPU time per sample.
//
//   camera_bench [SECONDS]    (default 10; run from its build directory)
//
// The design paces the pin by deadline, one sample every 30 ms from the
// start of the run: 33.3 samples per second, arriving when their stamps
// say.

#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/filter/support/camera_module.h"
#include "tests/filter/support/com_ref.h"
#include "tests/filter/support/shared_block.h"
#include "tools/camcheck/capture_graph.h"
#include "tools/camcheck/sample_stats.h"
#include "tools/shmtool/picture.h"

namespace {

using pavix::testing::CameraModule;
using pavix::testing::ComRef;
using pavix::testing::SharedBlock;
using pavix::tools::CaptureGraph;

int64_t ProcessCpuUs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto toUs = [](const FILETIME& t) {
        return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10;
    };
    return toUs(kernel) + toUs(user);
}

bool Measure(const CameraModule& module, bool withClock, DWORD seconds) {
    ComRef<IBaseFilter> camera;
    HRESULT hr = module.CreateFilter(camera.Put());
    if (FAILED(hr)) {
        std::printf("cannot create the camera filter: 0x%08lx\n", static_cast<unsigned long>(hr));
        return false;
    }
    CaptureGraph graph;
    hr = graph.Build(camera.Get());
    if (SUCCEEDED(hr) && !withClock) {
        hr = graph.RemoveClock();
    }
    if (FAILED(hr)) {
        std::printf("cannot build the capture graph: 0x%08lx\n", static_cast<unsigned long>(hr));
        return false;
    }
    int64_t cpuBefore = ProcessCpuUs();
    if (FAILED(graph.Run())) {
        std::printf("cannot run the graph\n");
        return false;
    }
    Sleep(seconds * 1000);
    graph.Stop();
    int64_t cpuUs = ProcessCpuUs() - cpuBefore;

    std::vector<pavix::tools::SampleRecord> records = graph.Samples().Records();
    // The first sample waits in the paused renderer for the graph to run;
    // the steady rate is measured from the second on.
    std::vector<pavix::tools::SampleRecord> steady;
    if (records.size() > 1) {
        steady.assign(records.begin() + 1, records.end());
    }
    pavix::tools::ArrivalSummary arrivals = pavix::tools::SummariseArrivals(steady);
    pavix::tools::StampSummary stamps = pavix::tools::SummariseStamps(records);
    std::printf("%-11s samples %4zu in %lu s  rate %6.2f/s  interval mean %6.2f ms  sd %5.2f ms"
                "  min %6.2f  max %6.2f  arrivals behind stamps %6.1f ms  cpu %.3f ms/sample"
                "  stamps %s\n",
                withClock ? "graph clock" : "no clock", records.size(),
                static_cast<unsigned long>(seconds), arrivals.ratePerSecond, arrivals.meanMs,
                arrivals.stdDevMs, arrivals.minMs, arrivals.maxMs,
                pavix::tools::ArrivalDriftMs(steady),
                records.empty() ? 0.0 : cpuUs / 1000.0 / static_cast<double>(records.size()),
                stamps.continuous && stamps.step == 333333 ? "1/30 s apart" : "IRREGULAR");
    return !records.empty();
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    DWORD seconds = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 10;
    if (seconds == 0 || seconds > 3600) {
        std::fprintf(stderr, "usage: camera_bench [SECONDS]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    bool ok = false;
    {
        CameraModule module;
        SharedBlock block;
        if (!module.Loaded() || !block.Open()) {
            std::printf("cannot load %ls or open the shared block\n", CameraModule::Path());
        } else {
            block.Publish(pavix::tools::QuadrantPicture(480, 320), 1);
            std::printf("camera: RovoFilter.ax, 480x320 RGB24, Sample Grabber + Null Renderer"
                        " (design: 33.3 samples/s, on time with their stamps)\n");
            ok = Measure(module, true, seconds) && Measure(module, false, seconds);
        }
    }
    CoUninitialize();
    return ok ? 0 : 1;
}
