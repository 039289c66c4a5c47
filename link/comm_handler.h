#pragma once

#include <winsock2.h>

#include <cstdint>
#include <string>

#include "link/recv_ring.h"
#include "shared/critical_section.h"
#include "shared/interruptible_sleep.h"

namespace pavix {

// The TCP link to the phone app. The phone listens; we connect out, to
// 127.0.0.1:1234 over USB (the debug bridge forwards the port) or to the
// phone's Wi-Fi address. The stream is not interpreted here: it is moved,
// one collection period at a time, into the receive ring.
//
// Init performs the process's one Windows Sockets start-up; Cleanup ends it.
//
// The supervisor thread connects and receives and owns the socket. Another
// thread ends a link through the `pause` the supervisor passes in (the
// engine's returns false once the endpoint changed or the user
// disconnected): a connect or receive in progress then ends within a poll
// and closes its socket on its own thread. Closing is under a lock and
// happens once, whichever threads call StopWorker or StopAll.
class CCommHandler {
public:
    static constexpr int kConnectTimeoutMs = 3000;
    static constexpr int kPollMs = 50;
    // Once bytes have come, a poll this short that brings nothing ends the
    // period: the phone has paused after a picture, which then goes to the
    // frame thread at once instead of waiting for the next one.
    static constexpr int kQuietPollMs = 4;
    static constexpr int kSilentPollsUntilLost = 60;  // 3 s without a byte
    static constexpr unsigned kPeriodMs = 600;
    static constexpr unsigned kEarlyPeriodMs = 60;
    static constexpr std::uint32_t kEarlyPeriodBytes = 3800;
    static constexpr int kReceiveBufferBytes = 1 << 20;

    explicit CCommHandler(CRecvRing& ring);
    virtual ~CCommHandler();
    CCommHandler(const CCommHandler&) = delete;
    CCommHandler& operator=(const CCommHandler&) = delete;

    // 0 when Windows Sockets 2.2 is up and the link is ready; -1 otherwise.
    int Init();

    // Connects to the phone, closing any earlier connection first. 0 when
    // connected; -1 when the phone did not accept within 3 s (or `pause`
    // reported a stop meanwhile); the Windows Sockets error code when no
    // socket could be made.
    int ConnectMobileWorker(const char* address, int port, const InterruptibleSleep& pause);

    // One collection period into one ring slot: up to 600 ms, less once
    // data has come (60 ms and more than 3,800 bytes, or a pause of
    // kQuietPollMs after the last bytes) or half the slot is full. 0 while the link is up; -1 when it was lost (socket error, the
    // phone closed, 3 s of silence) or `pause` reported a stop: the socket
    // is closed then. The bytes of the period are handed over either way.
    int ReceiveChunk(const InterruptibleSleep& pause);

    // Sends on the command socket, which nothing opens: the phone app is not
    // known to take bytes on its stream connection, so these notices stay
    // undelivered. The result of send().
    int SendData(const std::string& bytes);

    bool IsConnected() const { return connected_ != 0; }

    void StopWorker();
    void CloseCommandSocket();
    int StopAll();
    void Cleanup();

private:
    // The non-blocking connect with its time limit; see ConnectMobileWorker.
    int ConnectMoblie(const char* address, int port, SOCKET* place, const InterruptibleSleep& pause);
    // Why the current period ends, if it does.
    enum class Period { GoOn, Done, Lost };
    // One poll of `pollMs` and the receive it allows; a quiet poll
    // (shorter than kPollMs) that brings nothing ends the period.
    Period PollOnce(RecvSlot* slot, int pollMs);
    // Takes the socket out of *socket under the lock and closes it: once,
    // however many threads try.
    void CloseSocket(SOCKET* socket);

    CRecvRing& ring_;
    // Guards the socket values against a close from two threads at once.
    CriticalSection socketLock_;
    volatile LONG connected_ = 0;
    SOCKET workerSocket_ = INVALID_SOCKET;
    SOCKET commandSocket_ = INVALID_SOCKET;
    bool winsockStarted_ = false;
    // Consecutive empty polls of the current connection.
    int idleSelectCount_ = 0;
    // Counts the connections made; each slot carries the one it came from.
    std::uint32_t connection_ = 0;
};

// True only for a valid socket whose pending error reads 0.
bool SocketHealthy(SOCKET socket);

}  // namespace pavix
