// Our base input pin: IMemInputPin's allocator hand-over and the streaming
// state that decides whether a sample is taken, alone and connected to our
// test source inside Wine's filter graph manager.

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <atomic>

#include "filter/dshow/base_filter.h"
#include "filter/dshow/base_input_pin.h"
#include "filter/dshow/unknown.h"
#include "tests/filter/support/com_ref.h"
#include "tests/filter/support/fake_sample.h"
#include "tests/filter/support/test_source.h"

namespace pavix::testing {
namespace {

// {0C3A2E61-5D4B-4F7A-8E19-3B6C2D7F9A41}: never registered.
const CLSID kClsidTestSink = {
    0x0c3a2e61, 0x5d4b, 0x4f7a, {0x8e, 0x19, 0x3b, 0x6c, 0x2d, 0x7f, 0x9a, 0x41}};

class TestSink;

// Takes RGB24 video and counts what it takes.
class TestInputPin : public CBaseInputPin {
public:
    TestInputPin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr)
        : CBaseInputPin(L"test input", filter, lock, phr, L"In") {}

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return IsEqualGUID(*pmt->Type(), MEDIATYPE_Video) &&
                       IsEqualGUID(*pmt->Subtype(), MEDIASUBTYPE_RGB24)
                   ? S_OK
                   : S_FALSE;
    }
    STDMETHODIMP Receive(IMediaSample* pSample) override {
        HRESULT hr = CBaseInputPin::Receive(pSample);
        if (hr == S_OK) ++taken;
        return hr;
    }
    IMemAllocator* Allocator() const { return m_pAllocator; }

    std::atomic<int> taken{0};
};

class TestSink : public CBaseFilter {
public:
    TestSink() : CBaseFilter(L"test sink", nullptr, &lock_, kClsidTestSink), pin_(this, &lock_, &hr_) {
        AddRef();
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    TestInputPin& Pin() { return pin_; }
    IBaseFilter* Base() { return static_cast<IBaseFilter*>(this); }

private:
    CCritSec lock_;
    HRESULT hr_ = S_OK;
    TestInputPin pin_;
};

class DShowInputPin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        baseline_ = CBaseObject::ObjectsActive();
        sink_ = new TestSink();
    }
    void TearDown() override {
        sink_->Base()->Stop();
        EXPECT_EQ(0u, sink_->Base()->Release());
        EXPECT_EQ(baseline_, CBaseObject::ObjectsActive());
        CoUninitialize();
    }
    IMemInputPin* Input() { return static_cast<IMemInputPin*>(&sink_->Pin()); }

    LONG baseline_ = 0;
    TestSink* sink_ = nullptr;
};

TEST_F(DShowInputPin, AnswersAsAMemoryInputPinAndHandsOverAllocators) {
    ComRef<IMemInputPin> input;
    ASSERT_EQ(S_OK, static_cast<IPin*>(&sink_->Pin())->QueryInterface(IID_IMemInputPin,
                                                                      input.PutVoid()));
    ComRef<IMemAllocator> first;
    ComRef<IMemAllocator> second;
    ASSERT_EQ(S_OK, input->GetAllocator(first.Put()));
    ASSERT_EQ(S_OK, input->GetAllocator(second.Put()));
    EXPECT_EQ(first.Get(), second.Get());  // one allocator, offered until another is chosen

    FakeAllocator chosen;
    EXPECT_EQ(S_OK, input->NotifyAllocator(&chosen, TRUE));
    EXPECT_EQ(&chosen, sink_->Pin().Allocator());
    EXPECT_TRUE(sink_->Pin().IsReadOnly());
    EXPECT_EQ(E_POINTER, input->NotifyAllocator(nullptr, FALSE));
    EXPECT_EQ(S_OK, input->ReceiveCanBlock());
}

TEST_F(DShowInputPin, TakesSamplesOnlyWhileStreaming) {
    FakeSample sample(16);
    EXPECT_EQ(VFW_E_WRONG_STATE, Input()->Receive(&sample));  // stopped
    ASSERT_EQ(S_OK, sink_->Base()->Pause());
    EXPECT_EQ(S_OK, Input()->Receive(&sample));

    // A flush drops what comes until it ends.
    EXPECT_EQ(S_OK, sink_->Pin().BeginFlush());
    EXPECT_EQ(S_FALSE, Input()->Receive(&sample));
    EXPECT_EQ(S_OK, sink_->Pin().EndFlush());
    EXPECT_EQ(S_OK, Input()->Receive(&sample));

    // After the end of the stream nothing more, until a flush (or, for a
    // connected pin, the next pause).
    EXPECT_EQ(S_OK, sink_->Pin().EndOfStream());
    EXPECT_EQ(VFW_E_SAMPLE_REJECTED_EOS, Input()->Receive(&sample));
    IMediaSample* samples[2] = {&sample, &sample};
    long processed = -1;
    EXPECT_EQ(VFW_E_SAMPLE_REJECTED_EOS, Input()->ReceiveMultiple(samples, 2, &processed));
    EXPECT_EQ(0, processed);
    EXPECT_EQ(S_OK, sink_->Pin().BeginFlush());
    EXPECT_EQ(S_OK, sink_->Pin().EndFlush());
    EXPECT_EQ(S_OK, Input()->ReceiveMultiple(samples, 2, &processed));
    EXPECT_EQ(2, processed);
    EXPECT_EQ(4, sink_->Pin().taken.load());
}

// Our source and our sink in Wine's graph: connected with the sink's
// allocator, streaming while the graph runs, nothing after it stopped.
TEST_F(DShowInputPin, ReceivesASourcesStreamInsideAGraph) {
    TestSource* source = TestSource::Create();
    TestStream* stream = source->Stream();
    stream->offered = {MakeVideoType(MEDIASUBTYPE_RGB24)};
    stream->acceptedSubtypes = {MEDIASUBTYPE_RGB24};
    {
        ComRef<IGraphBuilder> graph;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IGraphBuilder, graph.PutVoid()));
        ASSERT_EQ(S_OK, graph->AddFilter(static_cast<IBaseFilter*>(source), L"source"));
        ASSERT_EQ(S_OK, graph->AddFilter(sink_->Base(), L"sink"));
        ASSERT_EQ(S_OK, graph->ConnectDirect(static_cast<IPin*>(stream),
                                             static_cast<IPin*>(&sink_->Pin()), nullptr));
        ASSERT_NE(nullptr, sink_->Pin().Allocator());

        ComRef<IMediaControl> control;
        ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaControl, control.PutVoid()));
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        const DWORD start = GetTickCount();
        while (sink_->Pin().taken.load() < 5 && GetTickCount() - start < 10000) Sleep(5);
        EXPECT_GE(sink_->Pin().taken.load(), 5);
        ASSERT_EQ(S_OK, control->Stop());
        const int taken = sink_->Pin().taken.load();
        Sleep(100);
        EXPECT_EQ(taken, sink_->Pin().taken.load());
        ASSERT_EQ(S_OK, graph->RemoveFilter(static_cast<IBaseFilter*>(source)));
        ASSERT_EQ(S_OK, graph->RemoveFilter(sink_->Base()));
        EXPECT_EQ(nullptr, sink_->Pin().Allocator());  // given back at the disconnect
    }
    static_cast<IBaseFilter*>(source)->Release();
}

}  // namespace
}  // namespace pavix::testing
