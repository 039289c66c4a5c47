// frame_relay: sits between the phone simulator and pavix.exe and notes when
// each frame packet has been handed on, for the latency benchmark of the
// live link (a Linux program).
//
//   frame_relay LISTEN_PORT UPSTREAM_PORT LOG
//
// Listens on 127.0.0.1:LISTEN_PORT and prints "listening" once it does;
// takes one client, connects to 127.0.0.1:UPSTREAM_PORT for it and copies
// the bytes both ways. Each time the last byte of a frame packet ("ROVOd",
// 3-byte big-endian length, payload) has been written to the client, the
// packet's index (0 for the first) and the time (CLOCK_REALTIME, in
// microseconds since 1970) are noted; LOG gets one line "INDEX MICROSECONDS"
// per packet when either side closes. Bytes that are not a packet header
// where one is due end the relay with status 1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace {

constexpr char kMagic[] = "ROVOd";
constexpr std::size_t kHeaderSize = 8;

std::int64_t NowUs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Follows the packet boundaries of the downstream bytes.
class PacketTracker {
public:
    // Takes `size` bytes about to be written; returns the offsets just past
    // each packet end inside them. False when a header is malformed.
    bool Feed(const std::uint8_t* data, std::size_t size, std::vector<std::size_t>* ends) {
        ends->clear();
        for (std::size_t i = 0; i < size;) {
            if (remaining_ == 0) {
                header_[headerFill_++] = data[i++];
                if (headerFill_ < kHeaderSize) continue;
                if (std::memcmp(header_, kMagic, 5) != 0) return false;
                remaining_ = std::size_t{header_[5]} << 16 | std::size_t{header_[6]} << 8 | header_[7];
                headerFill_ = 0;
                if (remaining_ == 0) ends->push_back(i);
                continue;
            }
            const std::size_t take = std::min(remaining_, size - i);
            i += take;
            remaining_ -= take;
            if (remaining_ == 0) ends->push_back(i);
        }
        return true;
    }

private:
    std::uint8_t header_[kHeaderSize] = {};
    std::size_t headerFill_ = 0;
    std::size_t remaining_ = 0;
};

int Relay(int client, int upstream, std::vector<std::pair<long, std::int64_t>>* log) {
    PacketTracker tracker;
    std::vector<std::size_t> ends;
    std::vector<std::uint8_t> buffer(1 << 16);
    pollfd fds[2] = {{upstream, POLLIN, 0}, {client, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (fds[1].revents != 0) {  // the client's bytes go upstream unread
            const ssize_t n = read(client, buffer.data(), buffer.size());
            if (n <= 0 || !WriteAll(upstream, buffer.data(), static_cast<std::size_t>(n))) return 0;
        }
        if (fds[0].revents != 0) {
            const ssize_t n = read(upstream, buffer.data(), buffer.size());
            if (n <= 0) return 0;
            if (!tracker.Feed(buffer.data(), static_cast<std::size_t>(n), &ends)) {
                std::fprintf(stderr, "frame_relay: not a frame packet header\n");
                return 1;
            }
            // Written up to each packet end on its own, so each end gets its
            // own time.
            std::size_t done = 0;
            for (std::size_t end : ends) {
                if (!WriteAll(client, buffer.data() + done, end - done)) return 0;
                log->emplace_back(static_cast<long>(log->size()), NowUs());
                done = end;
            }
            if (!WriteAll(client, buffer.data() + done, static_cast<std::size_t>(n) - done)) return 0;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: frame_relay LISTEN_PORT UPSTREAM_PORT LOG\n");
        return 2;
    }
    const int listenPort = std::atoi(argv[1]);
    const int upstreamPort = std::atoi(argv[2]);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = Loopback(listenPort);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0) {
        std::perror("frame_relay: listen");
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) {
        std::perror("frame_relay: accept");
        return 1;
    }
    // No waiting for more bytes to fill a segment: every packet end goes out
    // when it is written.
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const int upstream = socket(AF_INET, SOCK_STREAM, 0);
    address = Loopback(upstreamPort);
    if (connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("frame_relay: connect");
        return 1;
    }
    std::vector<std::pair<long, std::int64_t>> log;
    log.reserve(100000);
    const int status = Relay(client, upstream, &log);
    close(client);
    close(upstream);
    std::FILE* out = std::fopen(argv[3], "w");
    if (out == nullptr) {
        std::perror("frame_relay: log");
        return 1;
    }
    for (const auto& [index, us] : log) std::fprintf(out, "%ld %lld\n", index, static_cast<long long>(us));
    return std::fclose(out) == 0 ? status : 1;
}
