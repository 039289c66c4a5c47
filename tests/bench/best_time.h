#pragma once

// The time one step of a benchmark takes: the best of three runs of
// `seconds` each, after a few steps that grow buffers and page code in.

#include <algorithm>
#include <chrono>

namespace pavix::bench {

template <typename Step>
double BestMsPerStep(double seconds, Step step) {
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < 3; ++i) step();
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const Clock::time_point start = Clock::now();
        long count = 0;
        double elapsed = 0;
        do {
            step();
            ++count;
            elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        } while (elapsed < seconds * 1000);
        best = std::min(best, elapsed / static_cast<double>(count));
    }
    return best;
}

}  // namespace pavix::bench
