#include <gtest/gtest.h>

#include <string>

#include "rovo_communication.pb.h"

namespace pavix {
namespace {

using rovo_communication::cmd_notice;
using rovo_communication::ip_notice;

// 08 01 12 0B "192.168.1.5" 18 D2 09 20 D3 09
const std::string kExampleIpNotice =
    std::string("\x08\x01\x12\x0B", 4) + "192.168.1.5" + std::string("\x18\xD2\x09\x20\xD3\x09", 6);

// Decodes the way the notice listener does: the whole input, and every
// required field present.
bool Parse(const std::string& bytes, google::protobuf::MessageLite* message) {
    return message->ParsePartialFromString(bytes) && message->IsInitialized();
}

ip_notice ExampleIpNotice() {
    ip_notice notice;
    notice.set_number(1);
    notice.set_ip("192.168.1.5");
    notice.set_port(1234);
    notice.set_port2(1235);
    return notice;
}

TEST(NoticeSchema, FrameNoticeIsTwoBytes) {
    cmd_notice notice;
    EXPECT_FALSE(notice.IsInitialized());
    notice.set_cmd(1);
    std::string bytes;
    ASSERT_TRUE(notice.SerializeToString(&bytes));
    EXPECT_EQ(bytes, std::string("\x08\x01", 2));
    EXPECT_EQ(notice.GetTypeName(), "rovo_communication.cmd_notice");
}

TEST(NoticeSchema, IpNoticeEncodesAsThePhoneSendsIt) {
    std::string bytes;
    ASSERT_TRUE(ExampleIpNotice().SerializeToString(&bytes));
    EXPECT_EQ(bytes, kExampleIpNotice);

    ip_notice decoded;
    ASSERT_TRUE(Parse(kExampleIpNotice, &decoded));
    EXPECT_EQ(decoded.number(), 1u);
    EXPECT_EQ(decoded.ip(), "192.168.1.5");
    EXPECT_EQ(decoded.port(), 1234u);
    EXPECT_EQ(decoded.port2(), 1235u);
    EXPECT_EQ(decoded.GetTypeName(), "rovo_communication.ip_notice");
}

TEST(NoticeSchema, FieldNumbersAndWireTypesOfTheUnusedFields) {
    ip_notice ip = ExampleIpNotice();
    ip.set_extra1("a");
    ip.set_extra2("b");
    EXPECT_EQ(ip.SerializeAsString(), kExampleIpNotice + "\x2A\x01" "a" "\x32\x01" "b");

    cmd_notice cmd;
    cmd.set_cmd(1);
    cmd.set_value(200);  // two-byte varint
    cmd.set_text1("x");
    cmd.set_text2("y");
    cmd.set_text3("z");
    EXPECT_EQ(cmd.SerializeAsString(),
              std::string("\x08\x01\x10\xC8\x01\x1A\x01x\x22\x01y\x2A\x01z", 14));
}

TEST(NoticeSchema, EveryRequiredFieldMustBeThere) {
    // Each case drops one of fields 1 to 4 from the example.
    const std::string withoutNumber = kExampleIpNotice.substr(2);
    const std::string withoutIp = kExampleIpNotice.substr(0, 2) + kExampleIpNotice.substr(15);
    const std::string withoutPort = kExampleIpNotice.substr(0, 15) + kExampleIpNotice.substr(18);
    const std::string withoutPort2 = kExampleIpNotice.substr(0, 18);
    for (const std::string& bytes : {withoutNumber, withoutIp, withoutPort, withoutPort2}) {
        ip_notice notice;
        EXPECT_FALSE(Parse(bytes, &notice));
    }
    cmd_notice cmd;
    EXPECT_FALSE(Parse(std::string("\x10\x05", 2), &cmd));
}

TEST(NoticeSchema, UnknownFieldsAreSkippedAndMalformedInputFails) {
    ip_notice notice;
    EXPECT_TRUE(Parse(kExampleIpNotice + std::string("\x38\x05", 2), &notice));  // field 7 varint
    EXPECT_TRUE(Parse(kExampleIpNotice + std::string("\x3A\x02hi", 4), &notice));  // field 7 bytes
    EXPECT_EQ(notice.ip(), "192.168.1.5");

    EXPECT_FALSE(Parse(kExampleIpNotice + std::string("\x18\xD2", 2), &notice));  // cut varint
    EXPECT_FALSE(Parse(kExampleIpNotice + std::string("\x2A\x09" "ab", 4), &notice));
}

}  // namespace
}  // namespace pavix
