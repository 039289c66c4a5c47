#include "tools/camcheck/picture_ids.h"

namespace pavix::tools {

PictureIdSummary SummarisePictureIds(const std::vector<int64_t>& ids) {
    PictureIdSummary summary;
    summary.samples = ids.size();
    int64_t previous = -1;
    for (int64_t id : ids) {
        if (id < 0) {
            ++summary.unreadable;
            continue;
        }
        if (summary.first < 0) {
            summary.first = id;
        }
        summary.last = id;
        if (previous >= 0 && id == previous) {
            ++summary.repeats;
        } else {
            ++summary.distinct;
            if (previous >= 0 && id > previous + 1) {
                summary.gaps += static_cast<std::size_t>(id - previous - 1);
            }
        }
        previous = id;
    }
    return summary;
}

}  // namespace pavix::tools
