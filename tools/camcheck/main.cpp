// camcheck: a DirectShow capture application for checking the camera.
//
//   camcheck --list
//       lists the video-input devices with what their registration says
//   camcheck [--device NAME] --list-types
//       lists the types the device's capture pin offers (IAMStreamConfig)
//   camcheck [--device NAME] [--size WxH] [--format NV12|I420|YUY2|RGB24|RGB32]
//            [--source WxH] [--seconds S] [--until-eos] [--runs N]
//            [--pause-ms MS] [--no-clock] [--save FILE.bmp]
//       opens the device (default "Pavix") through the system device
//       enumerator; with --size or --format, picks the capability of that
//       size and format (RGB24 when only a size is given, the first size of
//       the format when only a format is) and sets it with SetFormat, as
//       applications that let the user choose do; builds camera -> Sample
//       Grabber -> Null Renderer with the capture graph builder
//       (PIN_CATEGORY_CAPTURE), runs it N times for S seconds each (or
//       until end of stream with --until-eos; S is then the limit),
//       stopping it after each, and reports the media type (with its frame
//       duration in 100 ns units), each run's samples with their stamps and
//       rate, end of stream, and the last picture. --pause-ms pauses the
//       graph before each run; --no-clock runs it without a reference clock,
//       so the renderer never waits for a sample's time.
//
//       Every sample is read as the phone simulator's test pattern: its
//       picture id (frame number, -1 when unreadable) is listed per run
//       ("ids ..."), with how many samples repeated the picture before
//       ("repeats") and how many pictures the ids skipped ("gaps"). The last
//       picture is checked: upright, its colours, and where its bands lie;
//       given --source (the size of the picture the camera's writer holds),
//       whether it was cropped to fill the type or squeezed. --save writes
//       it as a 24-bit BMP whatever the format.
//
// Exit status: 0 when the graph ran, 1 on any failure, 2 for bad usage.

#include <windows.h>
#include <dshow.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "shared/com_ref.h"
#include "tools/camcheck/capture_graph.h"
#include "tools/camcheck/device_list.h"
#include "tools/camcheck/pattern_content.h"
#include "tools/camcheck/picture_ids.h"
#include "tools/camcheck/sample_picture.h"
#include "tools/camcheck/sample_stats.h"
#include "tools/camcheck/stream_types.h"
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
    bool listTypes = false;
    bool chooseType = false;  // --size or --format given
    int width = 0;            // 0: any size of the format
    int height = 0;
    SampleFormat format = SampleFormat::RGB24;
    int sourceWidth = 0;      // 0: the crop rule is not judged
    int sourceHeight = 0;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: camcheck --list\n"
                 "       camcheck [--device NAME] --list-types\n"
                 "       camcheck [--device NAME] [--size WxH] [--format NV12|I420|YUY2|RGB24|RGB32]\n"
                 "                [--source WxH] [--seconds S] [--until-eos] [--runs N]\n"
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
        } else if (arg == "--list-types") {
            options->listTypes = true;
        } else if (arg == "--size" && i + 1 < argc &&
                   ParseSize(argv[++i], &options->width, &options->height)) {
            options->chooseType = true;
        } else if (arg == "--format" && i + 1 < argc && ParseSampleFormat(argv[++i], &options->format)) {
            options->chooseType = true;
        } else if (arg == "--source" && i + 1 < argc &&
                   ParseSize(argv[++i], &options->sourceWidth, &options->sourceHeight)) {
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

// How the samples of a connection type lie in memory; false for a type
// whose pictures camcheck cannot read.
bool LayoutOf(const AM_MEDIA_TYPE& type, SampleLayout* layout) {
    const VIDEOINFOHEADER* header = VideoHeader(type);
    if (header == nullptr || !FormatOfSubtype(type.subtype, &layout->format)) {
        return false;
    }
    layout->width = header->bmiHeader.biWidth;
    layout->height = std::abs(header->bmiHeader.biHeight);
    layout->topDown = header->bmiHeader.biHeight < 0;
    return SampleBytes(*layout) != 0;
}

bool IsRgb(SampleFormat format) {
    return format == SampleFormat::RGB24 || format == SampleFormat::RGB32;
}

// The connection type; `layout` is filled when camcheck can read its
// pictures.
bool ReportMediaType(CaptureGraph& graph, SampleLayout* layout) {
    AM_MEDIA_TYPE type = {};
    if (FAILED(graph.ConnectionType(&type))) {
        std::printf("media type unknown\n");
        return false;
    }
    const VIDEOINFOHEADER* header = VideoHeader(type);
    bool readable = LayoutOf(type, layout);
    std::printf("media type %s %s", GuidName(type.majortype).c_str(), GuidName(type.subtype).c_str());
    if (header != nullptr) {
        // YUV rows go top-down whatever the sign of the height.
        bool topDown = header->bmiHeader.biHeight < 0 || (readable && !IsRgb(layout->format));
        std::printf(" %ldx%ld %u-bit %s image %lu frame %" PRId64, header->bmiHeader.biWidth,
                    header->bmiHeader.biHeight < 0 ? -header->bmiHeader.biHeight
                                                   : header->bmiHeader.biHeight,
                    header->bmiHeader.biBitCount, topDown ? "top-down" : "bottom-up",
                    static_cast<unsigned long>(header->bmiHeader.biSizeImage),
                    static_cast<int64_t>(header->AvgTimePerFrame));
    }
    std::printf(" sample size %lu\n", static_cast<unsigned long>(type.lSampleSize));
    if (header != nullptr && header->AvgTimePerFrame > 0) {
        std::printf("connected %ldx%ld %s at %.2f/s\n", header->bmiHeader.biWidth,
                    std::abs(header->bmiHeader.biHeight), GuidName(type.subtype).c_str(),
                    1e7 / static_cast<double>(header->AvgTimePerFrame));
    }
    FreeMediaTypeFields(type);
    return readable;
}

int ListTypes(IBaseFilter* camera) {
    std::vector<StreamType> types;
    HRESULT hr = ListStreamTypes(camera, &types);
    if (FAILED(hr)) {
        std::printf("cannot read the capture pin's types: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("types %zu\n", types.size());
    for (const StreamType& t : types) {
        std::printf("type %d %dx%d %s %d-bit frame %" PRId64 " interval %" PRId64 "-%" PRId64 "\n",
                    t.index, t.width, std::abs(t.height), GuidName(t.subtype).c_str(), t.bitCount,
                    static_cast<int64_t>(t.avgTimePerFrame),
                    static_cast<int64_t>(t.minFrameInterval),
                    static_cast<int64_t>(t.maxFrameInterval));
    }
    return 0;
}

// The picture id of each sample: the test pattern's frame number.
PictureReader PatternIdReader(const SampleLayout& layout) {
    // One streaming thread calls it: the picture is reused.
    auto picture = std::make_shared<Picture>();
    return [layout, picture](const uint8_t* data, size_t length) -> int64_t {
        if (!SampleToPicture(data, length, layout, picture.get())) {
            return -1;
        }
        return ReadPatternContent(*picture).frame;
    };
}

void ReportPictureIds(int run, const std::vector<SampleRecord>& records) {
    std::vector<int64_t> ids;
    ids.reserve(records.size());
    std::printf("run %d: ids", run);
    for (const SampleRecord& r : records) {
        ids.push_back(r.pictureId);
        std::printf(" %" PRId64, r.pictureId);
    }
    std::printf("\n");
    PictureIdSummary summary = SummarisePictureIds(ids);
    std::printf("run %d: pictures %zu distinct %zu repeats %zu gaps %zu unreadable %zu"
                " first %" PRId64 " last %" PRId64 "\n",
                run, summary.samples, summary.distinct, summary.repeats, summary.gaps,
                summary.unreadable, summary.first, summary.last);
}

// "upright", "unrecognised", or what is wrong: "flipped mirrored", ...
std::string OrientationWords(const phonesim::PatternOrientation& o) {
    if (!o.recognised) {
        return "unrecognised";
    }
    if (o.upright()) {
        return "upright";
    }
    std::string words;
    auto add = [&words](bool wrong, const char* word) {
        if (wrong) {
            words += (words.empty() ? "" : " ") + std::string(word);
        }
    };
    add(o.flipped_vertically, "flipped");
    add(o.mirrored, "mirrored");
    add(o.red_blue_swapped, "red-blue-swapped");
    return words;
}

// What the last picture shows of the pattern, and how it was fitted.
void ReportContent(int run, const Options& options, const SampleLayout& layout,
                   const Picture& picture) {
    PatternContent content = ReadPatternContent(picture);
    std::string orientation = OrientationWords(content.orientation);
    std::printf("run %d: picture frame %" PRId64 " %s colours %s\n", run, content.frame,
                orientation.c_str(), content.coloursTrue ? "true" : "off");
    PatternGeometry geometry = MeasurePatternGeometry(picture);
    if (!geometry.measured) {
        std::printf("run %d: bands not found\n", run);
        return;
    }
    std::printf("run %d: bands top %.3f bottom %.3f marker %.3f", run, geometry.topBandEnd,
                geometry.bottomBandStart, geometry.startMarker);
    if (options.sourceWidth > 0) {
        FitVerdict verdict = JudgeFit(geometry, options.sourceWidth, options.sourceHeight,
                                      layout.width, layout.height);
        PatternGeometry crop = ExpectedGeometry(options.sourceWidth, options.sourceHeight,
                                                layout.width, layout.height, true);
        std::printf(" fit %s (cropped %.3f %.3f %.3f from %dx%d)", FitVerdictName(verdict),
                    crop.topBandEnd, crop.bottomBandStart, crop.startMarker, options.sourceWidth,
                    options.sourceHeight);
    }
    std::printf("\n");
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
    if (options.listTypes) {
        return ListTypes(camera.Get());
    }
    if (options.chooseType) {
        StreamType chosen;
        hr = ChooseStreamType(camera.Get(), options.width, options.height, options.format, &chosen);
        if (FAILED(hr)) {
            std::printf("no type %dx%d %s offered: 0x%08lx\n", options.width, options.height,
                        SampleFormatName(options.format), static_cast<unsigned long>(hr));
            return 1;
        }
        std::printf("chose type %d %dx%d %s\n", chosen.index, chosen.width, std::abs(chosen.height),
                    SampleFormatName(chosen.format));
    }
    CaptureGraph graph;
    hr = graph.Build(camera.Get(), nullptr, SubtypeOf(options.format));
    camera.Reset();  // the graph holds its own reference
    if (FAILED(hr)) {
        std::printf("cannot build the capture graph: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    SampleLayout layout;
    const bool readable = ReportMediaType(graph, &layout);
    if (readable) {
        graph.Samples().SetPictureReader(PatternIdReader(layout));
    }
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
                        " continuous %s skips %zu rising %s",
                        stamps.firstStart, stamps.lastStart, stamps.lastStop, stamps.step,
                        stamps.continuous ? "yes" : "no", stamps.skips,
                        stamps.rising ? "yes" : "no");
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
        if (readable) {
            ReportPictureIds(run, records);
        }
        std::vector<uint8_t> last = graph.Samples().LastSample();
        Picture picture;
        if (readable && SampleToPicture(last.data(), last.size(), layout, &picture)) {
            Rgb quadrants[4];
            QuadrantAverages(picture, quadrants);
            std::printf("run %d: quadrants %s %s %s %s\n", run, FormatRgb(quadrants[0]).c_str(),
                        FormatRgb(quadrants[1]).c_str(), FormatRgb(quadrants[2]).c_str(),
                        FormatRgb(quadrants[3]).c_str());
            ReportContent(run, options, layout, picture);
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
