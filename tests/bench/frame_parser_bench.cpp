// Parser throughput against the bare cost of moving the same bytes through
// the ring. The stream is 30 KB packets, cut into slots the way the receive
// loop fills them: socket reads of up to 64 KB until half a slot is full.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "frames/frame_parser.h"
#include "link/recv_ring.h"
#include "tests/support/packet_stream.h"

namespace {

using pavix::testing::Bytes;

constexpr std::size_t kPacketPayload = 30 * 1024;
constexpr std::size_t kPackets = 512;  // 15 MiB of stream
constexpr std::size_t kSocketRead = 64 * 1024;

const Bytes& Stream() {
    static const Bytes stream = [] {
        std::mt19937 rng(3);
        std::vector<Bytes> payloads;
        for (std::size_t i = 0; i < kPackets; ++i) {
            payloads.push_back(pavix::testing::RandomPayload(rng, kPacketPayload));
        }
        return pavix::testing::EncodePackets(payloads);
    }();
    return stream;
}

// Fills one slot as a collection period would; returns the bytes taken.
std::size_t FillSlot(pavix::RecvSlot* slot, const std::uint8_t* bytes, std::size_t available) {
    slot->length = 0;
    while (available > 0 && slot->length < slot->capacity / 2) {
        const std::size_t read = std::min({kSocketRead, available, std::size_t{slot->SpaceLeft()}});
        slot->Append(bytes, static_cast<std::uint32_t>(read));
        bytes += read;
        available -= read;
    }
    return slot->length;
}

template <typename ReadOneSlot>
void PushStreamThroughRing(pavix::CRecvRing& ring, ReadOneSlot readOneSlot) {
    const Bytes& stream = Stream();
    std::size_t offset = 0;
    while (offset < stream.size()) {
        pavix::RecvSlot* slot = ring.AcquireWriteSlot();
        offset += FillSlot(slot, stream.data() + offset, stream.size() - offset);
        ring.ReleaseWriteSlot(slot, true);
        readOneSlot();
    }
}

void BM_RingMemcpyOnly(benchmark::State& state) {
    pavix::CRecvRing ring;
    if (!ring.Init()) state.SkipWithError("no memory");
    std::uint64_t checksum = 0;
    for (auto _ : state) {
        PushStreamThroughRing(ring, [&] {
            pavix::RecvSlot* slot = ring.AcquireReadSlot();
            checksum += slot->data[slot->length - 1];
            ring.ReleaseReadSlot(slot, true);
        });
    }
    benchmark::DoNotOptimize(checksum);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Stream().size()));
}

void BM_RingAndParser(benchmark::State& state) {
    pavix::CRecvRing ring;
    if (!ring.Init()) state.SkipWithError("no memory");
    std::uint64_t packets = 0;
    pavix::CFrameParser parser(ring, [&](const std::uint8_t* payload, std::int32_t length) {
        packets += payload[length - 1] != 0xFF;  // touch the payload's end
        return true;
    });
    for (auto _ : state) {
        PushStreamThroughRing(ring, [&] { parser.ParseDataPacket(); });
    }
    benchmark::DoNotOptimize(packets);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Stream().size()));
}

BENCHMARK(BM_RingMemcpyOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RingAndParser)->Unit(benchmark::kMillisecond);

// Prints the runs as usual and keeps their times for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double memcpyOnly = reporter.seconds["BM_RingMemcpyOnly"];
    const double parsed = reporter.seconds["BM_RingAndParser"];
    if (memcpyOnly > 0 && parsed > 0) {
        const double megabytes = static_cast<double>(Stream().size()) / (1024.0 * 1024.0);
        std::printf("\nstream %.1f MiB of %zu-byte packets\n", megabytes, kPacketPayload);
        std::printf("ring + parser: %.0f MiB/s, ring memcpy only: %.0f MiB/s, cost ratio %.2f\n",
                    megabytes / (parsed / 1e3), megabytes / (memcpyOnly / 1e3), parsed / memcpyOnly);
    }
    benchmark::Shutdown();
    return 0;
}
