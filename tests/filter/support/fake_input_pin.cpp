#include "tests/filter/support/fake_input_pin.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>

namespace pavix::testing {
namespace {

// IEnumMediaTypes over a fixed list.
class TypeList : public IEnumMediaTypes {
public:
    explicit TypeList(const std::vector<CMediaType>& types, size_t position = 0)
        : m_types(types), m_position(position) {}
    virtual ~TypeList() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
            *ppv = static_cast<IEnumMediaTypes*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG ref = InterlockedDecrement(&m_cRef);
        if (ref == 0) {
            delete this;
        }
        return ref;
    }
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
        ULONG n = 0;
        while (n < count && m_position < m_types.size()) {
            types[n++] = CreateMediaType(&m_types[m_position++]);
        }
        if (fetched != nullptr) {
            *fetched = n;
        }
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        m_position = std::min<size_t>(m_types.size(), m_position + count);
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        m_position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumMediaTypes** copy) override {
        *copy = new TypeList(m_types, m_position);
        return S_OK;
    }

private:
    std::vector<CMediaType> m_types;
    size_t m_position;
    volatile LONG m_cRef = 1;
};

}  // namespace

FakeInputPin::FakeInputPin() {
    InitializeCriticalSection(&m_lock);
}

FakeInputPin::~FakeInputPin() {
    ReleaseHeldSamples();
    if (connector != nullptr) {
        connector->Release();
    }
    if (offeredAllocator != nullptr) {
        offeredAllocator->Release();
    }
    if (notifiedAllocator != nullptr) {
        notifiedAllocator->Release();
    }
    DeleteCriticalSection(&m_lock);
}

void FakeInputPin::ReleaseHeldSamples() {
    EnterCriticalSection(&m_lock);
    std::vector<IMediaSample*> held;
    held.swap(m_held);
    LeaveCriticalSection(&m_lock);
    for (IMediaSample* sample : held) {
        sample->Release();
    }
}

STDMETHODIMP FakeInputPin::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *ppv = static_cast<IPin*>(this);
    } else if (riid == IID_IMemInputPin) {
        *ppv = static_cast<IMemInputPin*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FakeInputPin::AddRef() {
    return InterlockedIncrement(&m_cRef);
}

STDMETHODIMP_(ULONG) FakeInputPin::Release() {
    return InterlockedDecrement(&m_cRef);
}

bool FakeInputPin::Accepts(const AM_MEDIA_TYPE& type) const {
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video)) {
        return false;
    }
    return acceptedSubtypes.empty() ||
           std::any_of(acceptedSubtypes.begin(), acceptedSubtypes.end(),
                       [&](const GUID& g) { return IsEqualGUID(g, type.subtype); });
}

STDMETHODIMP FakeInputPin::Connect(IPin*, const AM_MEDIA_TYPE*) {
    return E_UNEXPECTED;  // an input pin is connected to, never connects
}

STDMETHODIMP FakeInputPin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    ++connectionAttempts;
    if (connector != nullptr) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!Accepts(*pmt)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    connectedType.Set(*pmt);
    connector = pConnector;
    connector->AddRef();
    return S_OK;
}

STDMETHODIMP FakeInputPin::Disconnect() {
    if (connector == nullptr) {
        return S_FALSE;
    }
    connector->Release();
    connector = nullptr;
    if (notifiedAllocator != nullptr) {
        notifiedAllocator->Release();
        notifiedAllocator = nullptr;
    }
    return S_OK;
}

STDMETHODIMP FakeInputPin::ConnectedTo(IPin** pPin) {
    *pPin = connector;
    if (connector == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    connector->AddRef();
    return S_OK;
}

STDMETHODIMP FakeInputPin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (connector == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &connectedType);
}

STDMETHODIMP FakeInputPin::QueryPinInfo(PIN_INFO* pInfo) {
    pInfo->pFilter = nullptr;
    wcscpy(pInfo->achName, L"In");
    pInfo->dir = PINDIR_INPUT;
    return S_OK;
}

STDMETHODIMP FakeInputPin::QueryDirection(PIN_DIRECTION* pPinDir) {
    *pPinDir = PINDIR_INPUT;
    return S_OK;
}

STDMETHODIMP FakeInputPin::QueryId(LPWSTR* Id) {
    *Id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(L"In")));
    std::memcpy(*Id, L"In", sizeof(L"In"));
    return S_OK;
}

STDMETHODIMP FakeInputPin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    return Accepts(*pmt) ? S_OK : S_FALSE;
}

STDMETHODIMP FakeInputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
    *ppEnum = new TypeList(offered);
    return S_OK;
}

STDMETHODIMP FakeInputPin::QueryInternalConnections(IPin**, ULONG*) {
    return E_NOTIMPL;
}

STDMETHODIMP FakeInputPin::EndOfStream() {
    ++endOfStreams;
    return S_OK;
}

STDMETHODIMP FakeInputPin::BeginFlush() {
    ++beginFlushes;
    return S_OK;
}

STDMETHODIMP FakeInputPin::EndFlush() {
    ++endFlushes;
    return S_OK;
}

STDMETHODIMP FakeInputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
    return S_OK;
}

STDMETHODIMP FakeInputPin::GetAllocator(IMemAllocator** ppAllocator) {
    *ppAllocator = nullptr;
    if (!ownAllocator) {
        return VFW_E_NO_ALLOCATOR;
    }
    if (offeredAllocator == nullptr) {
        HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IMemAllocator,
                                      reinterpret_cast<void**>(&offeredAllocator));
        if (FAILED(hr)) {
            return hr;
        }
    }
    *ppAllocator = offeredAllocator;
    offeredAllocator->AddRef();
    return S_OK;
}

STDMETHODIMP FakeInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL) {
    if (notifiedAllocator != nullptr) {
        notifiedAllocator->Release();
    }
    notifiedAllocator = pAllocator;
    notifiedAllocator->AddRef();
    return S_OK;
}

STDMETHODIMP FakeInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) {
    *pProps = requirements;
    return S_OK;
}

STDMETHODIMP FakeInputPin::Receive(IMediaSample* pSample) {
    ++receives;
    if (holdSamples) {
        pSample->AddRef();
        EnterCriticalSection(&m_lock);
        m_held.push_back(pSample);
        LeaveCriticalSection(&m_lock);
    }
    return S_OK;
}

STDMETHODIMP FakeInputPin::ReceiveMultiple(IMediaSample** pSamples, long nSamples,
                                           long* nSamplesProcessed) {
    for (long i = 0; i < nSamples; ++i) {
        Receive(pSamples[i]);
    }
    *nSamplesProcessed = nSamples;
    return S_OK;
}

STDMETHODIMP FakeInputPin::ReceiveCanBlock() {
    return S_FALSE;
}

}  // namespace pavix::testing
