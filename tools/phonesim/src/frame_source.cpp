#include "frame_source.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "jpeg_corruptor.h"
#include "stream_faults.h"
#include "pattern/camera_scene.h"
#include "pattern/jpeg_encoder.h"
#include "pattern/test_pattern.h"

namespace phonesim {
namespace {

constexpr uint64_t kCorruptionSeedUser = 2;

class PatternSource : public FrameSource {
 public:
  PatternSource(int width, int height, int quality, Content content)
      : width_(width), height_(height), quality_(quality), content_(content) {}

  bool Frame(uint64_t number, std::vector<uint8_t>* jpeg, std::string* error) override {
    if (content_ == Content::kCamera) {
      RenderCameraScene(number, width_, height_, &rgb_);
    } else {
      RenderPattern(number, width_, height_, &rgb_);
    }
    return EncodeJpeg(rgb_.data(), width_, height_, quality_, jpeg, error);
  }

 private:
  int width_;
  int height_;
  int quality_;
  Content content_;
  std::vector<uint8_t> rgb_;
};

class LoopingSource : public FrameSource {
 public:
  LoopingSource(std::unique_ptr<FrameSource> inner, uint64_t count)
      : inner_(std::move(inner)), made_(count) {}

  bool Frame(uint64_t number, std::vector<uint8_t>* jpeg, std::string* error) override {
    std::vector<uint8_t>& frame = made_[number % made_.size()];
    if (frame.empty() && !inner_->Frame(number % made_.size(), &frame, error)) {
      frame.clear();
      return false;
    }
    *jpeg = frame;
    return true;
  }

 private:
  std::unique_ptr<FrameSource> inner_;
  std::vector<std::vector<uint8_t>> made_;
};

bool HasJpegExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == "jpg" || ext == "jpeg";
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  out->clear();
  uint8_t buffer[65536];
  size_t n = 0;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (out->size() + n > kMaxPayload) {
      *error = path + " is larger than a frame packet can carry";
      ok = false;
      break;
    }
    out->insert(out->end(), buffer, buffer + n);
  }
  if (ok && std::ferror(f)) {
    *error = "cannot read " + path;
    ok = false;
  }
  std::fclose(f);
  return ok;
}

class DirectorySource : public FrameSource {
 public:
  explicit DirectorySource(std::vector<std::string> paths) : paths_(std::move(paths)) {}

  bool Frame(uint64_t number, std::vector<uint8_t>* jpeg, std::string* error) override {
    return ReadFile(paths_[number % paths_.size()], jpeg, error);
  }

 private:
  std::vector<std::string> paths_;
};

class CorruptingSource : public FrameSource {
 public:
  CorruptingSource(std::unique_ptr<FrameSource> inner, uint64_t every, uint64_t seed)
      : inner_(std::move(inner)), every_(every), rng_(seed) {}

  bool Frame(uint64_t number, std::vector<uint8_t>* jpeg, std::string* error) override {
    if (!inner_->Frame(number, jpeg, error)) return false;
    if (IsCorruptedFrame(number, every_)) CorruptJpeg(jpeg, rng_);
    return true;
  }

 private:
  std::unique_ptr<FrameSource> inner_;
  uint64_t every_;
  std::mt19937_64 rng_;
};

}  // namespace

std::unique_ptr<FrameSource> MakePatternSource(int width, int height, int quality,
                                               Content content) {
  return std::make_unique<PatternSource>(width, height, quality, content);
}

std::unique_ptr<FrameSource> WithLoop(std::unique_ptr<FrameSource> inner, uint64_t count) {
  return std::make_unique<LoopingSource>(std::move(inner), count);
}

std::unique_ptr<FrameSource> MakeDirectorySource(const std::string& dir, std::string* error) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    *error = "cannot open folder " + dir + ": " + std::strerror(errno);
    return nullptr;
  }
  std::vector<std::string> paths;
  while (const dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    if (!HasJpegExtension(name)) continue;
    const std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) continue;
    if (static_cast<uint64_t>(st.st_size) > kMaxPayload) {
      std::fprintf(stderr, "phonesim: skipping %s: larger than a frame packet can carry\n",
                   path.c_str());
      continue;
    }
    paths.push_back(path);
  }
  closedir(d);
  if (paths.empty()) {
    *error = "no .jpg or .jpeg files in " + dir;
    return nullptr;
  }
  std::sort(paths.begin(), paths.end());
  return std::make_unique<DirectorySource>(std::move(paths));
}

bool IsCorruptedFrame(uint64_t number, uint64_t every) {
  return every != 0 && (number + 1) % every == 0;
}

std::unique_ptr<FrameSource> WithCorruption(std::unique_ptr<FrameSource> inner, uint64_t every,
                                            uint64_t seed) {
  return std::make_unique<CorruptingSource>(std::move(inner), every, seed);
}

std::unique_ptr<FrameSource> MakeFrameSource(const Options& options, std::string* error) {
  std::unique_ptr<FrameSource> source =
      options.jpeg_dir.empty()
          ? MakePatternSource(options.width, options.height, options.quality, options.content)
          : MakeDirectorySource(options.jpeg_dir, error);
  if (source && options.corrupt_every != 0) {
    source = WithCorruption(std::move(source), options.corrupt_every,
                            DeriveSeed(options.seed, kCorruptionSeedUser));
  }
  if (source && options.loop != 0) source = WithLoop(std::move(source), options.loop);
  return source;
}

}  // namespace phonesim
