// The notice listener on loopback and the multicast group (runs under Wine,
// inside the test run's private network namespace).
#include "link/notice_listener.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>

namespace pavix {
namespace {

constexpr UINT kNotifyMessage = WM_APP + 7;
// Ports of their own, so that a running pavix.exe does not matter.
constexpr std::uint16_t kPort = 27788;

class NoticeListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        window_ = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window_);
        WSACleanup();
    }

    // Sends `bytes` to address:port, from 127.0.0.1; a multicast group goes
    // out of loopback, with loop on. (Wine binds a datagram socket given an
    // interface address to that interface rather than to the address: a
    // notice from 127.0.0.2 is sent by the native simulator in wifi_test.sh.)
    static void Send(const char* address, std::uint16_t port, const std::string& bytes) {
        SOCKET sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        in_addr loopback{};
        loopback.s_addr = htonl(INADDR_LOOPBACK);
        DWORD on = 1, ttl = 1;
        setsockopt(sender, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&loopback),
                   sizeof loopback);
        setsockopt(sender, IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<const char*>(&on),
                   sizeof on);
        setsockopt(sender, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl),
                   sizeof ttl);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = inet_addr(address);
        sendto(sender, bytes.data(), static_cast<int>(bytes.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
        closesocket(sender);
    }

    // Handles the window's messages until the listener's notice comes, as
    // the main window does: true when it came within 5 s with a read event.
    bool WaitForNotice() {
        const ULONGLONG deadline = GetTickCount64() + 5000;
        while (GetTickCount64() < deadline) {
            MSG message;
            while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
                if (message.message == kNotifyMessage && LOWORD(message.lParam) == FD_READ) {
                    return true;
                }
            }
            Sleep(5);
        }
        return false;
    }

    HWND window_ = nullptr;
};

// Only a phone announcing itself is heard: the address a notice names must
// be the one it came from (127.0.0.1 here), in both forms, sent to the group
// or to this machine.
TEST_F(NoticeListenerTest, HearsNoticesOnlyFromThePhoneTheyName) {
    CNoticeListener listener(kPort, kNotifyMessage);
    ASSERT_TRUE(listener.Open());
    ASSERT_TRUE(listener.JoinGroup(window_));

    const std::string encodedOwn("\x08\x01\x12\x09" "127.0.0.1" "\x18\xD2\x09\x20\xD3\x09", 19);
    const std::string encodedOther("\x08\x01\x12\x09" "127.0.0.2" "\x18\xD2\x09\x20\xD3\x09", 19);
    const std::string encodedFar("\x08\x01\x12\x0B" "192.168.1.5" "\x18\xD2\x09\x20\xD3\x09", 21);
    const struct {
        const char* to;
        std::string datagram;
        const char* address;  // null: refused
        std::int32_t port;
        std::int32_t port2;
    } cases[] = {
        {"233.0.0.1", "ppp:1:1301:1302:7F000001", "127.0.0.1", 1301, 1302},
        {"127.0.0.1", "ppp:1:1234:1234:7F000001", "127.0.0.1", 1234, 1235},
        {"233.0.0.1", encodedOwn, "127.0.0.1", 1234, 1235},
        {"127.0.0.1", "ppp:1:1234:1235:7F000002", nullptr, 0, 0},
        {"233.0.0.1", encodedOther, nullptr, 0, 0},
        {"233.0.0.1", "ppp:1:1234:1234:C0A80105", nullptr, 0, 0},
        {"127.0.0.1", encodedFar, nullptr, 0, 0},
        {"127.0.0.1", "ppp:1:1234:1235:00000000", nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.to) + ": " + c.datagram);
        Send(c.to, kPort, c.datagram);
        ASSERT_TRUE(WaitForNotice());
        PhoneEndpoint endpoint;
        if (c.address == nullptr) {
            EXPECT_FALSE(listener.ReadNotice(&endpoint));
            EXPECT_EQ(endpoint.port, 0) << "left as it was";
            continue;
        }
        ASSERT_TRUE(listener.ReadNotice(&endpoint));
        EXPECT_STREQ(endpoint.address, c.address);
        EXPECT_EQ(endpoint.port, c.port);
        EXPECT_EQ(endpoint.port2, c.port2);
    }
    listener.Close();
    listener.Close();  // twice is harmless
    PhoneEndpoint endpoint;
    EXPECT_FALSE(listener.ReadNotice(&endpoint));
}

// A datagram longer than 260 bytes is no notice, even when its first 260
// bytes would be one; nor is an empty one. The next good one is still taken.
TEST_F(NoticeListenerTest, OverlongAndEmptyDatagramsAreRefused) {
    CNoticeListener listener(kPort + 1, kNotifyMessage);
    ASSERT_TRUE(listener.Open());
    ASSERT_TRUE(listener.JoinGroup(window_));

    std::string overlong = "ppp:1:1301:1302:7F000001:";
    overlong.resize(261, 'x');
    for (const std::string& bad : {overlong, std::string(), std::string(1200, ':')}) {
        Send("127.0.0.1", kPort + 1, bad);
        ASSERT_TRUE(WaitForNotice());
        PhoneEndpoint endpoint;
        EXPECT_FALSE(listener.ReadNotice(&endpoint)) << bad.size() << " bytes";
        EXPECT_EQ(endpoint.port, 0);
    }
    std::string longest = "ppp:1:1301:1302:7F000001:";
    longest.resize(260, 'x');
    Send("127.0.0.1", kPort + 1, longest);
    ASSERT_TRUE(WaitForNotice());
    PhoneEndpoint endpoint;
    EXPECT_TRUE(listener.ReadNotice(&endpoint));
    EXPECT_EQ(endpoint.port, 1301);
}

TEST(NoticeListener, JoinWithoutAnOpenSocketFails) {
    CNoticeListener listener(kPort + 2, kNotifyMessage);
    EXPECT_FALSE(listener.JoinGroup(nullptr));
    EXPECT_EQ(listener.Socket(), INVALID_SOCKET);
}

}  // namespace
}  // namespace pavix
