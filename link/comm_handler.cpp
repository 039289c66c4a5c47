#include "link/comm_handler.h"

#include <ws2tcpip.h>

#include "link/write_slot_wait.h"
#include "shared/debug_text.h"
#include "shared/format_last_error.h"

namespace pavix {
namespace {

// Windows Sockets 2.2 for the process. 0, the start-up's error code, or -1
// when a different version was granted.
int StartWinSock() {
    WSADATA data;
    const int error = WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0) return error;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        WSACleanup();
        return -1;
    }
    return 0;
}

}  // namespace

bool SocketHealthy(SOCKET socket) {
    if (socket == INVALID_SOCKET) return false;
    int error = -1;
    int size = sizeof error;
    getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    return error == 0;
}

CCommHandler::CCommHandler(CRecvRing& ring) : ring_(ring) {}

CCommHandler::~CCommHandler() = default;

int CCommHandler::Init() {
    if (StartWinSock() != 0) return -1;
    winsockStarted_ = true;
    return 0;
}

int CCommHandler::ConnectMobileWorker(const char* address, int port,
                                      const InterruptibleSleep& pause) {
    if (workerSocket_ != INVALID_SOCKET) StopWorker();
    SOCKET connected = INVALID_SOCKET;
    const int result = ConnectMoblie(address, port, &connected, pause);
    if (result != 0) return result;
    {
        ScopedLock hold(socketLock_);
        workerSocket_ = connected;
    }
    idleSelectCount_ = 0;  // a new connection starts with a clean slate
    ++connection_;         // and its bytes are told apart from the last one's
    InterlockedExchange(&connected_, 1);
    const int receiveBuffer = kReceiveBufferBytes;
    setsockopt(workerSocket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
               sizeof receiveBuffer);
    return 0;
}

int CCommHandler::ConnectMoblie(const char* address, int port, SOCKET* place,
                                const InterruptibleSleep& pause) {
    sockaddr_in phone{};
    phone.sin_family = AF_INET;
    phone.sin_addr.s_addr = inet_addr(address);
    phone.sin_port = htons(static_cast<u_short>(port));

    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return WSAGetLastError();
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);

    if (connect(socket, reinterpret_cast<const sockaddr*>(&phone), sizeof phone) != 0) {
        // In progress: wait until writable, in short steps so that a stop
        // need not sit out the whole time limit. A refused connection shows
        // in the exception set: no reason to wait any longer then.
        bool writable = false;
        for (int waited = 0; !writable && waited < kConnectTimeoutMs; waited += kPollMs) {
            if (!pause(0)) break;
            fd_set writeSet;
            FD_ZERO(&writeSet);
            FD_SET(socket, &writeSet);
            fd_set failedSet;
            FD_ZERO(&failedSet);
            FD_SET(socket, &failedSet);
            timeval step{0, kPollMs * 1000};
            const int ready = select(0, nullptr, &writeSet, &failedSet, &step);
            if (ready < 0 || FD_ISSET(socket, &failedSet)) break;
            writable = ready > 0;
        }
        if (!writable) {
            closesocket(socket);
            return -1;
        }
        if (!SocketHealthy(socket)) {
            closesocket(socket);
            return -1;
        }
    }
    *place = socket;
    return 0;
}

int CCommHandler::ReceiveChunk(const InterruptibleSleep& pause) {
    RecvSlot* slot = WaitForWriteSlot(ring_, pause);
    if (slot == nullptr) {  // stopped while the ring was full
        StopWorker();
        return -1;
    }
    slot->length = 0;
    slot->connection = connection_;
    const ULONGLONG start = GetTickCount64();
    Period period = Period::GoOn;
    while (period == Period::GoOn) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed > kEarlyPeriodMs && slot->length > kEarlyPeriodBytes) {
            period = Period::Done;
        } else if (elapsed > kPeriodMs || slot->length >= slot->capacity / 2) {
            period = Period::Done;
        } else if (!SocketHealthy(workerSocket_) || !pause(0)) {
            period = Period::Lost;
        } else {
            period = PollOnce(slot, slot->length > 0 ? kQuietPollMs : kPollMs);
        }
    }
    // What arrived is delivered, also when the link is gone.
    ring_.ReleaseWriteSlot(slot, true);
    if (period == Period::Lost) {
        StopWorker();
        return -1;
    }
    return 0;
}

CCommHandler::Period CCommHandler::PollOnce(RecvSlot* slot, int pollMs) {
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(workerSocket_, &readSet);
    timeval poll{0, pollMs * 1000};
    const int ready = select(0, &readSet, nullptr, nullptr, &poll);
    if (ready == SOCKET_ERROR) return Period::Lost;
    if (ready == 0) {
        // Only full polls count towards the silence that loses the link.
        if (pollMs < kPollMs) return Period::Done;
        return ++idleSelectCount_ >= kSilentPollsUntilLost ? Period::Lost : Period::GoOn;
    }
    if (!FD_ISSET(workerSocket_, &readSet)) return Period::GoOn;

    const int received = recv(workerSocket_, reinterpret_cast<char*>(slot->data + slot->length),
                              static_cast<int>(slot->SpaceLeft()), 0);
    if (received > 0) {
        slot->Commit(static_cast<std::uint32_t>(received));
        idleSelectCount_ = 0;
        return Period::GoOn;
    }
    if (received == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return Period::GoOn;
    return Period::Lost;  // the phone closed the connection, or it failed
}

int CCommHandler::SendData(const std::string& bytes) {
    return send(commandSocket_, bytes.data(), static_cast<int>(bytes.size()), 0);
}

void CCommHandler::CloseSocket(SOCKET* place) {
    SOCKET socket;
    {
        ScopedLock hold(socketLock_);
        socket = *place;
        *place = INVALID_SOCKET;
    }
    if (socket == INVALID_SOCKET) return;
    if (closesocket(socket) != 0) {
        std::string text = "closesocket(workerSocket) < Cleanup > failed : ";
        text += FormatLastError();
        DebugText(text.c_str());
    }
}

void CCommHandler::StopWorker() {
    DebugText("StopWorker!!!");
    CloseSocket(&workerSocket_);
    InterlockedExchange(&connected_, 0);
}

void CCommHandler::CloseCommandSocket() { CloseSocket(&commandSocket_); }

int CCommHandler::StopAll() {
    StopWorker();
    CloseCommandSocket();
    return 0;
}

void CCommHandler::Cleanup() {
    StopAll();
    if (winsockStarted_) {
        WSACleanup();
        winsockStarted_ = false;
    }
}

}  // namespace pavix
