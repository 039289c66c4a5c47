// The update check's exchange against a server of the test's own on
// loopback: the bytes sent, the first receive only, the time limits and the
// closed socket.

#include "ui/update_check.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ui/update_reply.h"

namespace pavix {
namespace {

DWORD Elapsed(ULONGLONG since) { return static_cast<DWORD>(GetTickCount64() - since); }

// One connection's worth of server: accepts, reads the request up to its
// empty line, then plays its part.
class TestServer {
public:
    enum class Part { Answer, AnswerInTwoSegments, Silent };

    explicit TestServer(Part part, std::string answer = {}) : part_(part), answer_(std::move(answer)) {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int size = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        listen(listener_, 1);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TestServer() {
        closesocket(listener_);
        if (thread_.joinable()) thread_.join();
    }

    unsigned short Port() const { return port_; }
    // Joins the server; what it read, and whether the client closed its end
    // within a second after the check returned.
    std::string Request() {
        thread_.join();
        return request_;
    }
    bool ClientClosed() const { return clientClosed_; }

private:
    void Serve() {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        char buffer[2048];
        while (request_.find("\r\n\r\n") == std::string::npos) {
            const int got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            request_.append(buffer, static_cast<std::size_t>(got));
        }
        if (part_ == Part::Answer) {
            send(client, answer_.data(), static_cast<int>(answer_.size()), 0);
        } else if (part_ == Part::AnswerInTwoSegments) {
            send(client, answer_.data(), static_cast<int>(answer_.size()) - 1, 0);
            Sleep(300);
            send(client, answer_.data() + answer_.size() - 1, 1, 0);
        }
        // Silent: answers nothing and waits for the client to give up.
        const DWORD limit = 10000;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                   sizeof limit);
        clientClosed_ = recv(client, buffer, sizeof buffer, 0) == 0;
        closesocket(client);
    }

    Part part_;
    std::string answer_;
    SOCKET listener_;
    unsigned short port_ = 0;
    std::thread thread_;
    std::string request_;
    bool clientClosed_ = false;
};

class UpdateCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    }
    static void TearDownTestSuite() { WSACleanup(); }

    UpdateCheckLimits ShortLimits() const {
        UpdateCheckLimits limits;
        // Long enough that running into one of these is told apart from a
        // prompt failure even on a loaded machine.
        limits.resolveMs = 5000;
        limits.connectMs = 5000;
        limits.sendMs = 5000;
        limits.receiveMs = 500;
        return limits;
    }
};

TEST_F(UpdateCheck, SendsTheRequestAndTakesTheBodyOne) {
    TestServer server(TestServer::Part::Answer, "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1");
    EXPECT_TRUE(AskUpdateServer("127.0.0.1", server.Port(), ShortLimits()));
    EXPECT_EQ(server.Request(), BuildUpdateRequest("127.0.0.1"));
    EXPECT_TRUE(server.ClientClosed());
}

TEST_F(UpdateCheck, AnyOtherBodyIsNoNewVersion) {
    TestServer server(TestServer::Part::Answer, "HTTP/1.1 200 OK\r\n\r\n0");
    EXPECT_FALSE(AskUpdateServer("127.0.0.1", server.Port(), ShortLimits()));
    server.Request();
}

TEST_F(UpdateCheck, OnlyTheFirstReceiveCounts) {
    TestServer server(TestServer::Part::AnswerInTwoSegments, "HTTP/1.1 200 OK\r\n\r\n1");
    EXPECT_FALSE(AskUpdateServer("127.0.0.1", server.Port(), ShortLimits()));
    server.Request();
}

TEST_F(UpdateCheck, ASilentServerCostsTheReceiveLimitAndTheSocketIsClosed) {
    TestServer server(TestServer::Part::Silent);
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(AskUpdateServer("127.0.0.1", server.Port(), ShortLimits()));
    const DWORD took = Elapsed(start);
    EXPECT_GE(took, 450u);
    EXPECT_LT(took, 3000u);
    EXPECT_FALSE(server.Request().empty());
    EXPECT_TRUE(server.ClientClosed());
}

TEST_F(UpdateCheck, ARefusedConnectionFailsAtOnce) {
    // A port that was just free: nobody listens there.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    closesocket(probe);

    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(AskUpdateServer("127.0.0.1", ntohs(address.sin_port), ShortLimits()));
    EXPECT_LT(Elapsed(start), 3000u);
}

TEST_F(UpdateCheck, AnUnknownNameFailsWithinTheResolveLimit) {
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(AskUpdateServer("no-such-host.invalid", 80, ShortLimits()));
    EXPECT_LT(Elapsed(start), 3000u);
}

}  // namespace
}  // namespace pavix
