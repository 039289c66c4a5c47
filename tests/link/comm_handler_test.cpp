// The TCP link against a phone stand-in on loopback (runs under Wine).
#include "link/comm_handler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "shared/debug_text.h"

namespace pavix {
namespace {

using Clock = std::chrono::steady_clock;

bool GoOn(unsigned milliseconds) {
    Sleep(milliseconds);
    return true;
}

// A listening socket on 127.0.0.1 that accepts one connection.
class FakePhone {
public:
    FakePhone() {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 1);
        int size = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~FakePhone() {
        closesocket(peer_);
        closesocket(listener_);
    }
    int Port() const { return port_; }
    void Accept() { peer_ = accept(listener_, nullptr, nullptr); }
    void Send(const std::string& bytes) { send(peer_, bytes.data(), static_cast<int>(bytes.size()), 0); }
    void Close() {
        closesocket(peer_);
        peer_ = INVALID_SOCKET;
    }
    // Whether the desktop side has closed the connection (within 5 s).
    bool SeesClosed() {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(peer_, &readable);
        timeval limit{5, 0};
        if (select(0, &readable, nullptr, nullptr, &limit) <= 0) return false;
        char byte;
        return recv(peer_, &byte, 1, 0) <= 0;
    }

private:
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET peer_ = INVALID_SOCKET;
    int port_ = 0;
};

class CommHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ring.Init());
        ASSERT_EQ(link.Init(), 0);
        previous = SetDebugTextSink([this](const char* text) { debugTexts.emplace_back(text); });
    }
    void TearDown() override {
        SetDebugTextSink(previous);
        link.Cleanup();
    }

    void ConnectTo(FakePhone& phone) {
        ASSERT_EQ(link.ConnectMobileWorker("127.0.0.1", phone.Port(), GoOn), 0);
        phone.Accept();
        ASSERT_TRUE(link.IsConnected());
    }

    std::string TakeSlot() {
        RecvSlot* slot = ring.AcquireReadSlot();
        if (slot == nullptr) return {};
        EXPECT_EQ(slot->data[slot->length], 0) << "the terminator";
        std::string bytes(reinterpret_cast<char*>(slot->data), slot->length);
        ring.ReleaseReadSlot(slot, true);
        return bytes;
    }

    CRecvRing ring;
    CCommHandler link{ring};
    std::vector<std::string> debugTexts;
    DebugTextSink previous;
};

TEST_F(CommHandlerTest, PeriodEndsSoonAfterDataArrives) {
    FakePhone phone;
    ConnectTo(phone);
    const std::string burst(4000, 'x');
    phone.Send(burst);
    const auto start = Clock::now();
    EXPECT_EQ(link.ReceiveChunk(GoOn), 0);
    // Without the early end a period lasts its full 600 ms.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(CCommHandler::kPeriodMs));
    EXPECT_EQ(TakeSlot(), burst);
}

// A picture smaller than the early-end threshold: before, its period ran
// the whole 600 ms; now the pause after it ends the period. Bytes that come
// after the pause go into the next period, none is lost.
TEST_F(CommHandlerTest, PauseAfterDataEndsThePeriodAndTheRestFollows) {
    FakePhone phone;
    ConnectTo(phone);
    phone.Send("first picture");
    const auto start = Clock::now();
    EXPECT_EQ(link.ReceiveChunk(GoOn), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(CCommHandler::kPeriodMs / 2));
    EXPECT_EQ(TakeSlot(), "first picture");

    std::thread later([&phone] {
        Sleep(100);
        phone.Send("second");
    });
    std::string received;
    for (int period = 0; period < 5 && received.size() < 6; ++period) {
        EXPECT_EQ(link.ReceiveChunk(GoOn), 0);
        received += TakeSlot();
    }
    later.join();
    EXPECT_EQ(received, "second");
}

TEST_F(CommHandlerTest, PhoneClosingDeliversWhatCameAndLosesTheLink) {
    FakePhone phone;
    ConnectTo(phone);
    phone.Send("last words");
    phone.Close();
    int result = 0;
    std::string received;
    for (int period = 0; period < 5 && result == 0; ++period) {
        result = link.ReceiveChunk(GoOn);
        received += TakeSlot();
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(received, "last words");
    EXPECT_FALSE(link.IsConnected());
}

TEST_F(CommHandlerTest, SilenceLosesTheLinkAfterThreeSecondsAndANewConnectionStartsAfresh) {
    FakePhone phone;
    ConnectTo(phone);
    int periods = 0;
    const auto start = Clock::now();
    while (link.ReceiveChunk(GoOn) == 0) ++periods;
    const auto silent = Clock::now() - start;
    EXPECT_GE(periods, 3);
    EXPECT_GE(silent, std::chrono::milliseconds(2500));
    EXPECT_LT(silent, std::chrono::milliseconds(10000));

    // The next connection must not inherit the count of empty polls.
    FakePhone again;
    ConnectTo(again);
    EXPECT_EQ(link.ReceiveChunk(GoOn), 0) << "a quiet first period is no loss";
}

TEST_F(CommHandlerTest, StopEndsAReceivePromptly) {
    FakePhone phone;
    ConnectTo(phone);
    int calls = 0;
    const auto start = Clock::now();
    // A quiet link is given up only after 3 s: -1 sooner is the stop.
    EXPECT_EQ(link.ReceiveChunk([&](unsigned) { return ++calls < 3; }), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_FALSE(link.IsConnected());
}

TEST_F(CommHandlerTest, NobodyListeningFailsWithinTheTimeLimit) {
    int port;
    {
        FakePhone gone;  // a port that was just free
        port = gone.Port();
    }
    const auto start = Clock::now();
    EXPECT_EQ(link.ConnectMobileWorker("127.0.0.1", port, GoOn), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3800));
    EXPECT_FALSE(link.IsConnected());
}

// A port nobody listens on on this machine refuses at once: the attempt
// does not sit out the time limit (a new endpoint waits for it otherwise).
TEST_F(CommHandlerTest, RefusedConnectionFailsAtOnce) {
    int port;
    {
        FakePhone gone;
        port = gone.Port();
    }
    const auto start = Clock::now();
    EXPECT_EQ(link.ConnectMobileWorker("127.0.0.1", port, GoOn), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
}

TEST_F(CommHandlerTest, StopEndsAConnectPromptly) {
    int port;
    {
        FakePhone gone;
        port = gone.Port();
    }
    const auto start = Clock::now();
    EXPECT_EQ(link.ConnectMobileWorker("127.0.0.1", port, [](unsigned) { return false; }), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500)) << "well inside the 3 s limit";
}

TEST_F(CommHandlerTest, ReconnectingClosesTheOldConnection) {
    FakePhone first;
    ConnectTo(first);
    FakePhone second;
    ConnectTo(second);
    // The first phone sees its connection closed.
    EXPECT_TRUE(first.SeesClosed());
}

TEST_F(CommHandlerTest, StopAllOnAnIdleLinkAndTheUndeliveredNotice) {
    link.StopAll();
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.SendData(std::string("\x08\x01", 2)), SOCKET_ERROR);
    EXPECT_EQ(link.ReceiveChunk(GoOn), -1) << "nothing to receive from";
}

}  // namespace
}  // namespace pavix
