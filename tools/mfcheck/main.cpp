// mfcheck: a Media Foundation application for checking the Windows camera.
//
//   mfcheck MODULE --list-types
//       lists the types the source's stream offers, in its order
//   mfcheck MODULE [--size WxH] [--format NV12|YUY2|RGB32] [--samples N]
//       reads N samples (default 90) of that type (default 1280x720 NV12)
//       through Media Foundation's source reader and reports them
//
// MODULE is PavixMediaSource.dll; mfcheck loads it and asks it for its
// class object, as COM would, and reads the source it activates. Every
// sample is read as the phone simulator's test pattern: the picture ids
// ("samples ... distinct ... repeats ... gaps ... unreadable"), the steps
// between the stamps of samples showing new pictures, in 100 ns units
// ("steps median ... min ... max"), and the last picture ("picture frame
// F upright colours true", and its mean colour).
//
// Exit status: 0 when the samples came, 1 on any failure, 2 for bad usage.

#include <windows.h>
#include <mfapi.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/camcheck/pattern_content.h"
#include "tools/camcheck/picture_ids.h"
#include "tools/mfcheck/source_reader_client.h"

using namespace pavix;
using namespace pavix::tools;

namespace {

struct Options {
    std::wstring module;
    bool listTypes = false;
    SampleLayout layout{SampleFormat::NV12, 1280, 720, true};
    int samples = 90;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: mfcheck MODULE --list-types\n"
                 "       mfcheck MODULE [--size WxH] [--format NV12|YUY2|RGB32] [--samples N]\n");
    return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    if (argc < 2) return false;
    const std::string module = argv[1];
    options->module.assign(module.begin(), module.end());
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--list-types") {
            options->listTypes = true;
        } else if (arg == "--size" && hasValue) {
            if (!ParseSize(argv[++i], &options->layout.width, &options->layout.height)) return false;
        } else if (arg == "--format" && hasValue) {
            if (!ParseSampleFormat(argv[++i], &options->layout.format)) return false;
        } else if (arg == "--samples" && hasValue) {
            options->samples = std::atoi(argv[++i]);
            if (options->samples < 1 || options->samples > 100000) return false;
        } else {
            return false;
        }
    }
    return true;
}

int ListTypes(IMFSourceReader* reader) {
    const std::vector<SampleLayout> layouts = NativeLayouts(reader);
    for (size_t i = 0; i < layouts.size(); ++i) {
        if (layouts[i].width == 0) {
            std::printf("type %zu unknown\n", i);
        } else {
            std::printf("type %zu %dx%d %s\n", i, layouts[i].width, layouts[i].height,
                        SampleFormatName(layouts[i].format));
        }
    }
    return layouts.empty() ? 1 : 0;
}

int ReadSamples(IMFSourceReader* reader, const Options& options) {
    const SampleLayout& layout = options.layout;
    HRESULT hr = ChooseLayout(reader, layout);
    if (FAILED(hr)) {
        std::printf("type %dx%d %s not offered (0x%08lx)\n", layout.width, layout.height,
                    SampleFormatName(layout.format), static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("connected %dx%d %s\n", layout.width, layout.height, SampleFormatName(layout.format));
    std::vector<int64_t> ids;
    std::vector<int64_t> steps;  // between stamps of samples with new pictures
    int64_t lastNewTime = 0;
    int64_t lastId = -2;
    bool rising = true;
    int64_t lastTime = INT64_MIN;
    Picture picture;
    bool havePicture = false;
    for (int i = 0; i < options.samples; ++i) {
        ReadResult sample;
        hr = ReadNextSample(reader, &sample);
        if (hr != S_OK) {
            std::printf("sample %d: no sample (0x%08lx)\n", i, static_cast<unsigned long>(hr));
            return 1;
        }
        rising = rising && sample.time > lastTime;
        lastTime = sample.time;
        int64_t id = -1;
        if (SampleToPicture(sample.bytes.data(), sample.bytes.size(), layout, &picture)) {
            havePicture = true;
            id = ReadPatternContent(picture).frame;
        }
        if (id >= 0 && id != lastId) {
            if (lastId >= 0) steps.push_back(sample.time - lastNewTime);
            lastNewTime = sample.time;
            lastId = id;
        }
        ids.push_back(id);
    }
    const PictureIdSummary summary = SummarisePictureIds(ids);
    std::printf("samples %zu distinct %zu repeats %zu gaps %zu unreadable %zu rising %s\n",
                summary.samples, summary.distinct, summary.repeats, summary.gaps,
                summary.unreadable, rising ? "yes" : "no");
    if (!steps.empty()) {
        std::sort(steps.begin(), steps.end());
        std::printf("steps median %" PRId64 " min %" PRId64 " max %" PRId64 "\n",
                    steps[steps.size() / 2], steps.front(), steps.back());
    }
    if (havePicture) {
        // The last picture's mean colour: black without Pavix, the idle
        // picture's without a phone.
        double sum[3] = {0, 0, 0};
        for (size_t i = 0; i + 2 < picture.bgr.size(); i += 3) {
            for (int c = 0; c < 3; ++c) sum[c] += picture.bgr[i + c];
        }
        const double pixels = static_cast<double>(picture.bgr.size() / 3);
        std::printf("picture mean red %.0f green %.0f blue %.0f\n", sum[2] / pixels,
                    sum[1] / pixels, sum[0] / pixels);
        const PatternContent content = ReadPatternContent(picture);
        std::printf("picture frame %" PRId64 " %s colours %s\n", content.frame,
                    content.orientation.recognised && content.orientation.upright() ? "upright"
                                                                                    : "not-upright",
                    content.coloursTrue ? "true" : "off");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) return Usage();
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) ||
        FAILED(MFStartup(MF_VERSION, MFSTARTUP_FULL))) {
        std::printf("Media Foundation did not start\n");
        return 1;
    }
    int status = 1;
    {
        CMediaSourceModule module(options.module.c_str());
        ComRef<IMFMediaSource> source;
        ComRef<IMFSourceReader> reader;
        HRESULT hr = E_FAIL;
        if (!module.Loaded()) {
            std::printf("cannot load the source module\n");
        } else if (FAILED(hr = module.CreateSource(source.Put())) ||
                   FAILED(hr = OpenSourceReader(source.Get(), &reader))) {
            std::printf("no source reader (0x%08lx)\n", static_cast<unsigned long>(hr));
        } else {
            status = options.listTypes ? ListTypes(reader.Get()) : ReadSamples(reader.Get(), options);
        }
        reader.Reset();
        if (source) source->Shutdown();
    }
    MFShutdown();
    CoUninitialize();
    return status;
}
