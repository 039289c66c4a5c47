// The engine in-process, with its window, under Wine: its workers stopped
// and started again and again while the phone simulator streams (and while
// a debug-bridge child runs), and HandleJpeg's replacement of a failing
// decoder. Run by live_link_test.sh (case "engine"), in the prefix with the
// camera filter, with the simulator on 127.0.0.1:1234 and the debug-bridge
// stand-in beside this program as adb.exe (FAKE_ADB_LOG names its log).

#include "app/rovo_engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "shared/shared_frame_buffer.h"
#include "tests/support/jpeg_samples.h"
#include "ui/ui_handler.h"

namespace pavix {

// The narrow way in: the engine names this class its friend.
class CRovoEngineTestAccess {
public:
    static bool HandleJpeg(CRovoEngine& engine, const std::vector<std::uint8_t>& payload) {
        return engine.HandleJpeg(payload.data(), static_cast<std::int32_t>(payload.size()));
    }
    static const CJpegDecoder* Decoder(const CRovoEngine& engine) { return engine.decoder_; }
    static HWND MainWindow(const CRovoEngine& engine) { return engine.ui_->MainWindow(); }
};

namespace {

using Outcome = CWorkerThread::StopOutcome;

// Handles the window's messages for `milliseconds`, as the message loop
// would: the workers post to the window now and then.
void PumpFor(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

// Pumps until `done` is true or `milliseconds` passed; whether it was.
template <typename Done>
bool PumpUntil(Done done, DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() >= end) return false;
        PumpFor(20);
    }
    return true;
}

std::size_t LinesIn(const std::string& path) {
    std::ifstream in(path);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
}

std::string Environment(const char* variable) {
    char value[1024] = {};
    GetEnvironmentVariableA(variable, value, sizeof value);
    return value;
}

class EngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(ReceiveRing().Init());
        engine = new CRovoEngine(GetModuleHandleW(nullptr));
        ASSERT_EQ(engine->Init(), 0);
        ASSERT_EQ(engine->CreateMainWindow(SW_SHOWNOACTIVATE), 0);
        ASSERT_EQ(OpenSharedFrameBuffer(&mapping, &view), 1);
    }

    static void TearDownTestSuite() {
        if (engine == nullptr) return;
        // As the program ends: the window's destruction shuts the engine down.
        DestroyWindow(CRovoEngineTestAccess::MainWindow(*engine));
        PumpFor(100);
        delete engine;
        engine = nullptr;
        if (view != nullptr) CloseSharedFrameBuffer(&mapping, &view);
    }

    static std::int32_t FrameWord() { return ReadFrameWord(view); }

    static CRovoEngine* engine;
    static HANDLE mapping;
    static void* view;
};

CRovoEngine* EngineTest::engine = nullptr;
HANDLE EngineTest::mapping = nullptr;
void* EngineTest::view = nullptr;

TEST_F(EngineTest, FourFailedPicturesInARowReplaceTheDecoderAndTheNextPictureShows) {
    const std::vector<std::uint8_t> bad(600, 0x5A);
    const testing::JpegBytes good = testing::ColourJpeg(640, 480);

    // Three failures, then a picture: the count starts again.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(CRovoEngineTestAccess::HandleJpeg(*engine, bad));
    const CJpegDecoder* first = CRovoEngineTestAccess::Decoder(*engine);
    const std::int32_t before = FrameWord();
    EXPECT_TRUE(CRovoEngineTestAccess::HandleJpeg(*engine, good));
    EXPECT_EQ(FrameWord(), before + 1);

    for (int i = 0; i < 3; ++i) EXPECT_TRUE(CRovoEngineTestAccess::HandleJpeg(*engine, bad));
    EXPECT_EQ(CRovoEngineTestAccess::Decoder(*engine), first) << "three in a row keep the decoder";
    EXPECT_FALSE(CRovoEngineTestAccess::HandleJpeg(*engine, bad)) << "the fourth tells the parser";
    const CJpegDecoder* second = CRovoEngineTestAccess::Decoder(*engine);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(FrameWord(), before + 1) << "no failure is published";

    // The fresh decoder shows the next picture, and its count starts at 0.
    EXPECT_TRUE(CRovoEngineTestAccess::HandleJpeg(*engine, good));
    EXPECT_EQ(FrameWord(), before + 2);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(CRovoEngineTestAccess::HandleJpeg(*engine, bad));
    EXPECT_EQ(CRovoEngineTestAccess::Decoder(*engine), second);
}

// 200 stops and starts of both workers at varied moments while the
// simulator streams: every one ends by itself, none is ended forcibly.
// Every 20th cycle stops them while the debug bridge's child runs. On a
// loaded machine a worker inside a picture may end a little after the
// stop's wait; that is counted, not failed, unless it becomes common.
TEST_F(EngineTest, WorkersStopAndStartTwoHundredTimesWithoutAForcedEnd) {
    const std::string adbLog = Environment("FAKE_ADB_LOG");
    ASSERT_FALSE(adbLog.empty()) << "FAKE_ADB_LOG names the stand-in's log";
    std::mt19937 random(7);
    const long forcedBefore = CWorkerThread::ForcedEnds();
    int late = 0;
    int forced = 0;
    int cyclesWithPictures = 0;
    int cyclesWithTheToolRunning = 0;

    for (int cycle = 0; cycle < 200; ++cycle) {
        const bool usb = cycle % 20 == 19;
        // A port nobody listens on sends the supervisor down the USB path
        // after its 3 s pause; the stand-in's forward then stays silent.
        engine->SetPhoneEndpoint("127.0.0.1", usb ? 9 : 1234, usb ? 10 : 1235);
        const std::size_t toolRuns = LinesIn(adbLog);
        const std::int32_t wordBefore = FrameWord();
        ASSERT_EQ(engine->StartCommThread(), 0);
        ASSERT_EQ(engine->StartFpsThread(), 0);
        if (usb) {
            if (PumpUntil([&] { return LinesIn(adbLog) > toolRuns; }, 15000)) {
                ++cyclesWithTheToolRunning;
                PumpFor(200);  // the child is up and silent now
            }
        } else {
            // Every third cycle streams before its stop comes, however slow
            // the machine; the others may stop anywhere from the connect on.
            if (cycle % 3 == 0) PumpUntil([&] { return FrameWord() > wordBefore; }, 10000);
            // Then anywhere up to the middle of a picture.
            PumpFor(std::uniform_int_distribution<DWORD>(0, 600)(random));
        }
        const Outcome comm = engine->StopCommThread();
        const Outcome fps = engine->StopFpsThread();
        EXPECT_NE(comm, Outcome::Forced) << "cycle " << cycle;
        EXPECT_NE(fps, Outcome::Forced) << "cycle " << cycle;
        late += (comm == Outcome::EndedLate) + (fps == Outcome::EndedLate);
        forced += (comm == Outcome::Forced) + (fps == Outcome::Forced);
        if (FrameWord() > wordBefore) ++cyclesWithPictures;
    }
    std::printf("200 restarts: %d pictures-publishing cycles, %d with the debug bridge's child "
                "running, %d late ends, %d forced ends\n",
                cyclesWithPictures, cyclesWithTheToolRunning, late, forced);
    EXPECT_EQ(CWorkerThread::ForcedEnds(), forcedBefore);
    EXPECT_EQ(forced, 0);
    EXPECT_LE(late, 40) << "most stops end within the wait";
    EXPECT_EQ(cyclesWithTheToolRunning, 10) << "the stops were to come while the child ran";
    EXPECT_GE(cyclesWithPictures, 50) << "the stops were to come while pictures streamed";
}

}  // namespace
}  // namespace pavix
