#pragma once

// Numbered pictures for the Windows camera's tests and benchmark: a
// stand-in for pavix.exe publishes 1280 x 720 pictures of one colour each
// into the HD block, about 30 a second, and a sample's colour tells which
// picture it shows.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/filter/support/hd_block_writer.h"
#include "tools/mfcheck/source_reader_client.h"

namespace pavix::testing {

// Picture n's luma: steps of 6, so that a sample converted to RGB32 and
// back (off by 2 now and then) still tells which picture it shows; 36
// pictures (1.2 s) before a luma comes again.
inline constexpr int kLumaStep = 6;
inline constexpr std::uint64_t kLumaCycle = 36;
std::uint8_t LumaOf(std::uint64_t number);

// The luma at the sample's centre (RGB32: of its grey).
int CentreLuma(const tools::ReadResult& sample, const tools::SampleLayout& layout);

// The picture number, not below `least` and less than kLumaCycle above
// it, whose luma is nearest `luma`.
std::uint64_t NumberOfLuma(int luma, std::uint64_t least);

// Publishes numbered pictures from 1 on, one every 33 ms, keeping each
// one's arrival time.
class NumberedPublisher {
public:
    explicit NumberedPublisher(HdBlockWriter& writer);
    ~NumberedPublisher();
    NumberedPublisher(const NumberedPublisher&) = delete;
    NumberedPublisher& operator=(const NumberedPublisher&) = delete;

    // Picture `number`'s arrival (QueryPerformanceCounter), 0 if unknown.
    std::int64_t ArrivalOf(std::uint64_t number);
    // How many pictures went out so far.
    std::uint64_t Published();

private:
    void Run();

    HdBlockWriter& writer_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::int64_t> arrivals_;
    std::thread thread_;
};

}  // namespace pavix::testing
