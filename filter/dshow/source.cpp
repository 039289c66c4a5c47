#include "filter/dshow/source.h"

#include <new>

#include "filter/dshow/source_stream.h"

CSource::CSource(const WCHAR* pName, LPUNKNOWN lpunk, CLSID clsid)
    : CBaseFilter(pName, lpunk, &m_cStateLock, clsid), m_iPins(0), m_paStreams(nullptr) {}

CSource::~CSource() {
    // Each stream removes itself from the array as it goes.
    while (m_iPins > 0) {
        delete m_paStreams[m_iPins - 1];
    }
    delete[] m_paStreams;
}

int CSource::GetPinCount() {
    CAutoLock lock(&m_cStateLock);
    return m_iPins;
}

CBasePin* CSource::GetPin(int n) {
    CAutoLock lock(&m_cStateLock);
    if (n < 0 || n >= m_iPins) {
        return nullptr;
    }
    return m_paStreams[n];
}

HRESULT CSource::AddPin(CSourceStream* pStream) {
    CAutoLock lock(&m_cStateLock);
    auto* streams = new (std::nothrow) CSourceStream*[m_iPins + 1];
    if (streams == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (int i = 0; i < m_iPins; ++i) {
        streams[i] = m_paStreams[i];
    }
    streams[m_iPins] = pStream;
    delete[] m_paStreams;
    m_paStreams = streams;
    ++m_iPins;
    IncrementPinVersion();
    return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* pStream) {
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (m_paStreams[i] == pStream) {
            for (int j = i + 1; j < m_iPins; ++j) {
                m_paStreams[j - 1] = m_paStreams[j];
            }
            --m_iPins;
            m_paStreams[m_iPins] = nullptr;
            IncrementPinVersion();
            return S_OK;
        }
    }
    return S_FALSE;
}
