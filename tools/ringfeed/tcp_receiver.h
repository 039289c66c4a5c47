#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "link/recv_ring.h"

namespace ringfeed {

// Connects to the phone (or the simulator) and copies its stream into the
// ring the way the desktop program's receive loop does: one slot per
// collection period, a period ending after 600 ms or once half a slot is
// full. Reconnects every second while the peer is away. Linux only.
class TcpReceiver {
public:
    TcpReceiver(pavix::CRecvRing& ring, std::string host, std::uint16_t port);

    // Runs until `stop` becomes true.
    void Run(const std::atomic<bool>& stop);

    std::uint64_t BytesReceived() const { return bytes_.load(); }
    bool Connected() const { return connected_.load(); }

private:
    int Connect();
    // One collection period into one slot; false when the connection ended.
    bool ReceivePeriod(int socket, const std::atomic<bool>& stop);

    pavix::CRecvRing& ring_;
    const std::string host_;
    const std::uint16_t port_;
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<bool> connected_{false};
};

}  // namespace ringfeed
