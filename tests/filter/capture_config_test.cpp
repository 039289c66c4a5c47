// What the capture pin tells capture applications about itself:
// IAMStreamConfig, IKsPropertySet (its category) and IAMPushSource.

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <cstring>

#include "filter/dshow/media_type.h"
#include "filter/rovo_capture_pin.h"
#include "filter/rovo_filter.h"
#include "tests/filter/support/com_ref.h"

namespace pavix::testing {
namespace {

class CaptureConfig : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        HRESULT hr = S_OK;
        filter_ = static_cast<CRovoFilter*>(CRovoFilter::CreateInstance(nullptr, &hr));
        ASSERT_EQ(S_OK, hr);
        filter_->NonDelegatingAddRef();
        pin_ = static_cast<CRovoCapturePin*>(filter_->GetPin(0));
        IPin* pin = pin_;
        ASSERT_EQ(S_OK, pin->QueryInterface(IID_IAMStreamConfig, config_.PutVoid()));
        ASSERT_EQ(S_OK, pin->QueryInterface(IID_IKsPropertySet, props_.PutVoid()));
        ASSERT_EQ(S_OK, pin->QueryInterface(IID_IAMPushSource, push_.PutVoid()));
    }

    void TearDown() override {
        config_.Reset();
        props_.Reset();
        push_.Reset();
        if (filter_ != nullptr) {
            filter_->NonDelegatingRelease();
        }
        CoUninitialize();
    }

    static void ExpectOfferedFormat(const AM_MEDIA_TYPE& type) {
        EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, type.majortype));
        EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB24, type.subtype));
        EXPECT_TRUE(IsEqualGUID(FORMAT_VideoInfo, type.formattype));
        ASSERT_EQ(88u, type.cbFormat);
        ASSERT_NE(nullptr, type.pbFormat);
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        EXPECT_EQ(480, info->bmiHeader.biWidth);
        EXPECT_EQ(320, info->bmiHeader.biHeight);
        EXPECT_EQ(24, info->bmiHeader.biBitCount);
        EXPECT_EQ(460800u, info->bmiHeader.biSizeImage);
        EXPECT_EQ(300000, info->AvgTimePerFrame);  // the rate the pin delivers
    }

    CRovoFilter* filter_ = nullptr;
    CRovoCapturePin* pin_ = nullptr;
    ComRef<IAMStreamConfig> config_;
    ComRef<IKsPropertySet> props_;
    ComRef<IAMPushSource> push_;
};

TEST_F(CaptureConfig, OneCapabilityOf128Bytes) {
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config_->GetNumberOfCapabilities(&count, &size));
    EXPECT_EQ(1, count);
    EXPECT_EQ(128, size);

    AM_MEDIA_TYPE* type = nullptr;
    BYTE caps[128 + 8];
    std::memset(caps, 0xCC, sizeof(caps));
    ASSERT_EQ(S_OK, config_->GetStreamCaps(0, &type, caps));
    ASSERT_NE(nullptr, type);
    ExpectOfferedFormat(*type);
    DeleteMediaType(type);
    EXPECT_EQ(0xCC, caps[128]) << "wrote past the 128-byte record";

    VIDEO_STREAM_CONFIG_CAPS record;
    std::memcpy(&record, caps, sizeof(record));
    EXPECT_TRUE(IsEqualGUID(FORMAT_VideoInfo, record.guid));
    EXPECT_EQ(0u, record.VideoStandard);
    EXPECT_EQ(480, record.InputSize.cx);
    EXPECT_EQ(320, record.InputSize.cy);
    EXPECT_EQ(0, record.MinCroppingSize.cx);
    EXPECT_EQ(0, record.MaxCroppingSize.cy);
    EXPECT_EQ(0, record.MinOutputSize.cx);
    EXPECT_EQ(480, record.MaxOutputSize.cx);
    EXPECT_EQ(320, record.MaxOutputSize.cy);
    EXPECT_EQ(1, record.OutputGranularityX);
    EXPECT_EQ(1, record.OutputGranularityY);
    EXPECT_EQ(0, record.StretchTapsX);
    EXPECT_EQ(0, record.ShrinkTapsY);
    // One rate, the one delivered: 30 ms a sample.
    EXPECT_EQ(300000, record.MinFrameInterval);
    EXPECT_EQ(300000, record.MaxFrameInterval);
    EXPECT_EQ(0, record.MinBitsPerSecond);
    EXPECT_EQ(110592000, record.MaxBitsPerSecond);

    EXPECT_EQ(S_FALSE, config_->GetStreamCaps(1, &type, caps));
    EXPECT_EQ(E_INVALIDARG, config_->GetStreamCaps(-1, &type, caps));
    EXPECT_EQ(E_POINTER, config_->GetStreamCaps(0, &type, nullptr));
}

TEST_F(CaptureConfig, SetFormatStoresTheTypeButTheOfferStaysTheSame) {
    AM_MEDIA_TYPE* wanted = nullptr;
    ASSERT_EQ(S_OK, config_->GetFormat(&wanted));
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(wanted->pbFormat);
    info->bmiHeader.biWidth = 640;
    info->bmiHeader.biHeight = 480;
    info->bmiHeader.biSizeImage = 640 * 480 * 3;
    EXPECT_EQ(S_OK, config_->SetFormat(wanted));
    DeleteMediaType(wanted);

    // Stored as the pin's type, without a check and without a reconnection...
    const auto* stored = reinterpret_cast<const VIDEOINFOHEADER*>(pin_->CurrentMediaType().pbFormat);
    ASSERT_NE(nullptr, stored);
    EXPECT_EQ(640, stored->bmiHeader.biWidth);
    // ...while everything that describes the offer still says 480 x 320.
    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(S_OK, config_->GetFormat(&current));
    ExpectOfferedFormat(*current);
    AM_MEDIA_TYPE* again = nullptr;
    ASSERT_EQ(S_OK, config_->GetFormat(&again));
    EXPECT_NE(current->pbFormat, again->pbFormat);  // a fresh copy each time
    DeleteMediaType(current);
    DeleteMediaType(again);
    CMediaType offered;
    ASSERT_EQ(S_OK, pin_->GetMediaType(0, &offered));
    ExpectOfferedFormat(offered);

    EXPECT_EQ(E_POINTER, config_->SetFormat(nullptr));
}

TEST_F(CaptureConfig, SetFormatAcceptsATypeThatNamesNoFrameRate) {
    // Capture applications often hand back the offered type with the frame
    // duration cleared: it is stored, and a connection with it is accepted.
    AM_MEDIA_TYPE* wanted = nullptr;
    ASSERT_EQ(S_OK, config_->GetFormat(&wanted));
    reinterpret_cast<VIDEOINFOHEADER*>(wanted->pbFormat)->AvgTimePerFrame = 0;
    EXPECT_EQ(S_OK, config_->SetFormat(wanted));
    const auto* stored = reinterpret_cast<const VIDEOINFOHEADER*>(pin_->CurrentMediaType().pbFormat);
    ASSERT_NE(nullptr, stored);
    EXPECT_EQ(0, stored->AvgTimePerFrame);
    CMediaType asked(*wanted);
    EXPECT_EQ(S_OK, pin_->CheckMediaType(&asked));
    DeleteMediaType(wanted);
}

TEST_F(CaptureConfig, PropertySetNamesTheCaptureCategory) {
    DWORD returned = 0;
    EXPECT_EQ(S_OK, props_->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0,
                                &returned));
    EXPECT_EQ(16u, returned);

    BYTE buffer[17];
    std::memset(buffer, 0xCC, sizeof(buffer));
    returned = 0;
    EXPECT_EQ(E_UNEXPECTED, props_->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0,
                                        buffer, 15, &returned));
    EXPECT_EQ(16u, returned);
    EXPECT_EQ(0xCC, buffer[0]);

    GUID category = GUID_NULL;
    ASSERT_EQ(S_OK, props_->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                sizeof(category), nullptr));
    EXPECT_TRUE(IsEqualGUID(PIN_CATEGORY_CAPTURE, category));

    EXPECT_EQ(E_PROP_ID_UNSUPPORTED, props_->Get(AMPROPSETID_Pin, 1, nullptr, 0, &category,
                                                 sizeof(category), &returned));
    EXPECT_EQ(E_PROP_SET_UNSUPPORTED, props_->Get(PIN_CATEGORY_CAPTURE, 0, nullptr, 0, &category,
                                                  sizeof(category), &returned));
    EXPECT_EQ(E_POINTER, props_->Get(AMPROPSETID_Pin, 0, nullptr, 0, nullptr, 0, nullptr));

    DWORD support = 0;
    EXPECT_EQ(S_OK, props_->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support));
    EXPECT_EQ(static_cast<DWORD>(KSPROPERTY_SUPPORT_GET), support);
    EXPECT_EQ(E_PROP_ID_UNSUPPORTED, props_->QuerySupported(AMPROPSETID_Pin, 1, &support));
    EXPECT_EQ(E_PROP_SET_UNSUPPORTED, props_->QuerySupported(GUID_NULL, 0, &support));
    EXPECT_EQ(E_NOTIMPL, props_->Set(AMPROPSETID_Pin, 0, nullptr, 0, &category, sizeof(category)));
}

TEST_F(CaptureConfig, PushSourceAnswersNotImplementedYetFillsTheFlags) {
    ULONG flags = 0;
    EXPECT_EQ(E_NOTIMPL, push_->GetPushSourceFlags(&flags));
    EXPECT_EQ(static_cast<ULONG>(AM_PUSHSOURCECAPS_INTERNAL_RM), flags);
    REFERENCE_TIME time = 0;
    EXPECT_EQ(E_NOTIMPL, push_->GetLatency(&time));
    EXPECT_EQ(E_NOTIMPL, push_->SetPushSourceFlags(0));
    EXPECT_EQ(E_NOTIMPL, push_->SetStreamOffset(0));
    EXPECT_EQ(E_NOTIMPL, push_->GetStreamOffset(&time));
    EXPECT_EQ(E_NOTIMPL, push_->GetMaxStreamOffset(&time));
    EXPECT_EQ(E_NOTIMPL, push_->SetMaxStreamOffset(0));
}

}  // namespace
}  // namespace pavix::testing
