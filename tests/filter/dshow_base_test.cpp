// Our DirectShow base classes, driven through a test source filter: against
// a scripted downstream pin for negotiation details, and inside Wine's own
// filter graph manager with its Null Renderer.

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <cstring>

#include "filter/dshow/media_type.h"
#include "filter/dshow/unknown.h"
#include "tests/filter/support/com_ref.h"
#include "tests/filter/support/fake_input_pin.h"
#include "tests/filter/support/test_source.h"

namespace pavix::testing {
namespace {

// {C1F400A4-3F08-11D3-9F0B-006008039E37}
const CLSID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

// The default bound is generous: a loaded machine must not fail what a
// healthy stream does within milliseconds.
template <typename Predicate>
bool WaitFor(Predicate done, DWORD timeoutMs = 20000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(2);
    }
    return true;
}

class DShowBase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        baseline_ = CBaseObject::ObjectsActive();
        filter_ = TestSource::Create();
        stream_ = filter_->Stream();
        stream_->offered = {MakeVideoType(MEDIASUBTYPE_RGB24), MakeVideoType(MEDIASUBTYPE_RGB32)};
        stream_->acceptedSubtypes = {MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_YUY2};
    }

    void TearDown() override {
        if (filter_ != nullptr) {
            Base()->Stop();
            Pin()->Disconnect();
            peer_.Disconnect();
            EXPECT_EQ(0u, Base()->Release());
        }
        // Filter, pin and every enumerator are gone again.
        EXPECT_EQ(baseline_, CBaseObject::ObjectsActive());
        CoUninitialize();
    }

    IBaseFilter* Base() const { return static_cast<IBaseFilter*>(filter_); }
    IPin* Pin() const { return static_cast<IPin*>(stream_); }

    LONG baseline_ = 0;
    TestSource* filter_ = nullptr;
    TestStream* stream_ = nullptr;
    FakeInputPin peer_;
};

TEST_F(DShowBase, ConnectTriesItsOwnTypesFirstInTheirOrder) {
    peer_.acceptedSubtypes = {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24};
    peer_.offered = {MakeVideoType(MEDIASUBTYPE_YUY2)};
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB24, peer_.connectedType.subtype));
    EXPECT_TRUE(stream_->CurrentMediaType() == peer_.connectedType);
    EXPECT_EQ(1, peer_.connectionAttempts.load());
}

TEST_F(DShowBase, ConnectFallsBackToThePeersTypes) {
    peer_.acceptedSubtypes = {MEDIASUBTYPE_YUY2};
    peer_.offered = {MakeVideoType(MEDIASUBTYPE_YUY2, 24)};
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_YUY2, peer_.connectedType.subtype));
    // The peer's own format block, untouched.
    EXPECT_TRUE(peer_.offered[0] == peer_.connectedType);

    AM_MEDIA_TYPE current = {};
    ASSERT_EQ(S_OK, Pin()->ConnectionMediaType(&current));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_YUY2, current.subtype));
    EXPECT_EQ(24u, current.cbFormat);
    FreeMediaType(current);
}

TEST_F(DShowBase, PartialTypeChoosesAmongTheCandidates) {
    CMediaType partial;
    partial.SetType(&MEDIATYPE_Video);
    partial.SetSubtype(&MEDIASUBTYPE_RGB32);
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, &partial));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB32, peer_.connectedType.subtype));
    EXPECT_EQ(1, peer_.connectionAttempts.load());
}

TEST_F(DShowBase, FullySpecifiedTypeIsTriedAsItIs) {
    CMediaType wanted = MakeVideoType(MEDIASUBTYPE_YUY2);
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, &wanted));
    EXPECT_TRUE(wanted == peer_.connectedType);
    EXPECT_EQ(1, peer_.connectionAttempts.load());
}

TEST_F(DShowBase, NoAcceptableTypeLeavesBothSidesUnconnected) {
    peer_.acceptedSubtypes = {MEDIASUBTYPE_UYVY};
    peer_.offered = {MakeVideoType(MEDIASUBTYPE_UYVY)};  // which the source refuses
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, Pin()->Connect(&peer_, nullptr));
    EXPECT_EQ(2, peer_.connectionAttempts.load());  // both own types, never the refused one
    EXPECT_EQ(nullptr, peer_.connector);
    ComRef<IPin> connected;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, Pin()->ConnectedTo(connected.Put()));
    EXPECT_FALSE(connected);
    EXPECT_EQ(S_FALSE, Pin()->Disconnect());
}

TEST_F(DShowBase, ConnectionUsesThePeersAllocatorWithItsRequirements) {
    peer_.requirements.cbAlign = 16;
    peer_.requirements.cBuffers = 3;
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    ASSERT_NE(nullptr, peer_.offeredAllocator);
    EXPECT_EQ(peer_.offeredAllocator, peer_.notifiedAllocator);
    EXPECT_EQ(16, stream_->requested.cbAlign);
    EXPECT_EQ(3, stream_->requested.cBuffers);
}

TEST_F(DShowBase, ConnectionFallsBackToTheSystemAllocator) {
    peer_.ownAllocator = false;
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    ASSERT_NE(nullptr, peer_.notifiedAllocator);
    ALLOCATOR_PROPERTIES props = {};
    ASSERT_EQ(S_OK, peer_.notifiedAllocator->GetProperties(&props));
    EXPECT_EQ(stream_->buffers, props.cBuffers);
    EXPECT_EQ(stream_->bufferSize, props.cbBuffer);
    EXPECT_EQ(1, stream_->requested.cbAlign);  // no requirement: byte alignment
}

TEST_F(DShowBase, PauseStreamsRunGoesOnStopEndsTheThread) {
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    ASSERT_EQ(S_OK, Base()->Pause());
    EXPECT_EQ(1, stream_->threadCreates.load());
    EXPECT_TRUE(WaitFor([&] { return peer_.receives >= 3; })) << "no samples while paused";

    ASSERT_EQ(S_OK, Base()->Run(0));
    int atRun = peer_.receives;
    EXPECT_TRUE(WaitFor([&] { return peer_.receives >= atRun + 3; }));
    FILTER_STATE state;
    EXPECT_EQ(S_OK, Base()->GetState(0, &state));
    EXPECT_EQ(State_Running, state);

    ASSERT_EQ(S_OK, Base()->Stop());
    EXPECT_EQ(1, stream_->threadDestroys.load());
    int atStop = peer_.receives;
    Sleep(50);
    EXPECT_EQ(atStop, peer_.receives.load());
    // The allocator is decommitted: no buffer for anyone.
    ComRef<IMediaSample> sample;
    EXPECT_EQ(VFW_E_NOT_COMMITTED, stream_->Allocator()->GetBuffer(sample.Put(), nullptr, nullptr, 0));

    ASSERT_EQ(S_OK, Base()->Pause());
    EXPECT_EQ(2, stream_->threadCreates.load());
    EXPECT_TRUE(WaitFor([&] { return peer_.receives > atStop; }));
}

TEST_F(DShowBase, ConnectionChangesNeedAStoppedFilter) {
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    ASSERT_EQ(S_OK, Base()->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, Pin()->Disconnect());
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, Pin()->Connect(&peer_, nullptr));
    ASSERT_EQ(S_OK, Base()->Stop());
    EXPECT_EQ(S_OK, Pin()->Disconnect());
    FakeInputPin other;
    int threads = stream_->threadCreates;
    ASSERT_EQ(S_OK, Base()->Pause());  // unconnected: nothing streams
    EXPECT_EQ(threads, stream_->threadCreates.load());
    EXPECT_EQ(VFW_E_NOT_STOPPED, Pin()->Connect(&other, nullptr));
    ASSERT_EQ(S_OK, Base()->Stop());
}

TEST_F(DShowBase, FillBufferEndOfStreamEndsEveryNewStart) {
    stream_->endAfter = 3;
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    ASSERT_EQ(S_OK, Base()->Pause());
    ASSERT_TRUE(WaitFor([&] { return peer_.endOfStreams == 1; }));
    Sleep(50);
    EXPECT_EQ(3, peer_.receives.load());
    EXPECT_EQ(4, stream_->fills.load());  // the thread waits, it does not poll
    ASSERT_EQ(S_OK, Base()->Run(0));      // no new command for the loop
    Sleep(50);
    EXPECT_EQ(1, peer_.endOfStreams.load());
    ASSERT_EQ(S_OK, Base()->Stop());
    ASSERT_EQ(S_OK, Base()->Pause());
    EXPECT_TRUE(WaitFor([&] { return peer_.endOfStreams == 2; }));
    EXPECT_EQ(3, peer_.receives.load());
}

TEST_F(DShowBase, StopReleasesAThreadWaitingForABuffer) {
    peer_.holdSamples = true;  // downstream keeps both buffers
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    ASSERT_EQ(S_OK, Base()->Run(0));
    ASSERT_TRUE(WaitFor([&] { return peer_.receives == stream_->buffers; }));
    Sleep(30);  // the thread now waits in GetBuffer
    DWORD start = GetTickCount();
    EXPECT_EQ(S_OK, Base()->Stop());
    EXPECT_LT(GetTickCount() - start, 10000u);  // a thread left waiting never ends
    EXPECT_EQ(1, stream_->threadDestroys.load());
    peer_.ReleaseHeldSamples();
}

TEST_F(DShowBase, OutputPinPassesFlushesOnAndRefusesInputCalls) {
    ASSERT_EQ(S_OK, Pin()->Connect(&peer_, nullptr));
    EXPECT_EQ(S_OK, stream_->DeliverBeginFlush());
    EXPECT_EQ(S_OK, stream_->DeliverEndFlush());
    EXPECT_EQ(1, peer_.beginFlushes.load());
    EXPECT_EQ(1, peer_.endFlushes.load());
    EXPECT_EQ(E_UNEXPECTED, Pin()->BeginFlush());
    EXPECT_EQ(E_UNEXPECTED, Pin()->EndFlush());
    EXPECT_EQ(E_UNEXPECTED, Pin()->EndOfStream());
    PIN_DIRECTION dir;
    ASSERT_EQ(S_OK, Pin()->QueryDirection(&dir));
    EXPECT_EQ(PINDIR_OUTPUT, dir);
}

TEST_F(DShowBase, PinsCountOnTheirFilter) {
    ULONG before = RefCount(Base());
    Pin()->AddRef();
    EXPECT_EQ(before + 1, RefCount(Base()));
    Pin()->Release();
    {
        ComRef<IEnumPins> pins;
        ASSERT_EQ(S_OK, Base()->EnumPins(pins.Put()));
        EXPECT_EQ(before + 1, RefCount(Base()));  // the enumerator holds the filter
        ComRef<IPin> first;
        ULONG fetched = 0;
        ASSERT_EQ(S_OK, pins->Next(1, first.Put(), &fetched));
        EXPECT_EQ(Pin(), first.Get());
        EXPECT_EQ(S_FALSE, pins->Next(1, first.Put(), &fetched));
        EXPECT_EQ(0u, fetched);
    }
    EXPECT_EQ(before, RefCount(Base()));
    // A pin is an object of its own: it does not answer for the filter.
    ComRef<IBaseFilter> notThere;
    EXPECT_EQ(E_NOINTERFACE, Pin()->QueryInterface(IID_IBaseFilter, notThere.PutVoid()));
    PIN_INFO info;
    ASSERT_EQ(S_OK, Pin()->QueryPinInfo(&info));
    EXPECT_EQ(Base(), info.pFilter);
    EXPECT_STREQ(L"Out", info.achName);
    info.pFilter->Release();
}

TEST_F(DShowBase, PinEnumeratorNoticesANewPin) {
    ComRef<IEnumPins> pins;
    ASSERT_EQ(S_OK, Base()->EnumPins(pins.Put()));
    HRESULT hr = S_OK;
    auto* second = new TestStream(&hr, filter_);  // the filter owns it
    ASSERT_EQ(S_OK, hr);
    ComRef<IPin> pin;
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, pins->Next(1, pin.Put(), nullptr));
    ASSERT_EQ(S_OK, pins->Reset());
    IPin* both[2] = {};
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, pins->Next(2, both, &fetched));
    EXPECT_EQ(2u, fetched);
    EXPECT_EQ(static_cast<IPin*>(second), both[1]);
    both[0]->Release();
    both[1]->Release();
}

TEST_F(DShowBase, FilterAnswersForItselfInTheGraph) {
    CLSID clsid;
    ASSERT_EQ(S_OK, Base()->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(kClsidTestSource, clsid));
    ComRef<IPin> found;
    ASSERT_EQ(S_OK, Base()->FindPin(L"Out", found.Put()));
    EXPECT_EQ(Pin(), found.Get());
    EXPECT_EQ(VFW_E_NOT_FOUND, Base()->FindPin(L"In", found.Put()));
    for (REFIID iid : {IID_IMediaFilter, IID_IPersist, IID_IAMovieSetup}) {
        ComRef<IUnknown> answer;
        EXPECT_EQ(S_OK, Base()->QueryInterface(iid, answer.PutVoid()));
    }
}

// Wine's graph manager, its Null Renderer and the base classes together.
TEST_F(DShowBase, GraphHearsErrorAbortWhenFillBufferFails) {
    stream_->failAfter = 3;
    ComRef<IGraphBuilder> graph;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, graph.PutVoid()));
    ComRef<IBaseFilter> renderer;
    ASSERT_EQ(S_OK, CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IBaseFilter, renderer.PutVoid()));
    ASSERT_EQ(S_OK, graph->AddFilter(Base(), L"test source"));
    ASSERT_EQ(S_OK, graph->AddFilter(renderer.Get(), L"renderer"));
    ComRef<IEnumPins> pins;
    ASSERT_EQ(S_OK, renderer->EnumPins(pins.Put()));
    ComRef<IPin> rendererIn;
    ASSERT_EQ(S_OK, pins->Next(1, rendererIn.Put(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(Pin(), rendererIn.Get(), nullptr));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB24, stream_->CurrentMediaType().subtype));

    auto control = graph.As<IMediaControl>(IID_IMediaControl);
    auto events = graph.As<IMediaEvent>(IID_IMediaEvent);
    ASSERT_TRUE(control && events);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    bool aborted = false;
    LONG_PTR reason = 0;
    for (int i = 0; i < 20 && !aborted; ++i) {
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        if (FAILED(events->GetEvent(&code, &p1, &p2, 250))) {
            continue;
        }
        events->FreeEventParams(code, p1, p2);
        if (code == EC_ERRORABORT) {
            aborted = true;
            reason = p1;
        }
    }
    EXPECT_TRUE(aborted);
    EXPECT_EQ(E_ACCESSDENIED, static_cast<HRESULT>(reason));
    EXPECT_EQ(S_OK, control->Stop());
    EXPECT_EQ(S_OK, graph->RemoveFilter(Base()));
    EXPECT_EQ(S_OK, graph->RemoveFilter(renderer.Get()));
}

// An outer object for aggregation: counts what reaches it.
class Outer : public IUnknown {
public:
    virtual ~Outer() = default;
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        ++queries;
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    int queries = 0;
    ULONG refs = 1;
};

TEST(DShowAggregation, InterfacesDelegateToTheOuterObjectTheInnerUnknownDoesNot) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    LONG baseline = CBaseObject::ObjectsActive();
    Outer outer;
    TestSource* inner = TestSource::Create(&outer);
    IBaseFilter* filter = static_cast<IBaseFilter*>(inner);
    // IUnknown calls on the filter's interfaces reach the outer object.
    filter->AddRef();
    EXPECT_EQ(2u, outer.refs);
    filter->Release();
    ComRef<IUnknown> viaFilter;
    EXPECT_EQ(E_NOINTERFACE, filter->QueryInterface(IID_IPersist, viaFilter.PutVoid()));
    EXPECT_EQ(1, outer.queries);
    // The inner unknown answers for the inner object.
    void* innerUnknown = nullptr;
    ASSERT_EQ(S_OK, inner->NonDelegatingQueryInterface(IID_IUnknown, &innerUnknown));
    EXPECT_EQ(static_cast<INonDelegatingUnknown*>(inner), innerUnknown);
    void* persist = nullptr;
    ASSERT_EQ(S_OK, inner->NonDelegatingQueryInterface(IID_IPersist, &persist));
    EXPECT_EQ(2u, outer.refs);  // handed out with a reference on the outer object
    static_cast<IPersist*>(persist)->Release();
    EXPECT_EQ(1u, outer.refs);
    inner->NonDelegatingRelease();  // the QueryInterface for IID_IUnknown
    EXPECT_EQ(0u, inner->NonDelegatingRelease());
    EXPECT_EQ(baseline, CBaseObject::ObjectsActive());
    CoUninitialize();
}

// A bare object that counts its references, for CMediaType's pUnk.
class Counted : public IUnknown {
public:
    virtual ~Counted() = default;
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

TEST(DShowMediaType, CopiesOwnTheirFormatBlockAndPunk) {
    Counted unk;
    CMediaType original = MakeVideoType(MEDIASUBTYPE_RGB24, 88);
    original.pUnk = &unk;
    unk.AddRef();  // the reference `original` owns
    {
        CMediaType copy(original);
        EXPECT_TRUE(copy == original);
        EXPECT_NE(original.Format(), copy.Format());
        EXPECT_EQ(0, std::memcmp(original.Format(), copy.Format(), 88));
        EXPECT_EQ(3u, unk.refs);
        AM_MEDIA_TYPE* plain = CreateMediaType(&copy);
        ASSERT_NE(nullptr, plain);
        EXPECT_EQ(4u, unk.refs);
        DeleteMediaType(plain);
        EXPECT_EQ(3u, unk.refs);
    }
    EXPECT_EQ(2u, unk.refs);
    BYTE* block = original.Format();
    EXPECT_EQ(block, original.AllocFormatBuffer(88));  // same length: same block
    BYTE* bigger = original.AllocFormatBuffer(100);
    ASSERT_NE(nullptr, bigger);
    EXPECT_EQ(100u, original.FormatLength());
    original.Reset();
    EXPECT_EQ(1u, unk.refs);
    EXPECT_EQ(nullptr, original.Format());
    EXPECT_FALSE(original.IsValid());

    CMediaType video = MakeVideoType(MEDIASUBTYPE_RGB24);
    CMediaType partial;
    partial.SetType(&MEDIATYPE_Video);
    EXPECT_TRUE(partial.IsPartiallySpecified());
    EXPECT_TRUE(video.MatchesPartial(&partial));
    partial.SetSubtype(&MEDIASUBTYPE_RGB32);
    EXPECT_FALSE(video.MatchesPartial(&partial));
    EXPECT_FALSE(video.IsPartiallySpecified());
}

}  // namespace
}  // namespace pavix::testing
