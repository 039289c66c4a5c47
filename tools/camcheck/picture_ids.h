#pragma once

// Counting what a capture application saw of the phone's pictures from the
// picture ids (frame numbers) read off its samples, in arrival order: a
// sample showing the same picture as the one before is a repeat; pictures
// the ids jump over never reached the application. Platform-neutral.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pavix::tools {

struct PictureIdSummary {
    std::size_t samples = 0;
    std::size_t unreadable = 0;  // ids of -1
    std::size_t distinct = 0;    // readable samples not repeating the one before
    std::size_t repeats = 0;
    // Pictures skipped between consecutive readable ids. A step backwards
    // (the phone started counting again) skips nothing.
    std::size_t gaps = 0;
    int64_t first = -1;
    int64_t last = -1;
};

// Unreadable samples are left out: the readable ones on either side of them
// count as consecutive.
PictureIdSummary SummarisePictureIds(const std::vector<int64_t>& ids);

}  // namespace pavix::tools
