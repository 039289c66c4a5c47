#pragma once

// What a run of samples says about the pictures in them: the simulator's
// frame number read from each sample, in the order the samples came.

#include <cstddef>
#include <cstdint>

namespace pavix::testing {

struct PictureTally {
    std::size_t samples = 0;
    std::size_t unreadable = 0;   // no frame number (not the simulator's picture, or torn)
    std::size_t repeats = 0;      // the same picture as the sample before
    std::size_t missed = 0;       // pictures between two samples' that no sample showed
    std::size_t backwards = 0;    // an older picture than the sample before
    std::int64_t first = -1;      // the first and last frame numbers read
    std::int64_t last = -1;

    // Adds the next sample's frame number, or -1 when it had none.
    void Add(std::int64_t frame);

    // Distinct pictures shown between the first and the last.
    std::size_t Delivered() const;
};

}  // namespace pavix::testing
