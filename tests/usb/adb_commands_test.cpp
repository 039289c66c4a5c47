#include "usb/adb_commands.h"

#include <gtest/gtest.h>

#include <string>

namespace pavix {
namespace {

TEST(AdbCommands, ProgramDirectoryIsCutAfterTheLastBackslash) {
    EXPECT_EQ(ProgramDirectoryOf("C:\\Program Files\\Pavix\\pavix.exe"), "C:\\Program Files\\Pavix\\");
    EXPECT_EQ(ProgramDirectoryOf("C:\\pavix.exe"), "C:\\");
    EXPECT_EQ(ProgramDirectoryOf("\\\\server\\share\\"), "\\\\server\\share\\");
    EXPECT_EQ(ProgramDirectoryOf("pavix.exe"), "");
    EXPECT_EQ(ProgramDirectoryOf("/usr/bin/pavix"), "");
    EXPECT_EQ(ProgramDirectoryOf(""), "");
}

TEST(AdbCommands, CommandLinesQuoteTheToolsPath) {
    const std::string dir = "C:\\Program Files\\Pavix\\";
    EXPECT_EQ(ForwardCommandLine(dir),
              "\"C:\\Program Files\\Pavix\\adb.exe\" forward tcp:1234 tcp:1234");
    EXPECT_EQ(StartAppCommandLine(dir),
              "\"C:\\Program Files\\Pavix\\adb.exe\" shell am start -n "
              "com.quarnel.ovicam/com.quarnel.ovicam.Splash");
    EXPECT_EQ(InstallAppCommandLine(dir), "\"C:\\Program Files\\Pavix\\adb.exe\" install -r Pavix.apk");
    EXPECT_EQ(ForwardCommandLine(""), "\"adb.exe\" forward tcp:1234 tcp:1234");
}

TEST(AdbCommands, ForwardFailsOnAnyMarkerTriedInOrder) {
    EXPECT_TRUE(ForwardSucceeded(""));
    EXPECT_TRUE(ForwardSucceeded("* daemon started successfully *\n"));
    EXPECT_TRUE(ForwardSucceeded("ERROR: FAIL NOT FOUND"));  // markers are case-sensitive

    EXPECT_STREQ(ForwardFailureMarker("error: no devices/emulators found"), "error:");
    EXPECT_STREQ(ForwardFailureMarker("Error: closed"), "Error:");
    EXPECT_STREQ(ForwardFailureMarker("adb server not found"), "not found");
    EXPECT_STREQ(ForwardFailureMarker("* daemon failed to start *"), "fail");
    EXPECT_STREQ(ForwardFailureMarker("sh: adb: No such file or directory"),
                 "No such file or directory");
    EXPECT_STREQ(ForwardFailureMarker("failed: error: device not found"), "error:");
    EXPECT_FALSE(ForwardSucceeded(kRunnerFailureText));
}

TEST(AdbCommands, StartOutputTellsWhenTheAppIsMissing) {
    EXPECT_TRUE(StartSaysAppMissing("Error: Activity class {...} does not exist."));
    EXPECT_TRUE(StartSaysAppMissing("Error:"));
    EXPECT_TRUE(StartSaysAppMissing("package does not exist"));
    EXPECT_FALSE(StartSaysAppMissing("Starting: Intent { cmp=com.quarnel.ovicam/.Splash }"));
    EXPECT_FALSE(StartSaysAppMissing("error: device offline"));
    EXPECT_FALSE(StartSaysAppMissing(kRunnerFailureText)) << "no install when the tool is missing";
}

}  // namespace
}  // namespace pavix
