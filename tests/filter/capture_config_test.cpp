// What the capture pin tells capture applications about itself:
// IAMStreamConfig (its types, their capability records, the type chosen for
// the next connection), IKsPropertySet (its category) and IAMPushSource.

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <cstring>

#include "filter/capture_formats.h"
#include "filter/dshow/media_type.h"
#include "filter/rovo_capture_pin.h"
#include "filter/rovo_filter.h"
#include "tests/filter/support/com_ref.h"
#include "tests/filter/support/fake_input_pin.h"

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

    // What a media type handed out says, against the camera type it names.
    static void ExpectType(const CameraType& want, const AM_MEDIA_TYPE& type) {
        CameraType got;
        ASSERT_TRUE(CameraTypeOf(type, &got)) << "a type the pin would not accept";
        EXPECT_TRUE(SameCameraType(want, got))
            << want.width << "x" << want.height << " format " << static_cast<int>(want.format)
            << " came as " << got.width << "x" << got.height << " format "
            << static_cast<int>(got.format);
        ASSERT_EQ(88u, type.cbFormat);
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        EXPECT_EQ(333333, info->AvgTimePerFrame);  // the 30 a second delivered
        EXPECT_EQ(CameraImageSize(want), info->bmiHeader.biSizeImage);
        EXPECT_EQ(CameraImageSize(want), type.lSampleSize);
    }

    CRovoFilter* filter_ = nullptr;
    CRovoCapturePin* pin_ = nullptr;
    ComRef<IAMStreamConfig> config_;
    ComRef<IKsPropertySet> props_;
    ComRef<IAMPushSource> push_;
};

// A whole media type of `type` on the stack, as a client hands one in.
struct ClientType {
    VIDEOINFOHEADER header;
    AM_MEDIA_TYPE type;
    explicit ClientType(const CameraType& camera) : header(VideoInfoOf(camera)), type(MediaTypeOf(camera)) {
        type.cbFormat = sizeof(header);
        type.pbFormat = reinterpret_cast<BYTE*>(&header);
    }
    ClientType(const ClientType&) = delete;
};

TEST_F(CaptureConfig, EveryOfferedTypeHasItsCapabilityRecord) {
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config_->GetNumberOfCapabilities(&count, &size));
    EXPECT_EQ(25, count);
    EXPECT_EQ(128, size);

    struct Expected {
        int index;
        CameraType type;
    } named[] = {
        {0, {CameraFormat::NV12, 1280, 720}},   // the preferred type first
        {1, {CameraFormat::NV12, 1920, 1080}},
        {15, {CameraFormat::RGB24, 480, 320}},  // the first RGB24: the type camcheck always got
        {24, {CameraFormat::RGB32, 480, 320}},
    };
    for (const Expected& e : named) {
        EXPECT_TRUE(SameCameraType(e.type, CaptureType(e.index))) << "index " << e.index;
    }

    int sizes[5][5] = {};  // how often each size came in each format
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        BYTE caps[128 + 8];
        std::memset(caps, 0xCC, sizeof(caps));
        ASSERT_EQ(S_OK, config_->GetStreamCaps(i, &type, caps)) << "index " << i;
        ASSERT_NE(nullptr, type);
        const CameraType camera = CaptureType(i);
        ExpectType(camera, *type);
        // The pin offers the same list in the same order.
        CMediaType offered;
        ASSERT_EQ(S_OK, pin_->GetMediaType(i, &offered));
        EXPECT_TRUE(offered == CMediaType(*type)) << "index " << i;
        DeleteMediaType(type);
        EXPECT_EQ(0xCC, caps[128]) << "wrote past the 128-byte record";

        VIDEO_STREAM_CONFIG_CAPS record;
        std::memcpy(&record, caps, sizeof(record));
        EXPECT_TRUE(IsEqualGUID(FORMAT_VideoInfo, record.guid));
        for (const SIZE& s : {record.InputSize, record.MinOutputSize, record.MaxOutputSize}) {
            EXPECT_EQ(camera.width, s.cx) << "index " << i;
            EXPECT_EQ(camera.height, s.cy) << "index " << i;
        }
        EXPECT_EQ(333333, record.MinFrameInterval);
        EXPECT_EQ(10000000, record.MaxFrameInterval);
        const long long bits = static_cast<long long>(CameraImageSize(camera)) * 8;
        EXPECT_EQ(bits, record.MinBitsPerSecond) << "index " << i;
        EXPECT_EQ(bits * 30, record.MaxBitsPerSecond) << "index " << i;

        const int widths[5] = {1920, 1280, 640, 640, 480};
        const int heights[5] = {1080, 720, 480, 360, 320};
        for (int k = 0; k < 5; ++k) {
            if (widths[k] == camera.width && heights[k] == camera.height) {
                ++sizes[k][static_cast<int>(camera.format)];
            }
        }
    }
    for (int k = 0; k < 5; ++k) {
        for (int f = 0; f < 5; ++f) {
            EXPECT_EQ(1, sizes[k][f]) << "size " << k << " format " << f;
        }
    }

    AM_MEDIA_TYPE* type = nullptr;
    BYTE caps[128];
    EXPECT_EQ(S_FALSE, config_->GetStreamCaps(25, &type, caps));
    EXPECT_EQ(E_INVALIDARG, config_->GetStreamCaps(-1, &type, caps));
    EXPECT_EQ(E_POINTER, config_->GetStreamCaps(0, &type, nullptr));
}

TEST_F(CaptureConfig, SetFormatChoosesTheOnlyTypeOfTheNextConnection) {
    // Before anything is chosen GetFormat names the preferred type.
    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(S_OK, config_->GetFormat(&current));
    ExpectType({CameraFormat::NV12, 1280, 720}, *current);
    DeleteMediaType(current);

    const CameraType chosen{CameraFormat::YUY2, 640, 480};
    ClientType wanted(chosen);
    ASSERT_EQ(S_OK, config_->SetFormat(&wanted.type));
    ASSERT_EQ(S_OK, config_->GetFormat(&current));
    ExpectType(chosen, *current);
    AM_MEDIA_TYPE* again = nullptr;
    ASSERT_EQ(S_OK, config_->GetFormat(&again));
    EXPECT_NE(current->pbFormat, again->pbFormat);  // a fresh copy each time
    DeleteMediaType(current);
    DeleteMediaType(again);

    // It is all the pin offers and accepts now; the list of capabilities
    // stays whole.
    CMediaType offered, none;
    ASSERT_EQ(S_OK, pin_->GetMediaType(0, &offered));
    ExpectType(chosen, offered);
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pin_->GetMediaType(1, &none));
    CMediaType same(wanted.type);
    EXPECT_EQ(S_OK, pin_->CheckMediaType(&same));
    ClientType other({CameraFormat::NV12, 1280, 720});
    CMediaType otherType(other.type);
    EXPECT_NE(S_OK, pin_->CheckMediaType(&otherType));
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config_->GetNumberOfCapabilities(&count, &size));
    EXPECT_EQ(25, count);

    // A type the pin cannot deliver is refused and changes nothing.
    ClientType bad({CameraFormat::RGB24, 800, 600});
    bad.header.bmiHeader.biSizeImage = 800 * 600 * 3;
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config_->SetFormat(&bad.type));
    ASSERT_EQ(S_OK, config_->GetFormat(&current));
    ExpectType(chosen, *current);
    DeleteMediaType(current);
    EXPECT_EQ(E_POINTER, config_->SetFormat(nullptr));

    // Not while the filter runs.
    IBaseFilter* base = filter_;
    ASSERT_EQ(S_OK, base->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, config_->SetFormat(&other.type));
    ASSERT_EQ(S_OK, base->Stop());
}

TEST_F(CaptureConfig, SetFormatAcceptsATypeThatNamesNoFrameRate) {
    // Capture applications often hand back the offered type with the frame
    // duration cleared: it is stored, and a connection with it is accepted.
    AM_MEDIA_TYPE* wanted = nullptr;
    ASSERT_EQ(S_OK, config_->GetFormat(&wanted));
    reinterpret_cast<VIDEOINFOHEADER*>(wanted->pbFormat)->AvgTimePerFrame = 0;
    EXPECT_EQ(S_OK, config_->SetFormat(wanted));
    CMediaType asked(*wanted);
    EXPECT_EQ(S_OK, pin_->CheckMediaType(&asked));
    DeleteMediaType(wanted);
}

TEST_F(CaptureConfig, SetFormatWhileConnectedAsksThePeerFirst) {
    FakeInputPin peer;
    peer.acceptedSubtypes = {MEDIASUBTYPE_RGB24, kSubtypeYUY2};
    ClientType connectedAs({CameraFormat::YUY2, 640, 480});
    IPin* pin = pin_;
    ASSERT_EQ(S_OK, pin->Connect(&peer, &connectedAs.type));

    // The type it is connected with: nothing to reconnect.
    EXPECT_EQ(S_OK, config_->SetFormat(&connectedAs.type));
    // One the peer refuses: refused, the connection stays.
    ClientType refused({CameraFormat::NV12, 1280, 720});
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config_->SetFormat(&refused.type));
    // One the peer takes, but no graph to reconnect through: refused too.
    ClientType noGraph({CameraFormat::RGB24, 480, 320});
    EXPECT_EQ(VFW_E_NOT_IN_GRAPH, config_->SetFormat(&noGraph.type));

    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(S_OK, config_->GetFormat(&current));
    ExpectType({CameraFormat::YUY2, 640, 480}, *current);
    DeleteMediaType(current);
    EXPECT_EQ(S_OK, pin->Disconnect());
    EXPECT_EQ(S_OK, peer.Disconnect());
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
