// The capture pin streaming from the HD picture block: each picture goes
// out once, as soon as it is there, stamped with when it arrived; the last
// one again every 100 ms while the phone pauses; a request slot held while
// streaming; the block found when pavix.exe starts after the camera.

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "filter/dshow/media_type.h"
#include "filter/rovo_capture_pin.h"
#include "filter/rovo_filter.h"
#include "shared/shared_frame_buffer.h"
#include "tests/filter/support/fake_sample.h"
#include "tests/filter/support/hd_block_writer.h"
#include "tests/filter/support/shared_block.h"
#include "tools/shmtool/picture.h"

namespace pavix::testing {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr size_t kNv12Size = kWidth * kHeight * 3 / 2;

// Picture n is grey level LevelOf(n): consecutive pictures differ.
std::uint8_t LevelOf(std::uint64_t n) { return static_cast<std::uint8_t>(30 + (n * 37) % 190); }

// The picture number a sample shows, from its luma; 0: none (the
// pictures are uniform, PavixShMem's test picture is not).
std::uint64_t NumberIn(const FakeSample& sample, std::uint64_t upTo) {
    const std::vector<uint8_t>& y = sample.buffer;
    if (y[0] != y[kWidth * kHeight / 2 + kWidth / 2] || y[0] != y[kWidth * kHeight - 1]) return 0;
    for (std::uint64_t n = 1; n <= upTo; ++n) {
        if (sample.buffer[0] == LevelOf(n)) return n;
    }
    return 0;
}

CMediaType Nv12Type(REFERENCE_TIME frameTime = 333333) {
    CMediaType type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = {0x3231564E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = kNv12Size;
    VIDEOINFOHEADER info = {};
    info.AvgTimePerFrame = frameTime;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 12;
    info.bmiHeader.biCompression = MAKEFOURCC('N', 'V', '1', '2');
    info.bmiHeader.biSizeImage = kNv12Size;
    type.SetFormat(reinterpret_cast<BYTE*>(&info), sizeof(info));
    return type;
}

double NowMs() {
    return static_cast<double>(HdBlockWriter::Now()) * 1000.0 /
           static_cast<double>(HdBlockWriter::Frequency());
}

class HdDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(block_.Open());
        // Frame word 0: PavixShMem holds no phone picture, so any HD picture
        // is current (a test of that rule sets its own).
        block_.Publish(pavix::tools::QuadrantPicture(kPictureWidth, kPictureHeight), 0);
    }

    void TearDown() override {
        DropFilter();
        CoUninitialize();
    }

    // The filter with its pin connected (as far as the pin knows) at
    // 1280 x 720 NV12 and its streaming thread started.
    void MakeStreamingPin(REFERENCE_TIME frameTime = 333333) {
        HRESULT hr = S_OK;
        CUnknown* object = CRovoFilter::CreateInstance(nullptr, &hr);
        ASSERT_EQ(S_OK, hr);
        object->NonDelegatingAddRef();
        filter_ = static_cast<CRovoFilter*>(object);
        pin_ = static_cast<CRovoCapturePin*>(filter_->GetPin(0));
        CMediaType type = Nv12Type(frameTime);
        ASSERT_EQ(S_OK, pin_->CheckMediaType(&type));
        ASSERT_EQ(S_OK, pin_->SetMediaType(&type));
        ASSERT_EQ(S_OK, pin_->OnThreadCreate());
    }

    void DropFilter() {
        if (filter_ == nullptr) return;
        pin_->OnThreadDestroy();
        filter_->NonDelegatingRelease();
        filter_ = nullptr;
        pin_ = nullptr;
    }

    SharedBlock block_;
    CRovoFilter* filter_ = nullptr;
    CRovoCapturePin* pin_ = nullptr;
};

TEST_F(HdDelivery, EachPictureGoesOutOnceAsSoonAsItArrives) {
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    MakeStreamingPin();
    ASSERT_NE(0u, writer.Request().liveSlots) << "the streaming pin holds no request slot";

    // The phone: 40 pictures, one every 33 ms, each published as it comes.
    constexpr std::uint64_t kPictures = 40;
    std::atomic<bool> done{false};
    writer.Publish(kWidth, kHeight, LevelOf(1), 128, 128, 1);
    std::thread phone([&] {
        for (std::uint64_t n = 2; n <= kPictures; ++n) {
            Sleep(33);
            writer.Publish(kWidth, kHeight, LevelOf(n), 128, 128, n);
        }
        done = true;
    });
    std::vector<std::uint64_t> seen;
    std::vector<double> atMs;
    const double begin = NowMs();
    while (!done && NowMs() - begin < 20000) {
        FakeSample sample(kNv12Size);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
        seen.push_back(NumberIn(sample, kPictures));
        atMs.push_back(NowMs());
    }
    phone.join();

    // Every sample is a new picture, except where the phone's thread was
    // held up past the 100 ms repeat (a loaded machine).
    int fresh = 0;
    for (size_t i = 0; i < seen.size(); ++i) {
        ASSERT_NE(0u, seen[i]) << "sample " << i << " is no picture of the phone";
        if (i == 0 || seen[i] != seen[i - 1]) {
            if (i > 0) {
                EXPECT_GT(seen[i], seen[i - 1]) << "sample " << i << " went back in time";
            }
            ++fresh;
            continue;
        }
        EXPECT_GE(atMs[i] - atMs[i - 1], 90.0) << "sample " << i << " repeated picture "
                                                << seen[i] << " without waiting for the next";
    }
    // Pictures are not skipped while the pin keeps up (a few may be on a
    // machine that holds this thread up for two picture times).
    EXPECT_GE(fresh, static_cast<int>(kPictures) - 4) << "pictures were not delivered";
}

TEST_F(HdDelivery, StampsAreThePicturesArrivalTimes) {
    // Pictures that arrived 40 ms and 25 ms apart (after the run began),
    // published together: the samples' stamps keep those distances, however
    // long after its arrival each one went out.
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    MakeStreamingPin();
    Sleep(100);
    const std::int64_t perMs = HdBlockWriter::Frequency() / 1000;
    const std::int64_t first = HdBlockWriter::Now() - 90 * perMs;
    const std::int64_t arrivals[] = {first, first + 40 * perMs, first + 65 * perMs};
    std::vector<REFERENCE_TIME> starts;
    for (std::uint64_t n = 1; n <= 3; ++n) {
        writer.Publish(kWidth, kHeight, LevelOf(n), 128, 128, n, arrivals[n - 1]);
        FakeSample sample(kNv12Size);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
        ASSERT_EQ(n, NumberIn(sample, 3));
        EXPECT_EQ(333333, sample.stop - sample.start);
        starts.push_back(sample.start);
    }
    EXPECT_GT(starts[0], 0);
    // Within 1 ms: the age is read a moment before the stamp is made.
    EXPECT_NEAR(400000, starts[1] - starts[0], 10000);
    EXPECT_NEAR(250000, starts[2] - starts[1], 10000);
}

TEST_F(HdDelivery, WhileThePhonePausesTheLastPictureGoesOutEvery100Ms) {
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    MakeStreamingPin();
    writer.Publish(kWidth, kHeight, LevelOf(5), 128, 128, 5);
    double last = 0;
    REFERENCE_TIME lastStart = -1;
    for (int i = 0; i < 4; ++i) {
        FakeSample sample(kNv12Size);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
        const double now = NowMs();
        EXPECT_EQ(5u, NumberIn(sample, 5)) << "sample " << i;
        EXPECT_GT(sample.start, lastStart) << "sample " << i;
        if (i > 0) {
            EXPECT_GE(now - last, 90.0) << "repeat " << i << " came too soon";
            EXPECT_LT(now - last, 1000.0) << "repeat " << i << " came far too late";
        }
        last = now;
        lastStart = sample.start;
    }
}

TEST_F(HdDelivery, TheSlotAsksForTheConnectionsSizeAndIsGivenBack) {
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    EXPECT_EQ(0u, writer.Request().liveSlots);
    MakeStreamingPin();
    const CameraRequest asked = writer.Request();
    EXPECT_EQ(kWidth, asked.width);
    EXPECT_EQ(kHeight, asked.height);
    DropFilter();
    EXPECT_EQ(0u, writer.Request().liveSlots) << "the stopped pin kept its slot";
}

TEST_F(HdDelivery, ACameraOpenedBeforePavixMovesToTheBlockOnceItIsThere) {
    MakeStreamingPin();
    // No HD block: the PavixShMem picture, scaled.
    FakeSample before(kNv12Size);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&before));
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    writer.Publish(kWidth, kHeight, LevelOf(9), 128, 128, 9);
    const double begin = NowMs();
    std::uint64_t shown = 0;
    while (shown != 9 && NowMs() - begin < 10000) {
        FakeSample sample(kNv12Size);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
        shown = NumberIn(sample, 9);
        if (shown != 9 && writer.Request().liveSlots != 0) {
            writer.Publish(kWidth, kHeight, LevelOf(9), 128, 128, 9);
        }
    }
    EXPECT_EQ(9u, shown) << "the camera never found the HD block";
}

TEST_F(HdDelivery, ACameraThatStartsWhileThePhoneStreamsWaitsForACurrentPicture) {
    // The HD block holds the start-up picture (no camera asked for the
    // phone's pictures yet) while PavixShMem shows phone picture 120: the
    // first sample is PavixShMem's picture, not the stale one, and the HD
    // pictures take over from the first current one.
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    writer.Publish(kWidth, kHeight, LevelOf(1), 128, 128, 1, 0, STATUS_STARTUP);
    block_.SetFrameWord(120);
    MakeStreamingPin();
    FakeSample first(kNv12Size);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&first));
    EXPECT_EQ(0u, NumberIn(first, 3)) << "the stale start-up picture went out";
    writer.Publish(kWidth, kHeight, LevelOf(2), 128, 128, 2, 0, 121);
    block_.SetFrameWord(121);
    FakeSample next(kNv12Size);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&next));
    EXPECT_EQ(2u, NumberIn(next, 3));
}

TEST_F(HdDelivery, AConnectionAtALowerRateGetsNoMorePicturesThanItAskedFor) {
    // 15 pictures a second asked for while the phone sends 30: a sample
    // once a frame time (a few milliseconds early at most), the newest
    // picture then.
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    MakeStreamingPin(666666);
    writer.Publish(kWidth, kHeight, LevelOf(1), 128, 128, 1);
    std::atomic<bool> done{false};
    std::thread phone([&] {
        for (std::uint64_t n = 2; n <= 30; ++n) {
            Sleep(33);
            writer.Publish(kWidth, kHeight, LevelOf(n), 128, 128, n);
        }
        done = true;
    });
    std::vector<double> atMs;
    std::vector<std::uint64_t> seen;
    while (!done) {
        FakeSample sample(kNv12Size);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
        atMs.push_back(NowMs());
        seen.push_back(NumberIn(sample, 30));
    }
    phone.join();
    ASSERT_GE(seen.size(), 5u);
    for (size_t i = 1; i < atMs.size(); ++i) {
        EXPECT_GE(atMs[i] - atMs[i - 1], 58.0) << "sample " << i << " came faster than asked for";
    }
    // About 15 of the phone's 30 pictures in its second (a loaded machine
    // may hold this thread up for a few).
    EXPECT_LE(seen.size(), 18u);
    EXPECT_GE(seen.size(), 10u);
}

}  // namespace
}  // namespace pavix::testing
