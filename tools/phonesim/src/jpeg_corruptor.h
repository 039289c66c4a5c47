// Damages a JPEG the way a faulty sender or link would: the headers stay
// intact, the entropy-coded data is overwritten or cut short.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace phonesim {

enum class JpegDamage { kScrambled, kTruncated };

// Damages `jpeg` in place, choosing the kind of damage and where it goes from
// `rng`. A scrambled picture keeps its length and end marker; a truncated one
// ends part way through its entropy data.
JpegDamage CorruptJpeg(std::vector<uint8_t>* jpeg, std::mt19937_64& rng);

}  // namespace phonesim
