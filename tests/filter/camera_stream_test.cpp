// The camera end to end through Wine's DirectShow: RovoFilter.ax in the
// graph a capture application builds (capture graph builder, Sample
// Grabber, Null Renderer), fed through the shared frame buffer.

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "filter/capture_formats.h"
#include "shared/shared_frame_buffer.h"
#include "tests/filter/support/camera_module.h"
#include "tests/filter/support/camera_sample_picture.h"
#include "tests/filter/support/com_ref.h"
#include "tests/filter/support/shared_block.h"
#include "tools/camcheck/capture_graph.h"
#include "tools/camcheck/sample_stats.h"
#include "tools/shmtool/picture.h"

namespace pavix::testing {
namespace {

using pavix::tools::CaptureGraph;
using pavix::tools::Picture;
using pavix::tools::Rgb;
using pavix::tools::SampleRecord;

constexpr REFERENCE_TIME kStep = 333333;

// Bounds for waiting on what should come within a fraction of a second:
// generous, so that a loaded machine does not fail them; a healthy stream
// ends the wait long before.
constexpr DWORD kSoon = 20000;

template <typename Predicate>
bool WaitFor(Predicate done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(5);
    }
    return true;
}

class CameraStream : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(module_.Loaded());
        ASSERT_TRUE(block_.Open());
        block_.Publish(pavix::tools::QuadrantPicture(480, 320), 3);
    }
    void TearDown() override {
        graphs_.clear();
        CoUninitialize();
    }

    // A capture application's graph around a new camera filter.
    CaptureGraph& NewGraph(const AM_MEDIA_TYPE* directType = nullptr) {
        ComRef<IBaseFilter> camera;
        EXPECT_EQ(S_OK, module_.CreateFilter(camera.Put()));
        graphs_.push_back(std::make_unique<CaptureGraph>());
        CaptureGraph& graph = *graphs_.back();
        EXPECT_EQ(S_OK, graph.Build(camera.Get(), directType));
        return graph;
    }

    // The last sample as the picture it shows, read by its connection type.
    static Picture LastPicture(CaptureGraph& graph) {
        AM_MEDIA_TYPE type = {};
        Picture picture;
        EXPECT_EQ(S_OK, graph.ConnectionType(&type));
        const VIDEOINFOHEADER* info = pavix::tools::VideoHeader(type);
        std::vector<uint8_t> sample = graph.Samples().LastSample();
        EXPECT_TRUE(info != nullptr &&
                    pavix::tools::SampleToPicture(sample.data(), sample.size(), info->bmiHeader.biWidth,
                                                  info->bmiHeader.biHeight, &picture));
        pavix::tools::FreeMediaTypeFields(type);
        return picture;
    }

    static void ExpectQuadrants(const Picture& picture) {
        Rgb seen[4];
        pavix::tools::QuadrantAverages(picture, seen);
        const char* names[4] = {"top left", "top right", "bottom left", "bottom right"};
        for (int q = 0; q < 4; ++q) {
            EXPECT_EQ(pavix::tools::FormatRgb(pavix::tools::kQuadrantColours[q]),
                      pavix::tools::FormatRgb(seen[q]))
                << names[q];
        }
    }

    CameraModule module_;
    SharedBlock block_;
    std::vector<std::unique_ptr<CaptureGraph>> graphs_;
};

TEST_F(CameraStream, CaptureApplicationSeesThePictureUprightInItsColours) {
    CaptureGraph& graph = NewGraph();
    AM_MEDIA_TYPE type = {};
    ASSERT_EQ(S_OK, graph.ConnectionType(&type));
    const VIDEOINFOHEADER* info = pavix::tools::VideoHeader(type);
    ASSERT_NE(nullptr, info);
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB24, type.subtype));
    EXPECT_EQ(480, info->bmiHeader.biWidth);
    EXPECT_EQ(320, info->bmiHeader.biHeight);
    EXPECT_EQ(kStep, info->AvgTimePerFrame) << "the connection names the rate delivered";
    pavix::tools::FreeMediaTypeFields(type);

    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= 5; }, kSoon));
    ExpectQuadrants(LastPicture(graph));

    // The newest picture wins: a new one shows in the next samples.
    Picture red = pavix::tools::QuadrantPicture(480, 320);
    for (size_t i = 0; i < red.bgr.size(); i += 3) {
        red.bgr[i] = 0;
        red.bgr[i + 1] = 0;
        red.bgr[i + 2] = 200;
    }
    block_.Publish(red, 4);
    size_t seen = graph.Samples().Count();
    ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= seen + 3; }, kSoon));
    Rgb quadrants[4];
    pavix::tools::QuadrantAverages(LastPicture(graph), quadrants);
    EXPECT_EQ("#c80000", pavix::tools::FormatRgb(quadrants[0]));
    EXPECT_EQ("#c80000", pavix::tools::FormatRgb(quadrants[3]));
    EXPECT_EQ(S_OK, graph.Stop());
}

TEST_F(CameraStream, LargerTypesStreamTheBlockPictureScaledToFill) {
    // 480 x 320 into 16:9 (cropped top and bottom) and into 4:3 (cropped at
    // the sides), each in a YUV format a capture application asks for.
    const CameraType types[] = {{CameraFormat::NV12, 1280, 720}, {CameraFormat::YUY2, 640, 480}};
    for (const CameraType& camera : types) {
        const std::string where = std::to_string(camera.width) + "x" + std::to_string(camera.height);
        AM_MEDIA_TYPE* direct = CreateCaptureMediaType(camera);
        ASSERT_NE(nullptr, direct);
        CaptureGraph& graph = NewGraph(direct);
        pavix::tools::FreeMediaTypeFields(*direct);
        CoTaskMemFree(direct);
        AM_MEDIA_TYPE type = {};
        ASSERT_EQ(S_OK, graph.ConnectionType(&type)) << where;
        CameraType connected;
        EXPECT_TRUE(CameraTypeOf(type, &connected) && SameCameraType(camera, connected)) << where;
        pavix::tools::FreeMediaTypeFields(type);

        ASSERT_EQ(S_OK, graph.RemoveClock());
        ASSERT_TRUE(SUCCEEDED(graph.Run()));
        ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= 3; }, kSoon)) << where;
        EXPECT_EQ(S_OK, graph.Stop());
        for (const SampleRecord& record : graph.Samples().Records()) {
            EXPECT_EQ(static_cast<long>(CameraImageSize(camera)), record.length) << where;
        }
        std::vector<uint8_t> sample = graph.Samples().LastSample();
        Picture seen;
        ASSERT_TRUE(CameraSampleToPicture(sample.data(), sample.size(), camera, &seen)) << where;
        ExpectQuadrantCentres(seen, where);
    }
}

TEST_F(CameraStream, TopDownConnectionIsDeliveredUpright) {
    AM_MEDIA_TYPE topDown = {};
    topDown.majortype = MEDIATYPE_Video;
    topDown.subtype = MEDIASUBTYPE_RGB24;
    topDown.bFixedSizeSamples = TRUE;
    topDown.lSampleSize = 460800;
    topDown.formattype = FORMAT_VideoInfo;
    VIDEOINFOHEADER header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = 480;
    header.bmiHeader.biHeight = -320;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = BI_RGB;
    header.bmiHeader.biSizeImage = 460800;
    topDown.cbFormat = sizeof(header);
    topDown.pbFormat = reinterpret_cast<BYTE*>(&header);

    CaptureGraph& graph = NewGraph(&topDown);
    AM_MEDIA_TYPE type = {};
    ASSERT_EQ(S_OK, graph.ConnectionType(&type));
    const VIDEOINFOHEADER* info = pavix::tools::VideoHeader(type);
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(-320, info->bmiHeader.biHeight);
    pavix::tools::FreeMediaTypeFields(type);

    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= 3; }, kSoon));
    ExpectQuadrants(LastPicture(graph));
    EXPECT_EQ(S_OK, graph.Stop());
}

TEST_F(CameraStream, StampsAre30MsApartAndStartAtZeroOnEveryRun) {
    CaptureGraph& graph = NewGraph();
    ASSERT_EQ(S_OK, graph.RemoveClock());  // every sample reaches the grabber at once
    for (int run = 0; run < 3; ++run) {
        graph.Samples().Clear();
        ASSERT_TRUE(SUCCEEDED(graph.Run()));
        ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= 8; }, kSoon));
        ASSERT_EQ(S_OK, graph.Stop());
        pavix::tools::StampSummary stamps = pavix::tools::SummariseStamps(graph.Samples().Records());
        EXPECT_TRUE(stamps.continuous) << "run " << run;
        EXPECT_EQ(kStep, stamps.step) << "run " << run;
        EXPECT_EQ(0, stamps.firstStart) << "run " << run;
    }
}

TEST_F(CameraStream, RestartedStreamWithTheGraphClockFlowsAtOnce) {
    // With the graph clock the renderer holds each sample until its stamp
    // is due in the graph's stream time, which starts again at 0 with every
    // run: a restarted stream must not wait for stamps left from earlier
    // runs. Each run lasts 2 s, about 66 samples; a third of that is plenty
    // on a loaded machine, while a stalled run shows one.
    CaptureGraph& graph = NewGraph();
    for (int run = 0; run < 3; ++run) {
        graph.Samples().Clear();
        ASSERT_TRUE(SUCCEEDED(graph.Run()));
        Sleep(2000);
        ASSERT_EQ(S_OK, graph.Stop());
        std::vector<SampleRecord> records = graph.Samples().Records();
        EXPECT_GE(records.size(), 20u) << "run " << run << " stalled";
        pavix::tools::StampSummary stamps = pavix::tools::SummariseStamps(records);
        EXPECT_EQ(0, stamps.firstStart) << "run " << run;
        EXPECT_TRUE(stamps.continuous) << "run " << run;
    }
}

TEST_F(CameraStream, ShutdownWordEndsTheStreamAtTheFirstSampleAlsoFromPause) {
    block_.SetFrameWord(STATUS_SHUTDOWN);
    CaptureGraph& graph = NewGraph();
    ASSERT_TRUE(SUCCEEDED(graph.Pause()));
    // A paused renderer completes its pause with a sample or with the end
    // of the stream; there is no sample to be had.
    FILTER_STATE state;
    EXPECT_TRUE(WaitFor([&] { return graph.Renderer()->GetState(0, &state) == S_OK; }, kSoon))
        << "end of stream did not reach the renderer";
    long code = 0;
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    EXPECT_TRUE(graph.WaitForEnd(kSoon, &code, nullptr));
    EXPECT_EQ(EC_COMPLETE, code);
    EXPECT_EQ(0u, graph.Samples().Count());
    EXPECT_EQ(S_OK, graph.Stop());

    // Every new start ends again while the word stays -1, paused first or
    // run straight away.
    ASSERT_TRUE(SUCCEEDED(graph.Pause()));
    Sleep(100);
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    EXPECT_TRUE(graph.WaitForEnd(kSoon, &code, nullptr));
    EXPECT_EQ(S_OK, graph.Stop());
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    EXPECT_TRUE(graph.WaitForEnd(kSoon, &code, nullptr));
    EXPECT_EQ(EC_COMPLETE, code);
    EXPECT_EQ(0u, graph.Samples().Count());
    EXPECT_EQ(S_OK, graph.Stop());
}

TEST_F(CameraStream, ShutdownWordEndsARunningStream) {
    CaptureGraph& graph = NewGraph();
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= 3; }, kSoon));
    block_.SetFrameWord(STATUS_SHUTDOWN);
    long code = 0;
    ASSERT_TRUE(graph.WaitForEnd(kSoon, &code, nullptr));
    EXPECT_EQ(EC_COMPLETE, code);
    size_t delivered = graph.Samples().Count();
    Sleep(200);
    EXPECT_EQ(delivered, graph.Samples().Count());
    EXPECT_EQ(S_OK, graph.Stop());
}

struct StopCall {
    IMediaFilter* filter;
    HRESULT result = E_FAIL;
};

DWORD WINAPI StopOnThread(LPVOID p) {
    auto* call = static_cast<StopCall*>(p);
    call->result = call->filter->Stop();
    return 0;
}

// Stops `filter` on a thread of its own. A stop that hangs cannot be undone
// (it holds the filter lock): the test program then ends at once.
DWORD TimedStop(IMediaFilter* filter, DWORD limitMs) {
    StopCall call{filter};
    DWORD start = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, StopOnThread, &call, 0, nullptr);
    if (thread == nullptr || WaitForSingleObject(thread, limitMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "FATAL: stopping took more than %lu ms; giving up\n",
                     static_cast<unsigned long>(limitMs));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    CloseHandle(thread);
    EXPECT_EQ(S_OK, call.result);
    return GetTickCount() - start;
}

TEST_F(CameraStream, StoppingARunningStreamIsPromptEveryTime) {
    CaptureGraph& graph = NewGraph();
    ComRef<IMediaFilter> graphFilter;
    ASSERT_EQ(S_OK, graph.Graph()->QueryInterface(IID_IMediaFilter, graphFilter.PutVoid()));
    for (int round = 0; round < 10; ++round) {
        graph.Samples().Clear();
        ASSERT_TRUE(SUCCEEDED(graph.Run()));
        ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= 2; }, kSoon)) << "round " << round;
        Sleep(round % 4 * 7);  // stop at varying points of the 30 ms cycle
        // Odd rounds stop the camera before anything downstream, as a graph
        // manager that stops sources first would: the streaming thread is
        // then still filling samples while the stop holds the filter lock.
        // A stop takes a few tens of milliseconds; a stuck one never ends.
        if (round % 2 == 1) {
            EXPECT_LT(TimedStop(graph.Camera(), kSoon), 5000u) << "camera, round " << round;
        }
        EXPECT_LT(TimedStop(graphFilter.Get(), kSoon), 5000u) << "graph, round " << round;
    }
}

TEST_F(CameraStream, TwoApplicationsStreamFromTheBlockAtOnce) {
    CaptureGraph& first = NewGraph();
    CaptureGraph& second = NewGraph();
    ASSERT_EQ(S_OK, first.RemoveClock());
    ASSERT_EQ(S_OK, second.RemoveClock());
    ASSERT_TRUE(SUCCEEDED(first.Run()));
    ASSERT_TRUE(SUCCEEDED(second.Run()));
    ASSERT_TRUE(WaitFor([&] { return first.Samples().Count() >= 10 && second.Samples().Count() >= 10; },
                        kSoon));
    EXPECT_EQ(S_OK, first.Stop());
    EXPECT_EQ(S_OK, second.Stop());
    for (CaptureGraph* graph : {&first, &second}) {
        pavix::tools::StampSummary stamps = pavix::tools::SummariseStamps(graph->Samples().Records());
        EXPECT_EQ(0, stamps.firstStart);  // each filter keeps its own stamps
        EXPECT_TRUE(stamps.continuous);
        ExpectQuadrants(LastPicture(*graph));
    }
}

TEST_F(CameraStream, ReaderMayCreateTheBlockBeforeAnyWriter) {
    block_.Close();  // nobody holds the block now
    CaptureGraph& graph = NewGraph();  // the filter creates it: zero-filled
    {
        SharedBlock look;
        ASSERT_TRUE(look.Open());
        EXPECT_EQ(STATUS_STARTUP, ReadFrameWord(look.Bytes()));
    }
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= 2; }, kSoon));
    Rgb black[4];
    pavix::tools::QuadrantAverages(LastPicture(graph), black);
    EXPECT_EQ("#000000", pavix::tools::FormatRgb(black[0]));

    // A writer that comes later opens the same block.
    SharedBlock writer;
    ASSERT_TRUE(writer.Open());
    writer.Publish(pavix::tools::QuadrantPicture(480, 320), 1);
    size_t seen = graph.Samples().Count();
    ASSERT_TRUE(WaitFor([&] { return graph.Samples().Count() >= seen + 3; }, kSoon));
    ExpectQuadrants(LastPicture(graph));
    EXPECT_EQ(S_OK, graph.Stop());
    // Neither side writes byte 4 or the tail.
    EXPECT_EQ(0, writer.Bytes()[4]);
    for (size_t i = kPixelAreaOffset + kPixelAreaSize; i < kSharedFrameBufferSize; ++i) {
        ASSERT_EQ(0, writer.Bytes()[i]) << "byte " << i;
    }
}

}  // namespace
}  // namespace pavix::testing
