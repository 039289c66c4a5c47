#include "tcp_receiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/write_slot_wait.h"

namespace ringfeed {
namespace {

constexpr auto kCollectionPeriod = std::chrono::milliseconds(600);
constexpr int kPollMs = 50;
constexpr std::uint32_t kMaxRead = 64 * 1024;

// Sleeps in short steps so that a stop is noticed quickly.
bool SleepUnlessStopped(const std::atomic<bool>& stop, std::chrono::milliseconds total) {
    const auto end = std::chrono::steady_clock::now() + total;
    while (!stop && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !stop;
}

}  // namespace

TcpReceiver::TcpReceiver(pavix::CRecvRing& ring, std::string host, std::uint16_t port)
    : ring_(ring), host_(std::move(host)), port_(port) {}

int TcpReceiver::Connect() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    if (inet_pton(AF_INET, host_.c_str(), &address.sin_addr) != 1) return -1;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void TcpReceiver::Run(const std::atomic<bool>& stop) {
    while (!stop) {
        const int fd = Connect();
        if (fd < 0) {
            SleepUnlessStopped(stop, std::chrono::seconds(1));
            continue;
        }
        connected_ = true;
        while (!stop && ReceivePeriod(fd, stop)) {
        }
        connected_ = false;
        close(fd);
    }
}

bool TcpReceiver::ReceivePeriod(int socket, const std::atomic<bool>& stop) {
    pavix::RecvSlot* slot = pavix::WaitForWriteSlot(ring_, [&](unsigned ms) {
        return SleepUnlessStopped(stop, std::chrono::milliseconds(ms));
    });
    if (slot == nullptr) return false;
    slot->length = 0;

    bool open = true;
    const auto end = std::chrono::steady_clock::now() + kCollectionPeriod;
    while (open && !stop && slot->length < slot->capacity / 2 &&
           std::chrono::steady_clock::now() < end) {
        pollfd ready{socket, POLLIN, 0};
        if (poll(&ready, 1, kPollMs) <= 0) continue;
        const std::uint32_t room = std::min(slot->SpaceLeft(), kMaxRead);
        const ssize_t got = recv(socket, slot->data + slot->length, room, 0);
        if (got <= 0) {
            open = false;
            break;
        }
        slot->Commit(static_cast<std::uint32_t>(got));
        bytes_ += static_cast<std::uint64_t>(got);
    }
    // Whatever arrived is handed over, also when the connection ended.
    ring_.ReleaseWriteSlot(slot, true);
    return open;
}

}  // namespace ringfeed
