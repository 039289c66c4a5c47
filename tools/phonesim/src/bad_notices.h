// Malformed notice datagrams, for testing that the desktop program ignores
// them: each one aims at `content` in some broken way, so that a receiver
// that took any of them would move to that endpoint, where a test can see it.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "notice_payload.h"

namespace phonesim {

// How many kinds of malformed datagram there are; BuildBadNotice(i, ...)
// makes kind i % kBadNoticeKinds.
constexpr int kBadNoticeKinds = 16;

// The `index`-th malformed datagram (random parts from `rng`):
//   random bytes; an empty datagram; a good text notice padded to 261 bytes
//   and to more than 261; a zero byte before a good notice; four fields
//   only; 7 and 9 hex digits; a non-hex character that still converts by
//   digit arithmetic; a 40-character address (encoded); an encoded notice
//   without its port2, or with field 1 zero; no "ppp:"; an encoded notice
//   cut short; text with fewer than five fields; colons only.
std::string BuildBadNotice(uint64_t index, const NoticeContent& content, std::mt19937_64* rng);

// A short name of the kind, for status lines and test messages.
const char* BadNoticeKindName(uint64_t index);

}  // namespace phonesim
