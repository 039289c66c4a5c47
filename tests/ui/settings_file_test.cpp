#include "ui/settings_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pavix {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path = (std::filesystem::temp_directory_path() / ("pavix_cfg_" + test + ".ini")).string();
        std::remove(path.c_str());
    }
    void TearDown() override { std::remove(path.c_str()); }

    void WriteFile(const std::string& content) {
        std::ofstream file(path, std::ios::binary);
        file << content;
    }
    std::string FileContent() const {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    bool Read() { return ReadSettings(path.c_str(), &endpoint); }

    void ExpectUntouched() const {
        EXPECT_STREQ(endpoint.address, "untouched");
        EXPECT_EQ(endpoint.port, -5);
        EXPECT_EQ(endpoint.port2, -6);
    }

    std::string path;
    PhoneEndpoint endpoint{{'u', 'n', 't', 'o', 'u', 'c', 'h', 'e', 'd'}, -5, -6};
};

TEST_F(SettingsFileTest, WrittenAsOneLineAndReadBack) {
    ASSERT_TRUE(WriteSettings(path.c_str(), "192.168.1.2", 1234, 1235));
    EXPECT_EQ(FileContent(), "192.168.1.2:1234:1235");
    ASSERT_TRUE(Read());
    EXPECT_STREQ(endpoint.address, "192.168.1.2");
    EXPECT_EQ(endpoint.port, 1234);
    EXPECT_EQ(endpoint.port2, 1235);

    ASSERT_TRUE(WriteSettings(path.c_str(), "10.0.0.1", 80, 81));
    EXPECT_EQ(FileContent(), "10.0.0.1:80:81") << "the file is replaced";
}

TEST_F(SettingsFileTest, FieldsAreReadLikeStrtokAndAtoi) {
    WriteFile("192.168.1.2:1234:1235\n");
    ASSERT_TRUE(Read());
    EXPECT_EQ(endpoint.port2, 1235);

    WriteFile("::10.0.0.7::80:81x:extra\nsecond line:1:2");
    ASSERT_TRUE(Read());
    EXPECT_STREQ(endpoint.address, "10.0.0.7");
    EXPECT_EQ(endpoint.port, 80);
    EXPECT_EQ(endpoint.port2, 81);
}

// A port outside 1-65535 would be cut to 16 bits (66770 aims at 1234): the
// file is refused as a whole.
TEST_F(SettingsFileTest, PortsOutsideTheTcpRangeAreAFailedRead) {
    const struct {
        const char* content;
        bool taken;
    } cases[] = {
        {"10.0.0.7:1:65535", true},     {"10.0.0.7:65535:1", true},
        {"10.0.0.7:66770:1235", false}, {"10.0.0.7:1234:66771", false},
        {"10.0.0.7:0:1235", false},     {"10.0.0.7:1234:x81", false},
        {"10.0.0.7:-1234:1235", false}, {"10.0.0.7:99999999999:1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        WriteFile(c.content);
        PhoneEndpoint before = endpoint;
        EXPECT_EQ(Read(), c.taken);
        if (!c.taken) ExpectUntouched();
        endpoint = before;
    }
}

TEST_F(SettingsFileTest, MissingOrShortFileIsAFailedRead) {
    EXPECT_FALSE(Read()) << "no file";
    for (const char* content : {"", "\n", "192.168.1.2", "192.168.1.2:1234", "192.168.1.2:1234:",
                                ":::", "192.168.1.2:1234\n:1235"}) {
        WriteFile(content);
        EXPECT_FALSE(Read()) << content;
        ExpectUntouched();
    }
}

TEST_F(SettingsFileTest, AddressOfFortyOrMoreCharactersIsAFailedRead) {
    const std::string longest(39, '7');
    WriteFile(longest + ":1:2");
    ASSERT_TRUE(Read());
    EXPECT_EQ(std::string(endpoint.address), longest);

    endpoint = PhoneEndpoint{{'u', 'n', 't', 'o', 'u', 'c', 'h', 'e', 'd'}, -5, -6};
    for (std::size_t length : {40, 41, 120}) {
        WriteFile(std::string(length, '7') + ":1:2");
        EXPECT_FALSE(Read()) << length;
        ExpectUntouched();
    }
}

TEST_F(SettingsFileTest, OnlyTheFirst128CharactersOfTheLineCount) {
    // The third field starts at offset 126: only its "12" is within the line.
    const std::string line = "1.2.3.4:80:" + std::string(115, ':') + "1234";
    ASSERT_EQ(line.find("1234"), 126u);
    WriteFile(line);
    ASSERT_TRUE(Read());
    EXPECT_EQ(endpoint.port2, 12);
}

TEST_F(SettingsFileTest, UnwritablePlaceIsReported) {
    const std::string inMissingDirectory =
        (std::filesystem::temp_directory_path() / "pavix-no-such-dir" / "pavix_cfg.ini").string();
    EXPECT_FALSE(WriteSettings(inMissingDirectory.c_str(), "1.2.3.4", 1, 2));
}

}  // namespace
}  // namespace pavix
