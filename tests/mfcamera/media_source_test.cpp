// The Windows camera's media source in the test's own process, created
// from PavixMediaSource.dll's class object as COM would: read through Media
// Foundation's source reader, and driven through its own interfaces.
// Pictures come from a stand-in for pavix.exe's HD block writer, one colour
// each, so that each sample tells which picture it shows.

#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "mfcamera/media_source_clsid.h"
#include "mfcamera/mf_camera_api.h"
#include "tests/filter/support/hd_block_writer.h"
#include "tests/mfcamera/support/numbered_pictures.h"
#include "tools/mfcheck/source_reader_client.h"

using pavix::ComRef;
using pavix::testing::HdBlockWriter;
using namespace pavix::tools;
using namespace pavix::testing;

namespace {

// A freeze, not a speed: a sample or an event is due within 1/30 s.
constexpr DWORD kEventWaitMs = 10000;

class MediaSource : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        MFStartup(MF_VERSION, MFSTARTUP_FULL);
    }
    static void TearDownTestSuite() {
        MFShutdown();
        CoUninitialize();
    }

    static CMediaSourceModule& Module() {
        static CMediaSourceModule module(PAVIX_MEDIA_SOURCE_PATH);
        return module;
    }

    ComRef<IMFMediaSource> NewSource() {
        ComRef<IMFMediaSource> source;
        EXPECT_EQ(Module().CreateSource(source.Put()), S_OK);
        return source;
    }

    // A new source's first five samples at `layout` all show `luma`.
    void ExpectSamplesOfLuma(const SampleLayout& layout, int luma) {
        ComRef<IMFMediaSource> source = NewSource();
        ComRef<IMFSourceReader> reader = ReaderAt(source.Get(), layout);
        ASSERT_TRUE(reader);
        for (int i = 0; i < 5; ++i) {
            ReadResult sample;
            ASSERT_EQ(ReadNextSample(reader.Get(), &sample), S_OK);
            EXPECT_EQ(CentreLuma(sample, layout), luma) << "sample " << i;
        }
        reader.Reset();
        source->Shutdown();
    }

    ComRef<IMFSourceReader> ReaderAt(IMFMediaSource* source, const SampleLayout& layout) {
        ComRef<IMFSourceReader> reader;
        EXPECT_EQ(OpenSourceReader(source, &reader), S_OK);
        if (reader) {
            EXPECT_EQ(ChooseLayout(reader.Get(), layout), S_OK);
        }
        return reader;
    }
};

// The next event of `generator` within the freeze bound; null when none.
ComRef<IMFMediaEvent> NextEvent(IMFMediaEventGenerator* generator) {
    ComRef<IMFMediaEvent> event;
    const ULONGLONG end = GetTickCount64() + kEventWaitMs;
    while (GetTickCount64() < end) {
        const HRESULT hr = generator->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.Put());
        if (hr != MF_E_NO_EVENTS_AVAILABLE) break;
        Sleep(2);
    }
    return event;
}

MediaEventType TypeOf(IMFMediaEvent* event) {
    MediaEventType type = MEUnknown;
    if (event != nullptr) event->GetType(&type);
    return type;
}

TEST_F(MediaSource, ListsEverySizeInNv12Yuy2AndRgb32WithNv12At720pFirst) {
    ComRef<IMFMediaSource> source = NewSource();
    ASSERT_TRUE(source);
    ComRef<IMFSourceReader> reader;
    ASSERT_EQ(OpenSourceReader(source.Get(), &reader), S_OK);
    const std::vector<SampleLayout> layouts = NativeLayouts(reader.Get());
    ASSERT_EQ(layouts.size(), 15u);
    const SampleFormat formats[] = {SampleFormat::NV12, SampleFormat::YUY2, SampleFormat::RGB32};
    const int sizes[][2] = {{1280, 720}, {1920, 1080}, {640, 480}, {640, 360}, {480, 320}};
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        EXPECT_EQ(layouts[i].format, formats[i / 5]) << "type " << i;
        EXPECT_EQ(layouts[i].width, sizes[i % 5][0]) << "type " << i;
        EXPECT_EQ(layouts[i].height, sizes[i % 5][1]) << "type " << i;
    }
    ComRef<IMFMediaType> first;
    ASSERT_EQ(reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, first.Put()), S_OK);
    UINT32 numerator = 0, denominator = 0;
    EXPECT_EQ(MFGetAttributeRatio(first.Get(), MF_MT_FRAME_RATE, &numerator, &denominator), S_OK);
    EXPECT_EQ(numerator, 30u);
    EXPECT_EQ(denominator, 1u);
    EXPECT_EQ(MFGetAttributeUINT32(first.Get(), MF_MT_DEFAULT_STRIDE, 0), 1280u);
    EXPECT_EQ(MFGetAttributeUINT32(first.Get(), MF_MT_SAMPLE_SIZE, 0), 1280u * 720u * 3u / 2u);
    reader.Reset();
    source->Shutdown();
}

TEST_F(MediaSource, EachPictureGoesOutOnceStampedWithItsArrival) {
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    NumberedPublisher publisher(writer);
    const SampleLayout layouts[] = {{SampleFormat::NV12, 1280, 720, true},
                                    {SampleFormat::YUY2, 640, 480, true},
                                    {SampleFormat::RGB32, 640, 360, true}};
    for (const SampleLayout& layout : layouts) {
        SCOPED_TRACE(SampleFormatName(layout.format));
        ComRef<IMFMediaSource> source = NewSource();
        ASSERT_TRUE(source);
        // The stream starts with about the newest picture.
        const std::uint64_t published = publisher.Published();
        ComRef<IMFSourceReader> reader = ReaderAt(source.Get(), layout);
        ASSERT_TRUE(reader);
        std::vector<ReadResult> samples(60);
        for (ReadResult& sample : samples) ASSERT_EQ(ReadNextSample(reader.Get(), &sample), S_OK);
        reader.Reset();
        source->Shutdown();

        // Which picture each sample shows, from its colour; the first is
        // the newest one when the stream started, then each one in turn.
        std::vector<std::uint64_t> numbers;
        std::uint64_t previous = 0;
        int repeats = 0;
        for (const ReadResult& sample : samples) {
            ASSERT_EQ(sample.bytes.size(), SampleBytes(layout));
            const int luma = CentreLuma(sample, layout);
            const std::uint64_t least = previous != 0 ? previous : published > 2 ? published - 2 : 1;
            const std::uint64_t number = NumberOfLuma(luma, least);
            ASSERT_NEAR(luma, LumaOf(number), 2) << "not one of the pictures";
            if (number == previous) ++repeats;  // the phone was late by 100 ms
            EXPECT_GE(number, previous) << "an older picture after a newer one";
            numbers.push_back(number);
            previous = number;
        }
        // A loaded machine may hold the publisher up now and then.
        EXPECT_LE(repeats, 3);
        // Stamps rise, and from one new picture to the next they keep the
        // pictures' arrival distances (within 5 ms; a repeat is stamped
        // when it goes).
        const std::int64_t frequency = HdBlockWriter::Frequency();
        std::size_t lastNew = 0;
        for (std::size_t i = 1; i < samples.size(); ++i) {
            EXPECT_GT(samples[i].time, samples[i - 1].time) << "sample " << i;
            if (numbers[i] == numbers[i - 1]) continue;
            const std::int64_t arrivalStep =
                (publisher.ArrivalOf(numbers[i]) - publisher.ArrivalOf(numbers[lastNew])) *
                10000000 / frequency;
            EXPECT_NEAR(samples[i].time - samples[lastNew].time, arrivalStep, 50000)
                << "sample " << i << " picture " << numbers[i] << " after " << numbers[lastNew]
                << " of sample " << lastNew;
            lastNew = i;
        }
    }
}

TEST_F(MediaSource, ShowsTheIdlePictureWithoutAPhoneAndBlackWithoutPavix) {
    const SampleLayout layout{SampleFormat::NV12, 640, 360, true};
    {
        HdBlockWriter writer;
        ASSERT_TRUE(writer.Open());
        // pavix.exe's idle picture (no phone: frame word -2), once.
        writer.Publish(1280, 720, 200, 128, 128, 1, 0, -2);
        ExpectSamplesOfLuma(layout, 200);
    }
    // Without the HD block (Pavix not running) the samples still come,
    // from the empty PavixShMem: black.
    ExpectSamplesOfLuma(layout, 16);
}

TEST_F(MediaSource, MovesToTheHdBlockWhenPavixStartsAfterIt) {
    const SampleLayout layout{SampleFormat::NV12, 640, 360, true};
    ComRef<IMFMediaSource> source = NewSource();
    ComRef<IMFSourceReader> reader = ReaderAt(source.Get(), layout);
    ASSERT_TRUE(reader);
    ReadResult sample;
    ASSERT_EQ(ReadNextSample(reader.Get(), &sample), S_OK);
    EXPECT_EQ(CentreLuma(sample, layout), 16) << "black before Pavix";

    // Pavix starts: its block with the idle picture. The stream looks for
    // the block once a second: within 150 samples (5 s) it shows it.
    HdBlockWriter writer;
    ASSERT_TRUE(writer.Open());
    writer.Publish(1280, 720, 180, 128, 128, 1, 0, -2);
    int luma = 16;
    for (int i = 0; i < 150 && luma != 180; ++i) {
        ASSERT_EQ(ReadNextSample(reader.Get(), &sample), S_OK);
        luma = CentreLuma(sample, layout);
    }
    EXPECT_EQ(luma, 180);
    reader.Reset();
    source->Shutdown();
}

TEST_F(MediaSource, StopsStartsAgainAndShutsDownThroughItsOwnInterfaces) {
    ComRef<IMFMediaSource> source = NewSource();
    ASSERT_TRUE(source);
    DWORD characteristics = 0;
    ASSERT_EQ(source->GetCharacteristics(&characteristics), S_OK);
    EXPECT_EQ(characteristics, static_cast<DWORD>(MFMEDIASOURCE_IS_LIVE));
    ComRef<IMFPresentationDescriptor> descriptor;
    ASSERT_EQ(source->CreatePresentationDescriptor(descriptor.Put()), S_OK);
    PROPVARIANT start;
    PropVariantInit(&start);

    // The first start announces the stream, later ones update it.
    ComRef<IMFMediaStream> stream;
    for (const MediaEventType announced : {MENewStream, MEUpdatedStream}) {
        SCOPED_TRACE(announced);
        ASSERT_EQ(source->Start(descriptor.Get(), nullptr, &start), S_OK);
        ComRef<IMFMediaEvent> event = NextEvent(source.Get());
        ASSERT_EQ(TypeOf(event.Get()), announced);
        PROPVARIANT value;
        PropVariantInit(&value);
        ASSERT_EQ(event->GetValue(&value), S_OK);
        ASSERT_EQ(value.vt, VT_UNKNOWN);
        ASSERT_EQ(value.punkVal->QueryInterface(IID_IMFMediaStream, stream.PutVoid()), S_OK);
        PropVariantClear(&value);
        EXPECT_EQ(TypeOf(NextEvent(source.Get()).Get()), MESourceStarted);
        EXPECT_EQ(TypeOf(NextEvent(stream.Get()).Get()), MEStreamStarted);

        ASSERT_EQ(stream->RequestSample(nullptr), S_OK);
        ComRef<IMFMediaEvent> sampleEvent = NextEvent(stream.Get());
        ASSERT_EQ(TypeOf(sampleEvent.Get()), MEMediaSample);

        ASSERT_EQ(source->Stop(), S_OK);
        EXPECT_EQ(TypeOf(NextEvent(stream.Get()).Get()), MEStreamStopped);
        EXPECT_EQ(TypeOf(NextEvent(source.Get()).Get()), MESourceStopped);
        EXPECT_EQ(stream->RequestSample(nullptr), MF_E_MEDIA_SOURCE_WRONGSTATE);
    }
    // A camera neither pauses nor seeks in another time format.
    EXPECT_EQ(source->Pause(), MF_E_INVALID_STATE_TRANSITION);
    const GUID otherFormat = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(source->Start(descriptor.Get(), &otherFormat, &start), MF_E_UNSUPPORTED_TIME_FORMAT);

    // The stream's own state, as the Frame Server sets it.
    ComRef<IMFMediaStream> stream2;
    ASSERT_EQ(stream->QueryInterface(kIidMFMediaStream2, stream2.PutVoid()), S_OK);
    auto* state = reinterpret_cast<IMFMediaStream2Api*>(stream2.Get());
    MF_STREAM_STATE now = MF_STREAM_STATE_PAUSED;
    EXPECT_EQ(state->GetStreamState(&now), S_OK);
    EXPECT_EQ(now, MF_STREAM_STATE_STOPPED);
    ASSERT_EQ(state->SetStreamState(MF_STREAM_STATE_RUNNING), S_OK);
    EXPECT_EQ(TypeOf(NextEvent(stream.Get()).Get()), MEStreamStarted);
    ASSERT_EQ(stream->RequestSample(nullptr), S_OK);
    EXPECT_EQ(TypeOf(NextEvent(stream.Get()).Get()), MEMediaSample);
    EXPECT_EQ(state->SetStreamState(MF_STREAM_STATE_PAUSED), MF_E_INVALID_STATE_TRANSITION);
    ASSERT_EQ(state->SetStreamState(MF_STREAM_STATE_STOPPED), S_OK);
    EXPECT_EQ(TypeOf(NextEvent(stream.Get()).Get()), MEStreamStopped);

    // After shutdown everything refuses, and a new source streams.
    ASSERT_EQ(source->Shutdown(), S_OK);
    ComRef<IMFMediaEvent> none;
    EXPECT_EQ(source->GetEvent(MF_EVENT_FLAG_NO_WAIT, none.Put()), MF_E_SHUTDOWN);
    EXPECT_EQ(source->Start(descriptor.Get(), nullptr, &start), MF_E_SHUTDOWN);
    EXPECT_EQ(stream->RequestSample(nullptr), MF_E_SHUTDOWN);
    EXPECT_EQ(source->Shutdown(), MF_E_SHUTDOWN);

    ComRef<IMFMediaSource> again = NewSource();
    ComRef<IMFSourceReader> reader = ReaderAt(again.Get(), {SampleFormat::NV12, 1280, 720, true});
    ASSERT_TRUE(reader);
    ReadResult sample;
    EXPECT_EQ(ReadNextSample(reader.Get(), &sample), S_OK);
    reader.Reset();
    again->Shutdown();
}

TEST_F(MediaSource, CameraControlsAndServicesAreRefusedCleanly) {
    ComRef<IMFMediaSource> source = NewSource();
    ASSERT_TRUE(source);
    ComRef<IUnknown> unknown;
    ASSERT_EQ(source->QueryInterface(kIidKsControl, unknown.PutVoid()), S_OK);
    auto* control = reinterpret_cast<IKsControlApi*>(unknown.Get());

    KSPROPERTY property = {};
    property.Flags = KSPROPERTY_TYPE_GET;
    BYTE data[64] = {};
    const HRESULT notSupported = HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
    struct Case {
        const char* what;
        KSPROPERTY* request;
        ULONG length;
        bool withCount;
        HRESULT expected;
    } cases[] = {
        {"a property query", &property, sizeof(property), true, notSupported},
        {"no request", nullptr, sizeof(property), true, E_INVALIDARG},
        {"a request too short", &property, 4, true, E_INVALIDARG},
        {"nowhere to count", &property, sizeof(property), false, E_POINTER},
    };
    for (const Case& c : cases) {
        ULONG returned = 99;
        ULONG* count = c.withCount ? &returned : nullptr;
        EXPECT_EQ(control->KsProperty(c.request, c.length, data, sizeof(data), count), c.expected)
            << c.what;
        EXPECT_EQ(control->KsMethod(c.request, c.length, data, sizeof(data), count), c.expected)
            << c.what;
        EXPECT_EQ(control->KsEvent(c.request, c.length, data, sizeof(data), count), c.expected)
            << c.what;
        if (c.withCount) {
            EXPECT_EQ(returned, 0u) << c.what;
        }
    }
    ULONG returned = 0;
    EXPECT_EQ(control->KsEvent(nullptr, 0, nullptr, 0, &returned), S_OK) << "disabling no event";

    ComRef<IMFGetService> services;
    ASSERT_EQ(source->QueryInterface(IID_IMFGetService, services.PutVoid()), S_OK);
    ComRef<IUnknown> service;
    EXPECT_EQ(services->GetService(GUID_NULL, IID_IUnknown, service.PutVoid()),
              MF_E_UNSUPPORTED_SERVICE);

    ComRef<IMFMediaSourceEx> sourceEx;
    ASSERT_EQ(source->QueryInterface(IID_IMFMediaSourceEx, sourceEx.PutVoid()), S_OK);
    ComRef<IMFAttributes> attributes;
    ASSERT_EQ(sourceEx->GetStreamAttributes(0, attributes.Put()), S_OK);
    GUID category = GUID_NULL;
    EXPECT_EQ(attributes->GetGUID(kMFDeviceStreamCategory, &category), S_OK);
    EXPECT_EQ(category, kPinNameVideoCapture);
    EXPECT_EQ(MFGetAttributeUINT32(attributes.Get(), kMFDeviceStreamFrameServerShared, 0), 1u);
    EXPECT_EQ(sourceEx->GetStreamAttributes(1, attributes.Put()), MF_E_INVALIDSTREAMNUMBER);

    source->Shutdown();
    ULONG count = 0;
    EXPECT_EQ(control->KsProperty(&property, sizeof(property), data, sizeof(data), &count),
              MF_E_SHUTDOWN);
}

// Last: it needs every object of the module gone.
TEST_F(MediaSource, ModuleRegistersItsClassUnderHklmAndUnloadsWhenDone) {
    ASSERT_EQ(Module().Register(), S_OK);
    const wchar_t* server =
        L"Software\\Classes\\CLSID\\{000E8034-4682-443B-B397-F1723BAED1CB}\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD bytes = sizeof(path);
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, server, nullptr, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY,
                           nullptr, path, &bytes),
              ERROR_SUCCESS);
    const std::wstring named(path);
    EXPECT_NE(named.find(L"PavixMediaSource.dll"), std::wstring::npos);
    EXPECT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << "the class names a module on disk";
    wchar_t model[16] = {};
    bytes = sizeof(model);
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, server, L"ThreadingModel",
                           RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, model, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(model), L"Both");

    // Unregistering (with no virtual camera API here) removes the class.
    ASSERT_EQ(Module().Unregister(), S_OK);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            L"Software\\Classes\\CLSID\\{000E8034-4682-443B-B397-F1723BAED1CB}", 0,
                            KEY_READ | KEY_WOW64_64KEY, &key),
              ERROR_FILE_NOT_FOUND);

    // Every source of the tests above was shut down and released: only
    // the class object keeps the module, till it goes too.
    EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);
    Module().ReleaseClassObject();
    EXPECT_EQ(Module().CanUnloadNow(), S_OK);
}

}  // namespace
