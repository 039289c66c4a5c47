#include "ui/update_check.h"

#include <winsock2.h>

#include <cstdint>
#include <string>

#include "ui/name_lookup.h"
#include "ui/update_reply.h"
#include "ui/web_pages.h"
#include "ui/window_messages.h"

namespace pavix {
namespace {

bool newVersionAvailable = false;

timeval TimeValue(DWORD milliseconds) {
    timeval value;
    value.tv_sec = static_cast<long>(milliseconds / 1000);
    value.tv_usec = static_cast<long>((milliseconds % 1000) * 1000);
    return value;
}

class SocketHolder {
public:
    SocketHolder() : socket_(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
    ~SocketHolder() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    SocketHolder(const SocketHolder&) = delete;
    SocketHolder& operator=(const SocketHolder&) = delete;
    SOCKET get() const { return socket_; }

private:
    SOCKET socket_;
};

bool SetBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

// A connect that gives up after `milliseconds`; the socket is blocking again
// afterwards.
bool ConnectWithin(SOCKET s, const sockaddr_in& server, DWORD milliseconds) {
    if (!SetBlocking(s, false)) return false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit = TimeValue(milliseconds);
        if (select(0, nullptr, &writable, &failed, &limit) <= 0) return false;
        if (FD_ISSET(s, &failed)) return false;
        int error = 0;
        int size = sizeof error;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 ||
            error != 0) {
            return false;
        }
    }
    return SetBlocking(s, true);
}

bool WaitReadable(SOCKET s, DWORD milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval limit = TimeValue(milliseconds);
    return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

}  // namespace

bool AskUpdateServer(const char* host, unsigned short port, const UpdateCheckLimits& limits) {
    SocketHolder holder;
    const SOCKET s = holder.get();
    if (s == INVALID_SOCKET) return false;

    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (!LookUpIPv4(host, limits.resolveMs, &server.sin_addr)) return false;
    if (!ConnectWithin(s, server, limits.connectMs)) return false;

    // One send; what it did not take is not sent.
    const std::string request = BuildUpdateRequest(host);
    const DWORD sendLimit = limits.sendMs;
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendLimit),
               sizeof sendLimit);
    if (send(s, request.data(), static_cast<int>(request.size()), 0) <= 0) return false;

    // Only the first receive is judged.
    std::uint8_t reply[kUpdateReplyMax + 1] = {};
    if (!WaitReadable(s, limits.receiveMs)) return false;
    const int received = recv(s, reinterpret_cast<char*>(reply), static_cast<int>(kUpdateReplyMax), 0);
    if (received <= 0) return false;
    return ReplySaysNewVersion(reply, static_cast<std::size_t>(received));
}

namespace {

DWORD WINAPI UpdateCheckThread(LPVOID argument) {
    const HWND window = static_cast<HWND>(argument);
    WSADATA data;
    const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    const bool newer =
        started && AskUpdateServer(kUpdateServerName, kUpdateServerPort, UpdateCheckLimits{});
    if (started) WSACleanup();
    PostMessageW(window, WM_UPDATE_CHECKED, newer ? 1 : 0, 0);
    return 0;
}

}  // namespace

bool StartUpdateCheck(HWND window) {
    HANDLE thread = CreateThread(nullptr, 0, UpdateCheckThread, window, 0, nullptr);
    if (thread == nullptr) return false;
    CloseHandle(thread);
    return true;
}

void SetNewVersionAvailable(bool available) { newVersionAvailable = available; }

bool NewVersionAvailable() { return newVersionAvailable; }

}  // namespace pavix
