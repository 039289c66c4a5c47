// Where the simulator's frames come from: the test pattern or a folder of
// JPEG files, optionally with some frames damaged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "options.h"

namespace phonesim {

// The largest payload a frame packet can carry (3-byte length).
constexpr size_t kMaxPayload = 0xFFFFFF;

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // The JPEG for frame `number` (0 for the first frame sent, counting all
  // connections). False with `error` when no frame can be produced.
  virtual bool Frame(uint64_t number, std::vector<uint8_t>* jpeg, std::string* error) = 0;
};

std::unique_ptr<FrameSource> MakePatternSource(int width, int height, int quality,
                                               Content content = Content::kPattern);

// Wraps `inner` so that frames 0..count-1 are made once and frame n is
// frame n % count.
std::unique_ptr<FrameSource> WithLoop(std::unique_ptr<FrameSource> inner, uint64_t count);

// Lists the .jpg/.jpeg files of `dir` (any letter case) in byte order of
// their names and serves them in turn, looping. Null with `error` when the
// folder cannot be read or holds no usable file.
std::unique_ptr<FrameSource> MakeDirectorySource(const std::string& dir, std::string* error);

// True for the frames --corrupt-every damages: the K-th, 2K-th, ... frame.
bool IsCorruptedFrame(uint64_t number, uint64_t every);

// Wraps `inner` so that every `every`-th frame is damaged; the damage is
// chosen by a generator seeded with `seed`.
std::unique_ptr<FrameSource> WithCorruption(std::unique_ptr<FrameSource> inner, uint64_t every,
                                            uint64_t seed);

// The source the options ask for: the pattern (--content) or --jpeg-dir,
// with --corrupt-every applied (its choices seeded from --seed), then
// --loop. Null with `error` when it cannot be made.
std::unique_ptr<FrameSource> MakeFrameSource(const Options& options, std::string* error);

}  // namespace phonesim
