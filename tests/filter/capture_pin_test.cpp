// The camera filter and its capture pin in this process: the media type it
// offers and accepts, what FillBuffer makes of the shared frame buffer, the
// buffers it asks for, and the interfaces the filter and pin answer.

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "filter/capture_formats.h"
#include "filter/dshow/media_type.h"
#include "filter/rovo_capture_pin.h"
#include "filter/rovo_filter.h"
#include "shared/rovo_filter_clsid.h"
#include "shared/shared_frame_buffer.h"
#include "tests/filter/support/camera_sample_picture.h"
#include "tests/filter/support/com_ref.h"
#include "tests/filter/support/fake_sample.h"
#include "tests/filter/support/shared_block.h"
#include "tools/shmtool/picture.h"

namespace pavix::testing {
namespace {

// A video type as a capture application might propose it.
struct Proposal {
    const char* what;
    GUID major = MEDIATYPE_Video;
    GUID subtype = MEDIASUBTYPE_RGB24;
    GUID format = FORMAT_VideoInfo;
    BOOL fixedSize = TRUE;
    LONG width = 480;
    LONG height = 320;
    WORD bits = 24;
    DWORD compression = BI_RGB;
    long sizeImage = -1;  // -1: consistent with the header
    ULONG formatBytes = sizeof(VIDEOINFOHEADER);
    REFERENCE_TIME frameTime = 0;  // AvgTimePerFrame: none asked for
};

CMediaType MakeType(const Proposal& p) {
    CMediaType type;
    type.majortype = p.major;
    type.subtype = p.subtype;
    type.formattype = p.format;
    type.bFixedSizeSamples = p.fixedSize;
    VIDEOINFOHEADER info = {};
    info.AvgTimePerFrame = p.frameTime;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = p.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = p.bits;
    info.bmiHeader.biCompression = p.compression;
    DWORD stride = ((static_cast<DWORD>(p.width) * p.bits + 31) & ~31u) / 8;
    info.bmiHeader.biSizeImage =
        p.sizeImage >= 0 ? static_cast<DWORD>(p.sizeImage)
                         : stride * static_cast<DWORD>(p.height < 0 ? -p.height : p.height);
    type.lSampleSize = info.bmiHeader.biSizeImage;
    if (p.formatBytes > 0) {
        std::vector<BYTE> block(p.formatBytes > sizeof(info) ? p.formatBytes : sizeof(info), 0);
        std::memcpy(block.data(), &info, sizeof(info));
        type.SetFormat(block.data(), p.formatBytes);
    }
    return type;
}

// Time on the performance counter, in milliseconds.
double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The filter and its pin, made as the class factory makes them.
class CapturePin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(block_.Open());
        quadrants_ = pavix::tools::QuadrantPicture(kPictureWidth, kPictureHeight);
        block_.Publish(quadrants_, 7);
        MakeFilter();
    }

    void TearDown() override {
        DropFilter();
        CoUninitialize();
    }

    void MakeFilter() {
        HRESULT hr = S_OK;
        CUnknown* object = CRovoFilter::CreateInstance(nullptr, &hr);
        ASSERT_EQ(S_OK, hr);
        ASSERT_NE(nullptr, object);
        object->NonDelegatingAddRef();
        filter_ = static_cast<CRovoFilter*>(object);
        ASSERT_EQ(1, filter_->GetPinCount());
        pin_ = static_cast<CRovoCapturePin*>(filter_->GetPin(0));
    }

    void DropFilter() {
        if (filter_ != nullptr) {
            filter_->NonDelegatingRelease();
            filter_ = nullptr;
            pin_ = nullptr;
        }
    }

    IBaseFilter* Base() const { return static_cast<IBaseFilter*>(filter_); }
    IPin* Pin() const { return static_cast<IPin*>(pin_); }

    SharedBlock block_;
    pavix::tools::Picture quadrants_;
    CRovoFilter* filter_ = nullptr;
    CRovoCapturePin* pin_ = nullptr;
};

TEST_F(CapturePin, OffersTwentyFiveTypesThePreferredFirst) {
    CMediaType type;
    ASSERT_EQ(S_OK, pin_->GetMediaType(0, &type));
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, type.majortype));
    EXPECT_TRUE(IsEqualGUID(kSubtypeNV12, type.subtype));
    EXPECT_TRUE(IsEqualGUID(FORMAT_VideoInfo, type.formattype));
    EXPECT_TRUE(type.bFixedSizeSamples);
    EXPECT_FALSE(type.bTemporalCompression);
    EXPECT_EQ(1382400u, type.lSampleSize);
    EXPECT_EQ(nullptr, type.pUnk);
    ASSERT_EQ(88u, type.cbFormat);
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    EXPECT_EQ(40u, info->bmiHeader.biSize);
    EXPECT_EQ(1280, info->bmiHeader.biWidth);
    EXPECT_EQ(720, info->bmiHeader.biHeight);  // YUV: positive, top row first
    EXPECT_EQ(1, info->bmiHeader.biPlanes);
    EXPECT_EQ(12, info->bmiHeader.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(MAKEFOURCC('N', 'V', '1', '2')), info->bmiHeader.biCompression);
    EXPECT_EQ(1382400u, info->bmiHeader.biSizeImage);
    EXPECT_EQ(333333, info->AvgTimePerFrame);  // the 30 a second it delivers
    EXPECT_TRUE(IsRectEmpty(&info->rcSource) && IsRectEmpty(&info->rcTarget));

    CMediaType same;
    ASSERT_EQ(S_OK, pin_->GetMediaType(&same));
    EXPECT_TRUE(same == type);
    CMediaType none;
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pin_->GetMediaType(25, &none));
    EXPECT_EQ(E_INVALIDARG, pin_->GetMediaType(-1, &none));
    EXPECT_EQ(E_POINTER, pin_->GetMediaType(0, nullptr));

    // What a capture application enumerates: all of them, each one the pin
    // accepts, the first RGB24 one 480 x 320 bottom-up.
    ComRef<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, Pin()->EnumMediaTypes(types.Put()));
    AM_MEDIA_TYPE* listed[26] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, types->Next(26, listed, &fetched));
    ASSERT_EQ(25u, fetched);
    EXPECT_TRUE(CMediaType(*listed[0]) == type);
    bool sawRgb24 = false;
    for (ULONG i = 0; i < fetched; ++i) {
        CMediaType listedType(*listed[i]);
        EXPECT_EQ(S_OK, pin_->CheckMediaType(&listedType)) << "type " << i;
        const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(listed[i]->pbFormat);
        if (!sawRgb24 && IsEqualGUID(MEDIASUBTYPE_RGB24, listed[i]->subtype)) {
            sawRgb24 = true;
            EXPECT_EQ(480, header->bmiHeader.biWidth);
            EXPECT_EQ(320, header->bmiHeader.biHeight);
        }
        DeleteMediaType(listed[i]);
    }
    EXPECT_TRUE(sawRgb24);
}

TEST_F(CapturePin, AcceptsEveryOfferedSizeAndFormatInTheirForms) {
    std::vector<Proposal> accepted;
    auto add = [&](Proposal p) { accepted.push_back(p); };
    { Proposal p{"480 x 320 RGB24"}; add(p); }
    { Proposal p{"top-down RGB24"}; p.height = -320; add(p); }
    { Proposal p{"top-down RGB32"}; p.subtype = MEDIASUBTYPE_RGB32; p.bits = 32; p.width = 1920; p.height = -1080; add(p); }
    { Proposal p{"longer format block"}; p.formatBytes = 200; add(p); }
    { Proposal p{"NV12 720p"}; p.subtype = kSubtypeNV12; p.bits = 12; p.compression = MAKEFOURCC('N', 'V', '1', '2'); p.width = 1280; p.height = 720; add(p); }
    { Proposal p{"NV12 without an image size"}; p.subtype = kSubtypeNV12; p.bits = 12; p.compression = MAKEFOURCC('N', 'V', '1', '2'); p.width = 640; p.height = 360; p.sizeImage = 0; add(p); }
    { Proposal p{"I420"}; p.subtype = kSubtypeI420; p.bits = 12; p.compression = MAKEFOURCC('I', '4', '2', '0'); p.width = 640; p.height = 480; add(p); }
    { Proposal p{"IYUV as I420"}; p.subtype = MEDIASUBTYPE_IYUV; p.bits = 12; p.compression = MAKEFOURCC('I', 'Y', 'U', 'V'); p.width = 1920; p.height = 1080; add(p); }
    { Proposal p{"YUY2"}; p.subtype = MEDIASUBTYPE_YUY2; p.bits = 16; p.compression = MAKEFOURCC('Y', 'U', 'Y', '2'); p.width = 640; p.height = 480; add(p); }
    // No frame duration, or any within the capability range: the pin
    // delivers pictures as they come whatever was asked for.
    for (REFERENCE_TIME frameTime : {REFERENCE_TIME{0}, REFERENCE_TIME{333333}, REFERENCE_TIME{666666}, REFERENCE_TIME{10000000}}) {
        Proposal p{"frame duration"};
        p.frameTime = frameTime;
        add(p);
    }
    for (const Proposal& p : accepted) {
        CMediaType type = MakeType(p);
        EXPECT_EQ(S_OK, pin_->CheckMediaType(&type)) << p.what << " " << p.frameTime;
        EXPECT_EQ(S_OK, Pin()->QueryAccept(&type)) << p.what << " " << p.frameTime;
    }
}

TEST_F(CapturePin, RefusesWhatItCannotDeliverCorrectly) {
    std::vector<Proposal> refused;
    auto add = [&](Proposal p) { refused.push_back(p); };
    { Proposal p{"audio"}; p.major = MEDIATYPE_Audio; add(p); }
    { Proposal p{"variable size"}; p.fixedSize = FALSE; add(p); }
    { Proposal p{"UYVY"}; p.subtype = MEDIASUBTYPE_UYVY; p.bits = 16; p.compression = MAKEFOURCC('U', 'Y', 'V', 'Y'); add(p); }
    { Proposal p{"YUY2 with 12 bits"}; p.subtype = MEDIASUBTYPE_YUY2; p.bits = 12; p.compression = MAKEFOURCC('Y', 'U', 'Y', '2'); add(p); }
    { Proposal p{"YUY2 named NV12"}; p.subtype = MEDIASUBTYPE_YUY2; p.bits = 16; p.compression = MAKEFOURCC('N', 'V', '1', '2'); add(p); }
    { Proposal p{"top-down NV12"}; p.subtype = kSubtypeNV12; p.bits = 12; p.compression = MAKEFOURCC('N', 'V', '1', '2'); p.width = 1280; p.height = -720; add(p); }
    { Proposal p{"NV12 image size off"}; p.subtype = kSubtypeNV12; p.bits = 12; p.compression = MAKEFOURCC('N', 'V', '1', '2'); p.width = 1280; p.height = 720; p.sizeImage = 1382401; add(p); }
    { Proposal p{"RGB32 at 24 bits"}; p.subtype = MEDIASUBTYPE_RGB32; p.bits = 24; add(p); }
    { Proposal p{"800 x 600"}; p.width = 800; p.height = 600; add(p); }
    { Proposal p{"1280 x 1080"}; p.width = 1280; p.height = 1080; add(p); }
    { Proposal p{"faster than 30 a second"}; p.frameTime = 300000; add(p); }
    { Proposal p{"slower than one a second"}; p.frameTime = 10000001; add(p); }
    { Proposal p{"VideoInfo2 format"}; p.format = FORMAT_VideoInfo2; add(p); }
    { Proposal p{"format block one byte short"}; p.formatBytes = sizeof(VIDEOINFOHEADER) - 1; add(p); }
    { Proposal p{"no format block"}; p.formatBytes = 0; add(p); }
    { Proposal p{"width 481"}; p.width = 481; add(p); }
    { Proposal p{"320 x 240"}; p.width = 320; p.height = 240; add(p); }
    { Proposal p{"height 321"}; p.height = 321; add(p); }
    { Proposal p{"height -321"}; p.height = -321; add(p); }
    { Proposal p{"height 319"}; p.height = 319; add(p); }
    { Proposal p{"no image size"}; p.sizeImage = 0; add(p); }
    { Proposal p{"image size off by one"}; p.sizeImage = 460801; add(p); }
    { Proposal p{"32 bits in RGB24"}; p.bits = 32; add(p); }
    { Proposal p{"bit fields"}; p.compression = BI_BITFIELDS; add(p); }
    for (const Proposal& p : refused) {
        CMediaType type = MakeType(p);
        EXPECT_EQ(E_INVALIDARG, pin_->CheckMediaType(&type)) << p.what;
        EXPECT_EQ(S_FALSE, Pin()->QueryAccept(&type)) << p.what;
    }
    EXPECT_EQ(E_POINTER, pin_->CheckMediaType(nullptr));
}

TEST_F(CapturePin, FillBufferCopiesThePictureAndStampsEvery30thOfASecond) {
    FakeSample first(kPixelAreaSize);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&first));
    EXPECT_EQ(0, std::memcmp(first.buffer.data(), block_.PixelArea(), kPixelAreaSize));
    EXPECT_EQ(0, first.start);
    EXPECT_EQ(kSampleDuration, first.stop);
    // The bytes as a bottom-up bitmap show the picture upright.
    pavix::tools::Picture seen;
    ASSERT_TRUE(pavix::tools::SampleToPicture(first.buffer.data(), first.buffer.size(), 480, 320, &seen));
    EXPECT_EQ(quadrants_.bgr, seen.bgr);

    // The next one follows on, unless this thread was held up for more
    // than two periods (a loaded machine), when it is stamped from now.
    FakeSample second(kPixelAreaSize);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&second));
    EXPECT_GE(second.start, kSampleDuration);
    EXPECT_EQ(second.start + kSampleDuration, second.stop);
}

TEST_F(CapturePin, StampsStartAgainAtZeroWithEveryRun) {
    for (int run = 0; run < 3; ++run) {
        // What the base class does when a stop and a pause start a new
        // streaming thread.
        ASSERT_EQ(S_OK, pin_->OnThreadCreate());
        // Each sample starts where the last one stopped, or later where
        // this thread was held up for more than two periods.
        REFERENCE_TIME earliest = 0;
        for (int n = 0; n < 3; ++n) {
            FakeSample sample(kPixelAreaSize);
            ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
            if (n == 0) {
                EXPECT_EQ(0, sample.start) << "run " << run;
            }
            EXPECT_GE(sample.start, earliest) << "run " << run << " sample " << n;
            EXPECT_EQ(sample.start + kSampleDuration, sample.stop) << "run " << run << " sample " << n;
            earliest = sample.stop;
        }
    }
}

TEST_F(CapturePin, SamplesGoOutWhenTheirStampsSayNeverEarlier) {
    // From the start of a run, sample n leaves no earlier than n x 1/30 s
    // after the first: the rate the stamps claim, and no faster.
    ASSERT_EQ(S_OK, pin_->OnThreadCreate());
    double begin = NowMs();
    for (int n = 0; n <= 10; ++n) {
        FakeSample sample(kPixelAreaSize);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
        double elapsedMs = NowMs() - begin;
        EXPECT_GE(sample.start, n * kSampleDuration);  // later only after a hold-up
        EXPECT_GE(elapsedMs, sample.start / 10000.0 - 1.0) << "sample " << n << " went out early";
    }
}

TEST_F(CapturePin, AfterAStallTheStampsJumpToNowWithoutABurst) {
    // Delivering held the thread up for 1.5 s: the next sample goes at once,
    // stamped from now, and the ones after it keep the 1/30 s rhythm from
    // there. No burst of overdue copies of one picture (catching up on the
    // stamps would send 45 back to back).
    ASSERT_EQ(S_OK, pin_->OnThreadCreate());
    FakeSample first(kPixelAreaSize);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&first));
    Sleep(1500);
    std::vector<REFERENCE_TIME> starts;
    double afterStallMs = 0;
    for (int n = 1; n <= 6; ++n) {
        FakeSample sample(kPixelAreaSize);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
        if (n == 1) afterStallMs = NowMs();
        EXPECT_EQ(kSampleDuration, sample.stop - sample.start) << "sample " << n;
        if (!starts.empty()) {
            EXPECT_GE(sample.start, starts.back() + kSampleDuration) << "sample " << n;
        }
        starts.push_back(sample.start);
    }
    EXPECT_GE(starts.front(), 15000000) << "the stamps did not jump to now after the stall";
    // Five more samples at their own pace: at least 5 x 33.3 ms (1 ms for
    // the timer's rounding).
    EXPECT_GE(NowMs() - afterStallMs, 165.0) << "overdue samples went out in a burst";
}

TEST_F(CapturePin, WhileTheWriterIsAtWorkThePinSendsTheLastWholePicture) {
    uint32_t* sequence = block_.Sequence();
    ASSERT_NE(nullptr, sequence);
    FakeSample whole(kPixelAreaSize);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&whole));
    EXPECT_EQ(0, std::memcmp(whole.buffer.data(), block_.PixelArea(), kPixelAreaSize));

    // The writer half-way through the next picture: the count is odd.
    *sequence += 1;
    std::memset(block_.PixelArea(), 0x33, kPixelAreaSize / 2);
    FakeSample during(kPixelAreaSize);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&during));
    EXPECT_TRUE(during.buffer == whole.buffer) << "a half-written picture went out";

    // Done: the count is even again and the new picture goes out.
    std::memset(block_.PixelArea(), 0x33, kPixelAreaSize);
    *sequence += 1;
    FakeSample after(kPixelAreaSize);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&after));
    EXPECT_EQ(std::vector<uint8_t>(kPixelAreaSize, 0x33), after.buffer);
}

TEST_F(CapturePin, TopDownConnectionGetsTheRowsReversed) {
    Proposal topDown{"top-down"};
    topDown.height = -320;
    CMediaType top = MakeType(topDown);
    ASSERT_EQ(S_OK, pin_->SetMediaType(&top));
    FakeSample sample(kPixelAreaSize);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
    pavix::tools::Picture seen;
    ASSERT_TRUE(pavix::tools::SampleToPicture(sample.buffer.data(), sample.buffer.size(), 480, -320, &seen));
    EXPECT_EQ(quadrants_.bgr, seen.bgr) << "top-down sample not upright";
}

TEST_F(CapturePin, LargerSampleGetsThePictureThenZeros) {
    FakeSample big(kSharedFrameBufferSize + 1000);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&big));
    EXPECT_EQ(0, std::memcmp(big.buffer.data(), block_.PixelArea(), kPixelAreaSize));
    for (size_t i = kPixelAreaSize; i < big.buffer.size(); ++i) {
        ASSERT_EQ(0, big.buffer[i]) << "byte " << i;
    }
}

TEST_F(CapturePin, ShutdownWordEndsTheStreamWithoutTouchingTheSample) {
    block_.SetFrameWord(STATUS_SHUTDOWN);
    FakeSample sample(kPixelAreaSize);
    EXPECT_EQ(S_FALSE, pin_->FillBuffer(&sample));
    EXPECT_EQ(0, sample.setTimes);
    EXPECT_EQ(0xEE, sample.buffer[0]);
    // Every other word streams, -2 included; the stamps did not move.
    block_.SetFrameWord(STATUS_NO_LINK);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
    EXPECT_EQ(0, sample.start);
    EXPECT_EQ(E_POINTER, pin_->FillBuffer(nullptr));
}

struct FillCall {
    CRovoCapturePin* pin;
    FakeSample sample{kPixelAreaSize};
    HRESULT result = E_FAIL;
};

DWORD WINAPI FillOnThread(LPVOID p) {
    auto* call = static_cast<FillCall*>(p);
    call->result = call->pin->FillBuffer(&call->sample);
    return 0;
}

TEST_F(CapturePin, FillBufferNeverWaitsForTheFilterLock) {
    // A stop holds the filter lock while it waits for the streaming thread.
    FillCall call{pin_};
    CAutoLock held(filter_->pStateLock());
    HANDLE thread = CreateThread(nullptr, 0, FillOnThread, &call, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    DWORD waited = WaitForSingleObject(thread, 20000);
    EXPECT_EQ(WAIT_OBJECT_0, waited) << "FillBuffer waited for the filter lock";
    if (waited != WAIT_OBJECT_0) {
        TerminateThread(thread, 1);  // never leave the thread on a lock we hold
    }
    CloseHandle(thread);
    EXPECT_EQ(S_OK, call.result);
}

TEST_F(CapturePin, WithoutTheBlockThePinStreamsBlack) {
    DropFilter();
    block_.Close();
    BlockNameTaken taken;
    ASSERT_TRUE(taken.Taken()) << "another process holds the shared block";
    MakeFilter();
    FakeSample sample(kPixelAreaSize);
    ASSERT_EQ(S_OK, pin_->FillBuffer(&sample));
    for (size_t i = 0; i < sample.buffer.size(); ++i) {
        ASSERT_EQ(0, sample.buffer[i]) << "byte " << i;
    }
    EXPECT_EQ(0, sample.start);
    EXPECT_EQ(kSampleDuration, sample.stop);
}

TEST_F(CapturePin, AsksForWholePicturesAndRefusesSmallerBuffers) {
    // Each type's own image size, whatever the peer asked for.
    const struct {
        int index;
        long bytes;
    } sizes[] = {{0, 1382400}, {1, 3110400}, {12, 614400}, {15, 460800}, {20, 3686400}, {24, 614400}};
    FakeAllocator allocator;
    for (const auto& size : sizes) {
        CMediaType offered;
        ASSERT_EQ(S_OK, pin_->GetMediaType(size.index, &offered));
        ASSERT_EQ(S_OK, pin_->SetMediaType(&offered));
        ALLOCATOR_PROPERTIES request = {};
        request.cbBuffer = 100;
        ASSERT_EQ(S_OK, pin_->DecideBufferSize(&allocator, &request));
        EXPECT_EQ(size.bytes, allocator.asked.cbBuffer) << "type " << size.index;
    }

    CMediaType preferred;
    ASSERT_EQ(S_OK, pin_->GetMediaType(0, &preferred));
    ASSERT_EQ(S_OK, pin_->SetMediaType(&preferred));
    ALLOCATOR_PROPERTIES request = {};
    request.cbAlign = 4;
    request.cbPrefix = 8;
    ASSERT_EQ(S_OK, pin_->DecideBufferSize(&allocator, &request));
    EXPECT_EQ(1382400, allocator.asked.cbBuffer);
    EXPECT_EQ(2, allocator.asked.cBuffers);  // see DecideBufferSize: one is not enough under Wine
    EXPECT_EQ(4, allocator.asked.cbAlign);
    EXPECT_EQ(8, allocator.asked.cbPrefix);

    request.cBuffers = 5;  // a peer that wants more gets them
    ASSERT_EQ(S_OK, pin_->DecideBufferSize(&allocator, &request));
    EXPECT_EQ(5, allocator.asked.cBuffers);

    allocator.maxBuffer = 1382399;
    EXPECT_EQ(E_FAIL, pin_->DecideBufferSize(&allocator, &request));
    allocator.failure = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, pin_->DecideBufferSize(&allocator, &request));
    EXPECT_EQ(E_POINTER, pin_->DecideBufferSize(nullptr, &request));
    EXPECT_EQ(E_POINTER, pin_->DecideBufferSize(&allocator, nullptr));
}

TEST_F(CapturePin, EachConnectedTypeGetsTheBlockPictureUprightAndWhole) {
    // Scaled up and down, cropped either way, in every format; RGB both
    // ways up. The quadrants' centres show their colours where they were.
    const CameraType types[] = {
        {CameraFormat::NV12, 1280, 720},  {CameraFormat::I420, 1920, 1080},
        {CameraFormat::YUY2, 640, 480},   {CameraFormat::RGB24, 640, 360},
        {CameraFormat::RGB32, 640, 480, true}, {CameraFormat::RGB24, 1280, 720, true},
    };
    for (const CameraType& type : types) {
        const std::string where = std::to_string(type.width) + "x" + std::to_string(type.height) +
                                  " format " + std::to_string(static_cast<int>(type.format));
        AM_MEDIA_TYPE* media = CreateCaptureMediaType(type);
        ASSERT_NE(nullptr, media);
        CMediaType connected(*media);
        DeleteMediaType(media);
        ASSERT_EQ(S_OK, pin_->SetMediaType(&connected)) << where;

        const std::size_t bytes = CameraImageSize(type);
        FakeSample sample(bytes);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&sample)) << where;
        pavix::tools::Picture seen;
        ASSERT_TRUE(CameraSampleToPicture(sample.buffer.data(), sample.buffer.size(), type, &seen));
        ExpectQuadrantCentres(seen, where);

        // A sample too small for the type is left as it was.
        FakeSample small(bytes - 1);
        ASSERT_EQ(S_OK, pin_->FillBuffer(&small)) << where;
        EXPECT_EQ(std::vector<uint8_t>(bytes - 1, 0xEE), small.buffer) << where;
    }
}

TEST_F(CapturePin, PausedLiveSourceCannotCue) {
    FILTER_STATE state;
    EXPECT_EQ(S_OK, Base()->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
    ASSERT_EQ(S_OK, Base()->Pause());
    EXPECT_EQ(VFW_S_CANT_CUE, Base()->GetState(INFINITE, &state));
    EXPECT_EQ(State_Paused, state);
    ASSERT_EQ(S_OK, Base()->Run(0));
    EXPECT_EQ(S_OK, Base()->GetState(0, &state));
    EXPECT_EQ(State_Running, state);
    ASSERT_EQ(S_OK, Base()->Stop());
    EXPECT_EQ(E_POINTER, Base()->GetState(0, nullptr));
}

TEST_F(CapturePin, FilterAndPinAnswerTheirInterfacesOnly) {
    for (REFIID iid : {IID_IUnknown, IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_IAMovieSetup}) {
        ComRef<IUnknown> answer;
        EXPECT_EQ(S_OK, Base()->QueryInterface(iid, answer.PutVoid()));
    }
    for (REFIID iid : {IID_IAMStreamConfig, IID_IKsPropertySet, IID_IAMPushSource, IID_IPin}) {
        ComRef<IUnknown> answer;
        EXPECT_EQ(E_NOINTERFACE, Base()->QueryInterface(iid, answer.PutVoid()));
    }
    for (REFIID iid : {IID_IUnknown, IID_IPin, IID_IQualityControl, IID_IAMStreamConfig,
                       IID_IKsPropertySet, IID_IAMPushSource}) {
        ComRef<IUnknown> answer;
        EXPECT_EQ(S_OK, Pin()->QueryInterface(iid, answer.PutVoid()));
    }
    for (REFIID iid : {IID_IAMLatency, IID_IAMStreamControl, IID_IBaseFilter, IID_IMemInputPin}) {
        ComRef<IUnknown> answer;
        EXPECT_EQ(E_NOINTERFACE, Pin()->QueryInterface(iid, answer.PutVoid()));
    }
    // The added interfaces are the pin's: same identity, counted on the filter.
    ComRef<IKsPropertySet> props;
    ASSERT_EQ(S_OK, Pin()->QueryInterface(IID_IKsPropertySet, props.PutVoid()));
    ComRef<IPin> back = props.As<IPin>(IID_IPin);
    EXPECT_EQ(Pin(), back.Get());
    ULONG before = RefCount(Base());
    props->AddRef();
    EXPECT_EQ(before + 1, RefCount(Base()));
    props->Release();

    CLSID clsid;
    ASSERT_EQ(S_OK, Base()->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_RovoFilter, clsid));
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, Pin()->QueryId(&id));
    EXPECT_STREQ(L"Capture", id);
    CoTaskMemFree(id);
    Quality quality = {};
    EXPECT_EQ(E_NOTIMPL, pin_->Notify(Base(), quality));
    EXPECT_EQ(E_NOTIMPL, pin_->SetSink(nullptr));
}

}  // namespace
}  // namespace pavix::testing
