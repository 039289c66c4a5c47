#include "tools/camcheck/sample_stats.h"

#include <algorithm>
#include <cmath>

namespace pavix::tools {

StampSummary SummariseStamps(const std::vector<SampleRecord>& records) {
    StampSummary summary;
    summary.count = records.size();
    if (records.empty()) {
        return summary;
    }
    summary.allTimed = std::all_of(records.begin(), records.end(),
                                   [](const SampleRecord& r) { return r.timed; });
    summary.firstStart = records.front().start;
    summary.lastStart = records.back().start;
    summary.lastStop = records.back().stop;
    summary.step = records.front().stop - records.front().start;
    summary.continuous = summary.allTimed && summary.step > 0;
    summary.rising = summary.allTimed;
    for (size_t i = 0; summary.rising && i < records.size(); ++i) {
        summary.rising = records[i].stop > records[i].start &&
                         (i == 0 || records[i].start > records[i - 1].start);
    }
    for (size_t i = 0; summary.continuous && i < records.size(); ++i) {
        if (records[i].stop - records[i].start != summary.step ||
            (i > 0 && records[i].start < records[i - 1].stop)) {
            summary.continuous = false;
        } else if (i > 0 && records[i].start > records[i - 1].stop) {
            ++summary.skips;
        }
    }
    return summary;
}

ArrivalSummary SummariseArrivals(const std::vector<SampleRecord>& records) {
    ArrivalSummary summary;
    if (records.size() < 2) {
        return summary;
    }
    summary.intervals = records.size() - 1;
    std::vector<double> intervals;
    intervals.reserve(summary.intervals);
    for (size_t i = 1; i < records.size(); ++i) {
        intervals.push_back((records[i].arrivalUs - records[i - 1].arrivalUs) / 1000.0);
    }
    double total = 0;
    for (double v : intervals) {
        total += v;
    }
    summary.meanMs = total / intervals.size();
    double squares = 0;
    for (double v : intervals) {
        squares += (v - summary.meanMs) * (v - summary.meanMs);
    }
    summary.stdDevMs = std::sqrt(squares / intervals.size());
    summary.minMs = *std::min_element(intervals.begin(), intervals.end());
    summary.maxMs = *std::max_element(intervals.begin(), intervals.end());
    summary.ratePerSecond = total > 0 ? summary.intervals * 1000.0 / total : 0;
    return summary;
}

double ArrivalDriftMs(const std::vector<SampleRecord>& records) {
    if (records.size() < 2) {
        return 0;
    }
    double arrived = (records.back().arrivalUs - records.front().arrivalUs) / 1000.0;
    double stamped = (records.back().start - records.front().start) / 10000.0;
    return arrived - stamped;
}

}  // namespace pavix::tools
