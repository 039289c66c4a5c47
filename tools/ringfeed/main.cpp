// Feeds the phone simulator's stream through the receive ring and the frame
// parser, decodes every payload and prints once a second what got through:
//   ringfeed [--connect HOST:PORT] [--seconds N]
// Exits non-zero when no picture arrived at all.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "frames/frame_parser.h"
#include "link/recv_ring.h"
#include "pattern/jpeg_decoder.h"
#include "pattern/test_pattern.h"
#include "tcp_receiver.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

struct Counters {
    std::atomic<std::uint64_t> packets{0};
    std::atomic<std::uint64_t> pictures{0};    // decoded cleanly
    std::atomic<std::uint64_t> undecodable{0};
    std::atomic<std::uint64_t> outOfOrder{0};  // frame number not above the previous one
    std::atomic<std::int64_t> lastFrame{-1};
    int width = 0;
    int height = 0;
};

// What the frame thread does with each payload here: decode it and read the
// simulator's frame number from the picture.
bool CheckPayload(Counters& counters, const std::uint8_t* payload, std::int32_t length) {
    ++counters.packets;
    phonesim::DecodedJpeg picture;
    std::string error;
    if (!phonesim::DecodeJpeg(payload, static_cast<std::size_t>(length), &picture, &error) ||
        picture.warnings > 0) {
        ++counters.undecodable;
        return true;
    }
    ++counters.pictures;
    counters.width = picture.width;
    counters.height = picture.height;
    const std::int64_t frame = phonesim::ReadFrameNumber(picture.rgb.data(), picture.width, picture.height);
    if (frame >= 0) {
        if (frame <= counters.lastFrame) ++counters.outOfOrder;
        counters.lastFrame = frame;
    }
    return true;
}

bool ParseEndpoint(const char* text, std::string* host, std::uint16_t* port) {
    const char* colon = std::strrchr(text, ':');
    if (colon == nullptr) return false;
    *host = std::string(text, colon);
    const long value = std::strtol(colon + 1, nullptr, 10);
    if (value <= 0 || value > 65535) return false;
    *port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    std::uint16_t port = 1234;
    int seconds = 0;  // 0: until interrupted
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--connect") == 0 && i + 1 < argc) {
            if (!ParseEndpoint(argv[++i], &host, &port)) {
                std::fprintf(stderr, "ringfeed: bad endpoint %s\n", argv[i]);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: ringfeed [--connect HOST:PORT] [--seconds N]\n");
            return 2;
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    pavix::CRecvRing ring;
    if (!ring.Init()) {
        std::fprintf(stderr, "ringfeed: no memory for the receive ring\n");
        return 1;
    }
    Counters counters;
    pavix::CFrameParser parser(ring, [&](const std::uint8_t* payload, std::int32_t length) {
        return CheckPayload(counters, payload, length);
    });
    ringfeed::TcpReceiver receiver(ring, host, port);

    std::thread receiving([&] { receiver.Run(g_stop); });
    std::thread parsing([&] {
        // As the frame thread: straight on after a pass that handed a frame
        // on, a short sleep after an idle one.
        while (!g_stop) {
            if (parser.ParseDataPacket() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    std::printf("ringfeed: reading %s:%u through the receive ring\n", host.c_str(), port);
    std::uint64_t lastPackets = 0;
    std::uint64_t lastBytes = 0;
    for (int second = 1; !g_stop && (seconds == 0 || second <= seconds); ++second) {
        for (int tick = 0; tick < 10 && !g_stop; ++tick) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::uint64_t packets = counters.packets;
        const std::uint64_t bytes = receiver.BytesReceived();
        std::printf("%3ds  %s  %4llu packets/s  %6.2f MB/s  pictures %llu (%dx%d)  last frame %lld"
                    "  undecodable %llu  out of order %llu\n",
                    second, receiver.Connected() ? "connected   " : "disconnected",
                    static_cast<unsigned long long>(packets - lastPackets),
                    static_cast<double>(bytes - lastBytes) / 1e6,
                    static_cast<unsigned long long>(counters.pictures.load()), counters.width,
                    counters.height, static_cast<long long>(counters.lastFrame.load()),
                    static_cast<unsigned long long>(counters.undecodable.load()),
                    static_cast<unsigned long long>(counters.outOfOrder.load()));
        std::fflush(stdout);
        lastPackets = packets;
        lastBytes = bytes;
    }
    g_stop = true;
    receiving.join();
    parsing.join();
    ring.Shutdown();
    return counters.pictures > 0 ? 0 : 1;
}
