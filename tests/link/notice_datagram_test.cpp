#include "link/notice_datagram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rovo_communication.pb.h"

namespace pavix {
namespace {

// What the endpoint holds before a datagram: a refused datagram leaves it so.
PhoneEndpoint Unchanged() {
    PhoneEndpoint endpoint;
    std::strcpy(endpoint.address, "10.9.8.7");
    endpoint.port = 11;
    endpoint.port2 = 12;
    return endpoint;
}

bool Decode(const std::string& datagram, PhoneEndpoint* out) {
    return DecodeNoticeDatagram(reinterpret_cast<const std::uint8_t*>(datagram.data()),
                                datagram.size(), out);
}

void ExpectEndpoint(const std::string& datagram, const char* address, int port, int port2) {
    PhoneEndpoint endpoint = Unchanged();
    ASSERT_TRUE(Decode(datagram, &endpoint)) << datagram;
    EXPECT_STREQ(endpoint.address, address) << datagram;
    EXPECT_EQ(endpoint.port, port) << datagram;
    EXPECT_EQ(endpoint.port2, port2) << datagram;
}

void ExpectRefused(const std::string& datagram) {
    PhoneEndpoint endpoint = Unchanged();
    EXPECT_FALSE(Decode(datagram, &endpoint)) << datagram;
    EXPECT_STREQ(endpoint.address, "10.9.8.7") << datagram;
    EXPECT_EQ(endpoint.port, 11) << datagram;
    EXPECT_EQ(endpoint.port2, 12) << datagram;
}

std::string Encoded(std::uint32_t number, const std::string& ip, std::uint32_t port,
                    std::uint32_t port2) {
    rovo_communication::ip_notice notice;
    notice.set_number(number);
    notice.set_ip(ip);
    notice.set_port(port);
    notice.set_port2(port2);
    return notice.SerializeAsString();
}

TEST(NoticeDatagram, EncodedNotice) {
    const std::string example = std::string("\x08\x01\x12\x0B", 4) + "192.168.1.5" +
                                std::string("\x18\xD2\x09\x20\xD3\x09", 6);
    ExpectEndpoint(example, "192.168.1.5", 1234, 1235);
    ExpectEndpoint(example + std::string("\0garbage", 8), "192.168.1.5", 1234, 1235);
    ExpectEndpoint(Encoded(9, "10.0.0.2", 4000, 4000), "10.0.0.2", 4000, 4001);
    ExpectEndpoint(Encoded(9, "10.0.0.2", 4000, 17), "10.0.0.2", 4000, 17);
}

TEST(NoticeDatagram, EncodedNoticeIsCutAtItsFirstZeroByte) {
    ExpectRefused(Encoded(0, "192.168.1.5", 1234, 1235));  // field 1 = 0 ends it at 08
    ExpectRefused(Encoded(1, "192.168.1.5", 0, 1235));
    rovo_communication::ip_notice withoutPort2;
    withoutPort2.set_number(1);
    withoutPort2.set_ip("192.168.1.5");
    withoutPort2.set_port(1234);
    ExpectRefused(withoutPort2.SerializePartialAsString());
}

TEST(NoticeDatagram, EncodedAddressOfMoreThan39CharactersIsRefused) {
    const std::string longest(39, '1');
    ExpectEndpoint(Encoded(1, longest, 80, 81), longest.c_str(), 80, 81);
    ExpectRefused(Encoded(1, std::string(40, '1'), 80, 81));
    // Refused as a notice, it is not read as text either.
    ExpectRefused(Encoded(1, "ppp:1:80:81:0A000001:" + std::string(19, 'x'), 80, 81));
}

TEST(NoticeDatagram, TextNotice) {
    ExpectEndpoint("ppp:1:1234:1235:C0A80105", "192.168.1.5", 1234, 1235);
    ExpectEndpoint("ppp:7:1234:1234:C0A80105", "192.168.1.5", 1234, 1235);
    ExpectEndpoint("ppp:7:1234:1234:c0a80105", "192.168.1.5", 1234, 1235);
    ExpectEndpoint("xxppp:1:80:81:0A000001", "10.0.0.1", 80, 81);
    ExpectEndpoint("ppp::1:2:3:7F000001", "127.0.0.1", 2, 3);
    ExpectEndpoint(":ppp:1:2:3:7F000001:", "127.0.0.1", 2, 3);
    ExpectEndpoint("ppp:1:80:81:0A000001:more:fields", "10.0.0.1", 80, 81);
    ExpectEndpoint(std::string("ppp:1:5:6:00000000\0:", 20), "0.0.0.0", 5, 6);
}

// A port outside 1-65535 would be cut to 16 bits on the way to the socket
// (66770 becomes 1234): such a notice is refused in both forms.
TEST(NoticeDatagram, PortsOutsideTheTcpRangeAreRefused) {
    struct Case {
        std::uint32_t port, port2;
        bool taken;
    };
    const Case cases[] = {
        {1, 2, true},          {65534, 65535, true}, {65535, 1, true},
        {65534, 65534, true},  // the second port becomes 65535
        {65535, 65535, false},  // ... and here 65536
        {0, 1235, false},      {1234, 0, false},     {66770, 1235, false},
        {1234, 66771, false},  {0x80000000u, 1, false}, {0xFFFFFFFFu, 0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        const std::string port = std::to_string(c.port), port2 = std::to_string(c.port2);
        const std::string text = "ppp:1:" + port + ":" + port2 + ":0A000001";
        const std::string encoded = Encoded(1, "10.0.0.1", c.port, c.port2);
        for (const std::string& datagram : {text, encoded}) {
            if (c.taken) {
                const int second = c.port2 == c.port ? static_cast<int>(c.port) + 1
                                                     : static_cast<int>(c.port2);
                ExpectEndpoint(datagram, "10.0.0.1", static_cast<int>(c.port), second);
            } else {
                ExpectRefused(datagram);
            }
        }
    }
    // Text ports are read like atoi: no digits or a sign make no port.
    for (const char* text : {"ppp:1:web:cam:FFFFFFFF", "ppp:1:-1234:1235:0A000001",
                             "ppp:1:1234:-1:0A000001", "ppp:1:99999999999:1:0A000001"}) {
        ExpectRefused(text);
    }
}

TEST(NoticeDatagram, TextNoticeNeedsAllFiveFieldsAndTheMarker) {
    ExpectRefused("ppp:7:1234:1235");
    ExpectRefused("ppp:7:1234:1235:");
    ExpectRefused("qqq:1:1234:1235:C0A80105");
    ExpectRefused(std::string("ppp:1:1234:1235\0:C0A80105", 25));
    ExpectRefused("");
}

TEST(NoticeDatagram, PhoneCodeIsExactlyEightHexDigits) {
    ExpectEndpoint("ppp:1:80:81:0A000001\r\n", "10.0.0.1", 80, 81);
    ExpectEndpoint("ppp:1:80:81:0A000001 \n", "10.0.0.1", 80, 81);
    ExpectEndpoint("ppp:1:80:81:0A000001\n\r  ", "10.0.0.1", 80, 81);
    for (const char* text : {"ppp:1:80:81:0A00001", "ppp:1:80:81:0A0000012", "ppp:1:80:81:0A00000G",
                             "ppp:1:80:81:0A000001x", "ppp:1:80:81: 0A000001",
                             "ppp:1:80:81:0A00 001", "ppp:1:80:81:0A000001\t",
                             "ppp:1:80:81:\r\n", "ppp:1:80:81:0A0000010A000001"}) {
        ExpectRefused(text);
    }
}

TEST(NoticeDatagram, LengthLimits) {
    PhoneEndpoint endpoint = Unchanged();
    EXPECT_FALSE(DecodeNoticeDatagram(nullptr, 0, &endpoint));
    std::string padded = "ppp:1:80:81:0A000001:";
    padded.resize(kNoticeDatagramMax, 'x');
    ExpectEndpoint(padded, "10.0.0.1", 80, 81);
    ExpectRefused(padded + "x");
}

TEST(HexCode, DigitPairsBecomeDottedDecimal) {
    char out[30];
    EXPECT_STREQ(HexCodeToIp("C0A80105", out, sizeof out), "192.168.1.5");
    EXPECT_STREQ(HexCodeToIp("c0a80105", out, sizeof out), "192.168.1.5");
    EXPECT_STREQ(HexCodeToIp("FFFFFFFF", out, sizeof out), "255.255.255.255");
    EXPECT_STREQ(HexCodeToIp("00000000", out, sizeof out), "0.0.0.0");
    EXPECT_STREQ(HexCodeToIp("7F", out, sizeof out), "127");
    EXPECT_STREQ(HexCodeToIp("C0A801051", out, sizeof out), "192.168.1.5");
    EXPECT_STREQ(HexCodeToIp("", out, sizeof out), "");
    EXPECT_STREQ(HexCodeToIp("g0", out, sizeof out), "256");
}

TEST(HexCode, NothingIsWrittenPastTheOutput) {
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(HexCodeToIp("C0A80105", out, 12), out);  // 11 characters and the zero
    EXPECT_STREQ(out, "192.168.1.5");
    EXPECT_EQ(out[12], '#');

    std::memset(out, '#', sizeof out);
    EXPECT_EQ(HexCodeToIp("C0A80105", out, 11), nullptr);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(std::string(out + 11, 5), "#####");

    std::memset(out, '#', sizeof out);
    EXPECT_EQ(HexCodeToIp("C0A80105", out, 0), nullptr);
    EXPECT_EQ(out[0], '#');

    char small[30];
    std::memset(small, '#', sizeof small);
    const std::string longCode(200, 'F');
    EXPECT_EQ(HexCodeToIp(longCode.c_str(), small, sizeof small), nullptr);
    EXPECT_STREQ(small, "");
}

TEST(HexCode, DigitValues) {
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('A'), 10);
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), 16);
    EXPECT_EQ(HexDigitValue('Z'), 35);
}

}  // namespace
}  // namespace pavix
