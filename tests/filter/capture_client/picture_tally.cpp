#include "picture_tally.h"

namespace pavix::testing {

void PictureTally::Add(std::int64_t frame) {
    ++samples;
    if (frame < 0) {
        ++unreadable;
        return;
    }
    if (first < 0) {
        first = frame;
    } else if (frame == last) {
        ++repeats;
    } else if (frame < last) {
        ++backwards;
    } else {
        missed += static_cast<std::size_t>(frame - last - 1);
    }
    // After a step back, gaps count from where the stream now is.
    last = frame;
}

std::size_t PictureTally::Delivered() const {
    return samples - unreadable - repeats;
}

}  // namespace pavix::testing
