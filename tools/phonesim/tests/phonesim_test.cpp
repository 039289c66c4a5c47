// Tests of the phone simulator: the pattern survives JPEG and scaling, and the
// stream a running server sends parses into whole, numbered packets with the
// requested faults. All traffic stays on 127.0.0.1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "frame_source.h"
#include "jpeg_corruptor.h"
#include "notice_payload.h"
#include "notice_sender.h"
#include "options.h"
#include "pattern/camera_scene.h"
#include "pattern/jpeg_decoder.h"
#include "pattern/jpeg_encoder.h"
#include "pattern/test_pattern.h"
#include "stream_faults.h"
#include "stream_server.h"

namespace phonesim {
namespace {

using Picture = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Box filter: each output pixel averages the input pixels it covers.
Picture Scale(const Picture& in, int w, int h, int out_w, int out_h) {
  Picture out(static_cast<size_t>(out_w) * out_h * 3);
  for (int y = 0; y < out_h; ++y) {
    const int y0 = y * h / out_h;
    const int y1 = std::max(y0 + 1, (y + 1) * h / out_h);
    for (int x = 0; x < out_w; ++x) {
      const int x0 = x * w / out_w;
      const int x1 = std::max(x0 + 1, (x + 1) * w / out_w);
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int sy = y0; sy < y1; ++sy) {
          for (int sx = x0; sx < x1; ++sx) sum += in[(static_cast<size_t>(sy) * w + sx) * 3 + c];
        }
        out[(static_cast<size_t>(y) * out_w + x) * 3 + c] =
            static_cast<uint8_t>(sum / ((y1 - y0) * (x1 - x0)));
      }
    }
  }
  return out;
}

// Pattern frame -> JPEG -> decoded -> scaled, as the desktop side would see it.
Picture ThroughPipeline(uint64_t frame, int w, int h, int quality, int out_w, int out_h) {
  Picture rgb;
  RenderPattern(frame, w, h, &rgb);
  std::vector<uint8_t> jpeg;
  std::string error;
  EXPECT_TRUE(EncodeJpeg(rgb.data(), w, h, quality, &jpeg, &error)) << error;
  DecodedJpeg decoded;
  EXPECT_TRUE(DecodeJpeg(jpeg.data(), jpeg.size(), &decoded, &error)) << error;
  EXPECT_EQ(decoded.warnings, 0);
  return Scale(decoded.rgb, decoded.width, decoded.height, out_w, out_h);
}

Picture FlipVertically(const Picture& in, int w, int h) {
  Picture out(in.size());
  const size_t row = static_cast<size_t>(w) * 3;
  for (int y = 0; y < h; ++y) std::memcpy(&out[y * row], &in[(h - 1 - y) * row], row);
  return out;
}

Picture Mirror(const Picture& in, int w, int h) {
  Picture out(in.size());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::memcpy(&out[(static_cast<size_t>(y) * w + x) * 3],
                  &in[(static_cast<size_t>(y) * w + (w - 1 - x)) * 3], 3);
    }
  }
  return out;
}

Picture SwapRedBlue(Picture in) {
  for (size_t i = 0; i + 2 < in.size(); i += 3) std::swap(in[i], in[i + 2]);
  return in;
}

TEST(TestPattern, FrameNumberSurvivesJpegAndScaling) {
  const uint64_t numbers[] = {0, 1, 2, 255, 4096, 65535, 0x123456, 0x555555, 0xAAAAAA, 0xFFFFFF};
  for (uint64_t n : numbers) {
    EXPECT_EQ(ReadFrameNumber(ThroughPipeline(n, 640, 480, 80, 480, 320).data(), 480, 320), int64_t(n))
        << "frame " << n;
  }
  // The smallest supported picture, from a low-quality, odd-sized source.
  for (uint64_t n : {uint64_t{0}, uint64_t{77}, uint64_t{0xABCDEF}}) {
    EXPECT_EQ(ReadFrameNumber(ThroughPipeline(n, 333, 250, 40, 160, 120).data(), 160, 120),
              int64_t(n))
        << "frame " << n;
  }
  // Numbers past 24 bits wrap around.
  EXPECT_EQ(ReadFrameNumber(ThroughPipeline((uint64_t{1} << 24) + 5, 640, 480, 80, 480, 320).data(),
                            480, 320),
            5);
}

TEST(TestPattern, NumberIsOnlyReadFromAnUprightPattern) {
  const int w = 480, h = 320;
  const Picture upright = ThroughPipeline(0x00F00F, 640, 480, 80, w, h);
  ASSERT_EQ(ReadFrameNumber(upright.data(), w, h), 0x00F00F);
  EXPECT_EQ(ReadFrameNumber(Mirror(upright, w, h).data(), w, h), -1);
  EXPECT_EQ(ReadFrameNumber(FlipVertically(upright, w, h).data(), w, h), -1);

  const Picture grey(static_cast<size_t>(w) * h * 3, 128);
  EXPECT_EQ(ReadFrameNumber(grey.data(), w, h), -1);
  Picture noise(grey.size());
  std::mt19937 rng(3);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
  EXPECT_EQ(ReadFrameNumber(noise.data(), w, h), -1);
  EXPECT_EQ(ReadFrameNumber(upright.data(), 40, 30), -1);  // too small to read
}

TEST(TestPattern, QuadrantsRevealFlipsMirrorsAndChannelSwaps) {
  const int w = 480, h = 320;
  const Picture upright = ThroughPipeline(1234, 640, 480, 80, w, h);
  struct Case {
    const char* name;
    Picture picture;
    bool flipped, mirrored, swapped;
  };
  const Picture flipped = FlipVertically(upright, w, h);
  const Case cases[] = {
      {"upright", upright, false, false, false},
      {"flipped", flipped, true, false, false},
      {"mirrored", Mirror(upright, w, h), false, true, false},
      {"rotated 180", Mirror(flipped, w, h), true, true, false},
      {"BGR", SwapRedBlue(upright), false, false, true},
      {"BGR flipped", SwapRedBlue(flipped), true, false, true},
  };
  for (const Case& c : cases) {
    const PatternOrientation o = ReadOrientation(c.picture.data(), w, h);
    EXPECT_TRUE(o.recognised) << c.name;
    EXPECT_EQ(o.flipped_vertically, c.flipped) << c.name;
    EXPECT_EQ(o.mirrored, c.mirrored) << c.name;
    EXPECT_EQ(o.red_blue_swapped, c.swapped) << c.name;
  }
  EXPECT_TRUE(ReadOrientation(upright.data(), w, h).upright());
  const Picture grey(upright.size(), 128);
  EXPECT_FALSE(ReadOrientation(grey.data(), w, h).recognised);
}

TEST(TestPattern, ReadersTakeBottomUpBgrxBuffers) {
  // A Windows-style DIB: BGRX pixels, rows stored bottom-up.
  const int w = 320, h = 240;
  const Picture rgb = ThroughPipeline(0x0BEEF0, 640, 480, 80, w, h);
  std::vector<uint8_t> dib(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* s = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      uint8_t* d = &dib[(static_cast<size_t>(h - 1 - y) * w + x) * 4];
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = 0;
    }
  }
  ImageView view;
  view.width = w;
  view.height = h;
  view.bytes_per_pixel = 4;
  view.bgr = true;
  view.stride = -static_cast<ptrdiff_t>(w) * 4;
  view.data = dib.data() + static_cast<size_t>(h - 1) * w * 4;
  EXPECT_EQ(ReadFrameNumber(view), 0x0BEEF0);
  EXPECT_TRUE(ReadOrientation(view).upright());
}

TEST(TestPattern, BarMovesFromFrameToFrame) {
  const int w = 640, h = 480;
  Picture a, b;
  RenderPattern(10, w, h, &a);
  RenderPattern(11, w, h, &b);
  ASSERT_NE(MotionBarLeft(10, w), MotionBarLeft(11, w));
  const int y = h * 37 / 100;  // inside the upper motion track
  auto pixel = [&](const Picture& p, int x) { return &p[(static_cast<size_t>(y) * w + x) * 3]; };
  const int bar_a = MotionBarLeft(10, w) + MotionBarWidth(w) / 2;
  EXPECT_EQ(pixel(a, bar_a)[0], 255);  // yellow in frame 10
  EXPECT_EQ(pixel(a, bar_a)[2], 0);
  EXPECT_EQ(pixel(b, bar_a)[0], 64);   // track grey in frame 11: the bar moved on
}

TEST(JpegCorruptor, BothKindsOfDamageShowInTheDecodedPicture) {
  Picture rgb;
  RenderPattern(42, 320, 240, &rgb);
  std::vector<uint8_t> clean;
  std::string error;
  ASSERT_TRUE(EncodeJpeg(rgb.data(), 320, 240, 80, &clean, &error));
  std::mt19937_64 rng(5);
  int seen[2] = {0, 0};
  for (int i = 0; i < 40; ++i) {
    std::vector<uint8_t> jpeg = clean;
    const JpegDamage damage = CorruptJpeg(&jpeg, rng);
    ++seen[static_cast<int>(damage)];
    EXPECT_EQ(damage == JpegDamage::kTruncated, jpeg.size() < clean.size());
    DecodedJpeg decoded;
    const bool ok = DecodeJpeg(jpeg.data(), jpeg.size(), &decoded, &error);
    EXPECT_TRUE(!ok || decoded.warnings > 0) << "damage " << static_cast<int>(damage);
  }
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
}

TEST(StreamFaults, GarbageNeverFormsThePacketMarker) {
  StreamFaults faults(9);
  const uint8_t tails[][4] = {{'R', 'O', 'V', 'O'}, {'x', 'R', 'O', 'V'}, {0xFF, 0xD9, 'R', 'O'}};
  int near_misses = 0;
  for (int i = 0; i < 3000; ++i) {
    const uint8_t* tail = tails[i % 3];
    const std::vector<uint8_t> garbage = faults.NextGarbage(tail, 4);
    ASSERT_GE(garbage.size(), 1u);
    ASSERT_LE(garbage.size(), kMaxGarbage);
    std::string joined(reinterpret_cast<const char*>(tail), 4);
    joined.append(garbage.begin(), garbage.end());
    ASSERT_EQ(joined.find("ROVOd"), std::string::npos) << "iteration " << i;
    if (joined.find("ROVO", 4) != std::string::npos) ++near_misses;
  }
  EXPECT_GT(near_misses, 0);
}

// The camera-like scene weighs like a phone's pictures, and the desktop
// side reads it as it reads the flat pattern.
TEST(CameraScene, JpegsWeighLikeAPhonesAndThePatternStillReads) {
  const struct {
    int width, height;
  } sizes[] = {{640, 480}, {1280, 720}, {1920, 1080}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
    std::unique_ptr<FrameSource> source =
        MakePatternSource(size.width, size.height, 80, Content::kCamera);
    for (uint64_t n : {uint64_t{3}, uint64_t{0x5A5A5A}}) {
      std::vector<uint8_t> jpeg;
      std::string error;
      ASSERT_TRUE(source->Frame(n, &jpeg, &error)) << error;
      EXPECT_GE(jpeg.size(), 40u * 1024);
      EXPECT_LE(jpeg.size(), 120u * 1024);
      DecodedJpeg decoded;
      ASSERT_TRUE(DecodeJpeg(jpeg.data(), jpeg.size(), &decoded, &error)) << error;
      const Picture small = Scale(decoded.rgb, decoded.width, decoded.height, 480, 320);
      EXPECT_EQ(ReadFrameNumber(small.data(), 480, 320), int64_t(n));
      EXPECT_TRUE(ReadOrientation(small.data(), 480, 320).upright());
      EXPECT_FALSE(ReadOrientation(SwapRedBlue(small).data(), 480, 320).upright());
    }
  }
}

TEST(CameraScene, SceneAndNoiseMoveFromFrameToFrame) {
  Picture a, b, again;
  RenderCameraScene(10, 320, 240, &a);
  RenderCameraScene(11, 320, 240, &b);
  RenderCameraScene(10, 320, 240, &again);
  EXPECT_EQ(a, again) << "a frame number always gives the same picture";
  // Nearly every pixel changes, in the flat colour fields too.
  size_t changed = 0;
  for (size_t i = 0; i < a.size(); i += 3) changed += a[i] != b[i] || a[i + 1] != b[i + 1];
  EXPECT_GT(changed, a.size() / 3 * 9 / 10);
}

TEST(FrameSource, LoopMakesEachFrameOnceAndRepeatsThem) {
  struct Counting : FrameSource {
    int made = 0;
    bool Frame(uint64_t number, std::vector<uint8_t>* jpeg, std::string*) override {
      ++made;
      jpeg->assign(1, static_cast<uint8_t>(number));
      return true;
    }
  };
  auto counting = std::make_unique<Counting>();
  Counting* inner = counting.get();
  std::unique_ptr<FrameSource> looped = WithLoop(std::move(counting), 3);
  std::string error;
  for (uint64_t n = 0; n < 8; ++n) {
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(looped->Frame(n, &jpeg, &error));
    EXPECT_EQ(jpeg, std::vector<uint8_t>{static_cast<uint8_t>(n % 3)});
  }
  EXPECT_EQ(inner->made, 3);
}

TEST(FrameSource, DirectoryIsServedInNameOrderAndLoops) {
  char dir_template[] = "/tmp/phonesim_test_XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  std::vector<std::string> created;
  auto write = [&](const std::string& name, const std::string& body) {
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(body.data(), 1, body.size(), f);
    std::fclose(f);
    created.push_back(path);
  };
  write("b.jpg", "second");
  write("a.JPEG", "first");
  write("c.txt", "not a picture");
  std::string error;
  std::unique_ptr<FrameSource> source = MakeDirectorySource(dir, &error);
  ASSERT_NE(source, nullptr) << error;
  const char* expected[] = {"first", "second", "first", "second"};
  for (uint64_t n = 0; n < 4; ++n) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(source->Frame(n, &bytes, &error)) << error;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected[n]);
  }
  for (const std::string& path : created) std::remove(path.c_str());
  EXPECT_EQ(MakeDirectorySource(dir, &error), nullptr);  // no pictures left
  rmdir(dir.c_str());
}

// ---------------------------------------------------------------------------
// A server in a thread of this process, on an ephemeral loopback port.

class ServerUnderTest {
 public:
  explicit ServerUnderTest(std::vector<std::string> args) {
    args.insert(args.begin(), {"--listen", "127.0.0.1:0", "--quiet", "--size", "320x240"});
    std::string message;
    ok_ = ParseOptions(args, &options_, &message) == ParseOutcome::kRun;
    EXPECT_TRUE(ok_) << message;
    if (!ok_) return;
    source_ = MakeFrameSource(options_, &message);
    ok_ = source_ != nullptr;
    EXPECT_TRUE(ok_) << message;
    if (!ok_) return;
    server_ = std::make_unique<StreamServer>(options_, source_.get(), &stop_);
    ok_ = server_->Listen(&message);
    EXPECT_TRUE(ok_) << message;
    if (ok_) thread_ = std::thread([this] {
        run_ok_ = server_->Run(&run_error_);
        exited_ = true;
      });
  }
  ~ServerUnderTest() { Stop(); }

  bool ok() const { return ok_; }
  uint16_t port() const { return server_->endpoint().port; }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // Waits for Run() to return by itself; false if it has not within `limit`.
  bool WaitForExit(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    while (!finished() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!finished()) return false;
    thread_.join();
    return run_ok_;
  }

 private:
  bool finished() const { return exited_.load(); }

  Options options_;
  std::unique_ptr<FrameSource> source_;
  std::unique_ptr<StreamServer> server_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> exited_{false};
  std::thread thread_;
  bool ok_ = false;
  bool run_ok_ = false;
  std::string run_error_;

};

struct Packet {
  std::vector<uint8_t> payload;
  Clock::time_point arrived;
};

struct Capture {
  std::vector<Packet> packets;
  size_t skipped = 0;  // bytes between packets that were not a packet
  bool ended = false;  // the server closed the connection
};

int Connect(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Reads until `count` packets arrived, the server closed, or 5 s passed.
// Bytes that do not start a packet are skipped up to the next "ROVOd".
Capture Receive(int fd, size_t count) {
  Capture capture;
  std::vector<uint8_t> buffer;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
  while (capture.packets.size() < count && Clock::now() < deadline) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 100) <= 0) continue;
    uint8_t chunk[65536];
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      capture.ended = true;
      break;
    }
    buffer.insert(buffer.end(), chunk, chunk + n);
    for (;;) {
      static const uint8_t kMagic[] = {'R', 'O', 'V', 'O', 'd'};
      auto at = std::search(buffer.begin(), buffer.end(), kMagic, kMagic + 5);
      const size_t skip = static_cast<size_t>(at - buffer.begin());
      // Keep a possible partial marker at the end for the next read.
      const size_t drop = at == buffer.end() ? (buffer.size() > 4 ? buffer.size() - 4 : 0) : skip;
      capture.skipped += drop;
      buffer.erase(buffer.begin(), buffer.begin() + drop);
      if (at == buffer.end() || buffer.size() < 8) break;
      const size_t length = (size_t{buffer[5]} << 16) | (size_t{buffer[6]} << 8) | buffer[7];
      if (buffer.size() < 8 + length) break;
      capture.packets.push_back({std::vector<uint8_t>(buffer.begin() + 8, buffer.begin() + 8 + length),
                                 Clock::now()});
      buffer.erase(buffer.begin(), buffer.begin() + 8 + length);
      if (capture.packets.size() == count) break;
    }
  }
  return capture;
}

// Decodes a payload that must be a clean pattern picture; returns its number.
int64_t CleanFrameNumber(const std::vector<uint8_t>& payload) {
  if (payload.size() < 4 || payload[0] != 0xFF || payload[1] != 0xD8 ||
      payload[payload.size() - 2] != 0xFF || payload[payload.size() - 1] != 0xD9) {
    ADD_FAILURE() << "payload without SOI/EOI";
    return -1;
  }
  DecodedJpeg decoded;
  std::string error;
  if (!DecodeJpeg(payload.data(), payload.size(), &decoded, &error) || decoded.warnings != 0) {
    ADD_FAILURE() << "payload does not decode cleanly: " << error << decoded.first_warning;
    return -1;
  }
  return ReadFrameNumber(decoded.rgb.data(), decoded.width, decoded.height);
}

// Undecodable, decoded only with warnings, or far from the picture it should be.
bool IsBroken(const std::vector<uint8_t>& payload, uint64_t frame) {
  DecodedJpeg decoded;
  std::string error;
  if (!DecodeJpeg(payload.data(), payload.size(), &decoded, &error)) return true;
  if (decoded.warnings > 0) return true;
  Picture expected;
  RenderPattern(frame, decoded.width, decoded.height, &expected);
  double diff = 0;
  for (size_t i = 0; i < expected.size(); ++i) diff += std::abs(expected[i] - decoded.rgb[i]);
  return diff / expected.size() > 20.0;
}

void ExpectWholeNumberedStream(const std::vector<std::string>& faults, bool expect_garbage) {
  std::vector<std::string> args = {"--fps", "0", "--seed", "11"};
  args.insert(args.end(), faults.begin(), faults.end());
  ServerUnderTest server(args);
  ASSERT_TRUE(server.ok());
  const int fd = Connect(server.port());
  ASSERT_GE(fd, 0);
  const Capture capture = Receive(fd, 40);
  close(fd);
  ASSERT_EQ(capture.packets.size(), 40u);
  for (size_t i = 0; i < capture.packets.size(); ++i) {
    EXPECT_EQ(CleanFrameNumber(capture.packets[i].payload), int64_t(i)) << "packet " << i;
  }
  if (expect_garbage) {
    EXPECT_GT(capture.skipped, 40u);
  } else {
    EXPECT_EQ(capture.skipped, 0u);
  }
}

TEST(Stream, PlainStreamIsWholeNumberedPackets) { ExpectWholeNumberedStream({}, false); }
TEST(Stream, SplitWritesKeepPacketsWhole) { ExpectWholeNumberedStream({"--split-writes"}, false); }
TEST(Stream, GarbageBetweenPacketsIsSkippable) { ExpectWholeNumberedStream({"--garbage"}, true); }
TEST(Stream, SplitWritesWithGarbage) {
  ExpectWholeNumberedStream({"--split-writes", "--garbage"}, true);
}

TEST(Stream, CorruptEveryDamagesExactlyThoseFrames) {
  int truncated = 0, scrambled = 0;
  for (const char* seed : {"1", "2", "3"}) {
    ServerUnderTest server({"--fps", "0", "--corrupt-every", "3", "--seed", seed});
    ASSERT_TRUE(server.ok());
    const int fd = Connect(server.port());
    ASSERT_GE(fd, 0);
    const Capture capture = Receive(fd, 12);
    close(fd);
    ASSERT_EQ(capture.packets.size(), 12u);
    EXPECT_EQ(capture.skipped, 0u);
    for (uint64_t i = 0; i < 12; ++i) {
      const std::vector<uint8_t>& payload = capture.packets[i].payload;
      if ((i + 1) % 3 == 0) {
        EXPECT_TRUE(IsBroken(payload, i)) << "seed " << seed << " frame " << i;
        const bool has_end = payload.size() >= 2 && payload[payload.size() - 2] == 0xFF &&
                             payload.back() == 0xD9;
        ++(has_end ? scrambled : truncated);
      } else {
        EXPECT_EQ(CleanFrameNumber(payload), int64_t(i)) << "seed " << seed;
      }
    }
  }
  EXPECT_GT(truncated, 0);
  EXPECT_GT(scrambled, 0);
}

TEST(Stream, CloseAfterEndsEachConnectionAndCountingGoesOn) {
  ServerUnderTest server({"--fps", "0", "--close-after", "3"});
  ASSERT_TRUE(server.ok());
  for (int connection = 0; connection < 2; ++connection) {
    const int fd = Connect(server.port());
    ASSERT_GE(fd, 0);
    const Capture capture = Receive(fd, 100);
    close(fd);
    EXPECT_TRUE(capture.ended);
    ASSERT_EQ(capture.packets.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(CleanFrameNumber(capture.packets[i].payload), connection * 3 + i);
    }
  }
}

TEST(Stream, FramesTotalWithOnceEndsTheServer) {
  ServerUnderTest server({"--fps", "0", "--frames-total", "5", "--once"});
  ASSERT_TRUE(server.ok());
  const int fd = Connect(server.port());
  ASSERT_GE(fd, 0);
  const Capture capture = Receive(fd, 100);
  close(fd);
  EXPECT_TRUE(capture.ended);
  EXPECT_EQ(capture.packets.size(), 5u);
  EXPECT_TRUE(server.WaitForExit(std::chrono::seconds(3)));
}

TEST(Stream, StallPausesTheStreamThenItContinues) {
  ServerUnderTest server({"--fps", "0", "--stall", "0.4", "--stall-after", "2"});
  ASSERT_TRUE(server.ok());
  const int fd = Connect(server.port());
  ASSERT_GE(fd, 0);
  const Capture capture = Receive(fd, 4);
  close(fd);
  ASSERT_EQ(capture.packets.size(), 4u);
  EXPECT_FALSE(capture.ended);
  const auto gap = capture.packets[2].arrived - capture.packets[1].arrived;
  EXPECT_GE(gap, std::chrono::milliseconds(300));
  EXPECT_EQ(CleanFrameNumber(capture.packets[3].payload), 3);
}

TEST(Notice, TextFormAndPayloadChoice) {
  NoticeContent content;
  content.endpoint = {0x7F000001u, 1234};
  content.port2 = 1235;
  EXPECT_EQ(BuildTextNotice(content), "ppp:1:1234:1235:7F000001");
  content.endpoint = {0x0A00FE01u, 80};
  content.port2 = 65535;
  EXPECT_EQ(BuildTextNotice(content), "ppp:1:80:65535:0A00FE01");

  std::string payload, error;
  EXPECT_TRUE(BuildNoticePayload(NoticeForm::kText, content, &payload, &error));
  EXPECT_EQ(payload, "ppp:1:80:65535:0A00FE01");
  EXPECT_TRUE(BuildNoticePayload(NoticeForm::kEncoded, content, &payload, &error));
  EXPECT_EQ(payload, BuildEncodedNotice(content));
}

TEST(Notice, EncodedFormIsTheIpNoticeWireFormat) {
  NoticeContent content;
  content.endpoint = {0xC0A80105u, 1234};  // 192.168.1.5
  content.port2 = 1235;
  EXPECT_EQ(BuildEncodedNotice(content),
            std::string("\x08\x01\x12\x0B", 4) + "192.168.1.5" +
                std::string("\x18\xD2\x09\x20\xD3\x09", 6));
  content.endpoint = {0x7F000001u, 80};
  content.port2 = 65535;
  EXPECT_EQ(BuildEncodedNotice(content),
            std::string("\x08\x01\x12\x09", 4) + "127.0.0.1" +
                std::string("\x18\x50\x20\xFF\xFF\x03", 6));
  EXPECT_EQ(DescribeNoticePayload(NoticeForm::kEncoded, std::string("\x08\x01\xD2", 3)),
            "08 01 D2");
  EXPECT_EQ(DescribeNoticePayload(NoticeForm::kText, "ppp:1"), "ppp:1");
}

TEST(Notice, OnlyLoopbackAndTheGroupAreAllowed) {
  EXPECT_TRUE(IsAllowedNoticeDestination(0x7F000001u));
  EXPECT_TRUE(IsAllowedNoticeDestination(0x7FFFFFFEu));
  EXPECT_TRUE(IsAllowedNoticeDestination(0xE9000001u));
  for (uint32_t address : {0xE9000002u, 0xE0000001u, 0x0A000001u, 0xC0A80001u, 0x80000001u,
                           0x00000000u, 0xFFFFFFFFu, 0x08080808u}) {
    EXPECT_FALSE(IsAllowedNoticeDestination(address)) << std::hex << address;
  }
  std::string error;
  EXPECT_FALSE(SendNotice({0xC0A80001u, 9}, "x", &error));
  EXPECT_NE(error.find("refusing"), std::string::npos);

  Options options;
  std::string message;
  EXPECT_EQ(ParseOptions({"--notice", "192.168.0.1:5000"}, &options, &message),
            ParseOutcome::kError);
  EXPECT_EQ(ParseOptions({"--notice", "233.0.0.1:5000"}, &options, &message), ParseOutcome::kRun);
}

TEST(Notice, DatagramArrivesOnLoopback) {
  const int rx = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(rx, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(rx, reinterpret_cast<sockaddr*>(&addr), &len);
  std::string error;
  ASSERT_TRUE(SendNotice({0x7F000001u, ntohs(addr.sin_port)}, "ppp:1:1234:1235:7F000001", &error))
      << error;
  pollfd pfd{rx, POLLIN, 0};
  ASSERT_EQ(poll(&pfd, 1, 2000), 1);
  char buffer[128] = {};
  const ssize_t n = recv(rx, buffer, sizeof buffer - 1, 0);
  close(rx);
  EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), "ppp:1:1234:1235:7F000001");
}

// A notice from a given loopback address comes from it (the listener tells
// a phone announcing itself from one naming another machine); an address
// off loopback is refused.
TEST(Notice, DatagramComesFromTheGivenAddress) {
  const int rx = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(rx, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(rx, reinterpret_cast<sockaddr*>(&addr), &len);
  std::string error;
  for (uint32_t from : {0x7F000002u, 0x7F000001u}) {
    ASSERT_TRUE(SendNotice({0x7F000001u, ntohs(addr.sin_port)}, "x", &error, from)) << error;
    pollfd pfd{rx, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 2000), 1);
    char buffer[8];
    sockaddr_in sender{};
    socklen_t senderLen = sizeof sender;
    ASSERT_EQ(recvfrom(rx, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender),
                       &senderLen),
              1);
    EXPECT_EQ(ntohl(sender.sin_addr.s_addr), from);
  }
  close(rx);
  EXPECT_FALSE(SendNotice({0x7F000001u, ntohs(addr.sin_port)}, "x", &error, 0xC0A80001u));

  Options options;
  std::string message;
  EXPECT_EQ(ParseOptions({"--notice-from", "192.168.0.1"}, &options, &message),
            ParseOutcome::kError);
  EXPECT_EQ(ParseOptions({"--notice-from", "127.0.0.2"}, &options, &message), ParseOutcome::kRun);
  EXPECT_EQ(options.notice_from, 0x7F000002u);
}

TEST(Options, ValuesAreCheckedAndBothSpellingsWork) {
  Options o;
  std::string message;
  ASSERT_EQ(ParseOptions({"--fps=12.5", "--size", "320x200", "--listen", "127.0.0.2:0",
                          "--corrupt-every", "4", "--garbage"},
                         &o, &message),
            ParseOutcome::kRun)
      << message;
  EXPECT_DOUBLE_EQ(o.fps, 12.5);
  EXPECT_EQ(o.width, 320);
  EXPECT_EQ(o.height, 200);
  EXPECT_EQ(o.listen.address, 0x7F000002u);
  EXPECT_EQ(o.corrupt_every, 4u);
  EXPECT_TRUE(o.garbage);
  EXPECT_FALSE(o.split_writes);
  EXPECT_EQ(o.content, Content::kPattern);
  EXPECT_EQ(o.loop, 0u);
  ASSERT_EQ(ParseOptions({"--content", "camera", "--loop=60"}, &o, &message), ParseOutcome::kRun);
  EXPECT_EQ(o.content, Content::kCamera);
  EXPECT_EQ(o.loop, 60u);

  const std::vector<std::vector<std::string>> bad = {
      {"--size", "20x20"},       {"--size", "640"},          {"--fps", "-1"},
      {"--quality", "0"},        {"--quality", "101"},       {"--corrupt-every", "0"},
      {"--listen", "1.2.3:80"},  {"--listen", "127.0.0.1:70000"}, {"--notice-only"},
      {"--content", "film"},     {"--loop", "0"},
      {"--bogus"},               {"--fps"},                  {"--notice-form", "xml"},
  };
  for (const auto& args : bad) {
    EXPECT_EQ(ParseOptions(args, &o, &message), ParseOutcome::kError) << args[0];
  }
  EXPECT_EQ(ParseOptions({"--help"}, &o, &message), ParseOutcome::kHelp);
}

}  // namespace
}  // namespace phonesim
