// The debug-bridge runner against the scripted stand-in adb.exe that the
// build puts beside this test program (runs under Wine). Console output of a
// Windows program ends its lines with CR LF.
#include "usb/adb_runner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "usb/adb_commands.h"

namespace pavix {
namespace {

using Clock = std::chrono::steady_clock;

bool GoOn(unsigned milliseconds) {
    Sleep(milliseconds);
    return true;
}

class AdbRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = ProgramDirectory() + "fake_adb_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        DeleteFileA(log.c_str());
        SetEnvironmentVariableA("FAKE_ADB_LOG", log.c_str());
        Script("FAKE_ADB_FORWARD", "");
        Script("FAKE_ADB_START", "");
        Script("FAKE_ADB_INSTALL", "");
    }

    static void Script(const char* verb, const std::string& behaviour) {
        SetEnvironmentVariableA(verb, behaviour.c_str());
    }

    // The command lines the stand-in was started with, in order.
    std::vector<std::string> Runs() const {
        std::vector<std::string> lines;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::string log;
};

TEST_F(AdbRunnerTest, SilentSuccessfulForwardRunsTheQuotedTool) {
    EXPECT_TRUE(ForwardPhonePort(GoOn));
    EXPECT_EQ(Runs(), std::vector<std::string>{ForwardCommandLine(ProgramDirectory())});
    EXPECT_EQ(Runs().at(0).front(), '"');
}

TEST_F(AdbRunnerTest, ForwardFailsOnAnyMarkerInTheOutput) {
    Script("FAKE_ADB_FORWARD", "print:* daemon started successfully\nerror: no devices/emulators found");
    EXPECT_FALSE(ForwardPhonePort(GoOn));
    Script("FAKE_ADB_FORWARD", "print:adb server version mismatch; killing... failed");
    EXPECT_FALSE(ForwardPhonePort(GoOn));
    Script("FAKE_ADB_FORWARD", "print:1234");
    EXPECT_TRUE(ForwardPhonePort(GoOn));
}

TEST_F(AdbRunnerTest, MissingToolIsTheRunnersFailureText) {
    EXPECT_EQ(RunAndCapture("\"" + ProgramDirectory() + "no such dir\\adb.exe\" forward", GoOn),
              kRunnerFailureText);
}

TEST_F(AdbRunnerTest, MissingAppIsInstalledAndStartedAgain) {
    Script("FAKE_ADB_START", "print:Error: Activity class {com.quarnel.ovicam/x} does not exist.");
    EXPECT_TRUE(StartPhoneApp(GoOn));
    const std::string directory = ProgramDirectory();
    EXPECT_EQ(Runs(), (std::vector<std::string>{StartAppCommandLine(directory),
                                                InstallAppCommandLine(directory),
                                                StartAppCommandLine(directory)}));

    DeleteFileA(log.c_str());
    Script("FAKE_ADB_START", "print:Starting: Intent { cmp=com.quarnel.ovicam/.Splash }");
    EXPECT_TRUE(StartPhoneApp(GoOn));
    EXPECT_EQ(Runs().size(), 1u);
}

TEST_F(AdbRunnerTest, DescendantHoldingThePipeDoesNotHoldTheCaller) {
    Script("FAKE_ADB_FORWARD", "descendant:forwarded");
    const auto start = Clock::now();
    EXPECT_EQ(RunAndCapture(ForwardCommandLine(ProgramDirectory()), GoOn), "forwarded\r\n");
    // A silent tool that held the caller would take about ten seconds.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
}

TEST_F(AdbRunnerTest, ChattyToolIsHeardToTheEnd) {
    Script("FAKE_ADB_FORWARD", "chatty:2");
    const std::string output = RunAndCapture(ForwardCommandLine(ProgramDirectory()), GoOn);
    EXPECT_NE(output.find("line 0\r\n"), std::string::npos);
    EXPECT_NE(output.find("line 5\r\n"), std::string::npos);
}

TEST_F(AdbRunnerTest, SilentLivingToolIsEndedAfterAboutTenSeconds) {
    Script("FAKE_ADB_FORWARD", "silent");
    const auto start = Clock::now();
    EXPECT_TRUE(ForwardPhonePort(GoOn));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::seconds(9));
    EXPECT_LT(took, std::chrono::seconds(20));
}

TEST_F(AdbRunnerTest, StopEndsTheToolAtOnce) {
    Script("FAKE_ADB_FORWARD", "silent");
    int pauses = 0;
    const auto start = Clock::now();
    RunAndCapture(ForwardCommandLine(ProgramDirectory()), [&](unsigned ms) {
        Sleep(ms);
        return ++pauses < 4;
    });
    // Left alone, the silent tool is heard out for about ten seconds.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST_F(AdbRunnerTest, NoToolIsStartedOnceStopping) {
    const auto stopping = [](unsigned) { return false; };
    EXPECT_FALSE(ForwardPhonePort(stopping));
    StartPhoneApp(stopping);
    EXPECT_TRUE(Runs().empty());
}

TEST_F(AdbRunnerTest, DirectoryWithSpacesFindsTheTool) {
    const std::string spaced = ProgramDirectory() + "Program Files\\";
    CreateDirectoryA(spaced.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "adb.exe").c_str(), (spaced + "adb.exe").c_str(), FALSE));
    Script("FAKE_ADB_FORWARD", "print:from the spaced directory");
    EXPECT_EQ(RunAndCapture(ForwardCommandLine(spaced), GoOn), "from the spaced directory\r\n");
}

}  // namespace
}  // namespace pavix
