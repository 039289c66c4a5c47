#pragma once

// What a run of samples tells: their time stamps and how regularly they
// arrived.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/camcheck/capture_graph.h"

namespace pavix::tools {

struct StampSummary {
    size_t count = 0;
    bool allTimed = false;
    int64_t firstStart = 0;
    int64_t lastStart = 0;
    int64_t lastStop = 0;
    // Every sample lasts `step` and starts where the one before stopped, or
    // later where the camera skipped ahead after a hold-up downstream.
    bool continuous = false;
    size_t skips = 0;  // how many samples start later than the one before stopped
    // Every sample is stamped, lasts a while and starts after the one
    // before started.
    bool rising = false;
    int64_t step = 0;  // the first sample's duration
};

struct ArrivalSummary {
    size_t intervals = 0;
    double ratePerSecond = 0;  // samples per second between first and last
    double meanMs = 0;
    double stdDevMs = 0;
    double minMs = 0;
    double maxMs = 0;
};

StampSummary SummariseStamps(const std::vector<SampleRecord>& records);
ArrivalSummary SummariseArrivals(const std::vector<SampleRecord>& records);

// How much longer (positive) or shorter the samples took to arrive than
// their stamps claim, from the first record to the last, in milliseconds:
// near 0 when each stamp tells when its sample came.
double ArrivalDriftMs(const std::vector<SampleRecord>& records);

}  // namespace pavix::tools
