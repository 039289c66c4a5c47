#include "filter/dshow/source_stream.h"

#include <evcode.h>
#include <vfwmsgs.h>

CSourceStream::CSourceStream(const WCHAR* pObjectName, HRESULT* phr, CSource* pms,
                             LPCWSTR pName)
    : CAMThread(),
      CBaseOutputPin(pObjectName, pms, pms->pStateLock(), phr, pName),
      m_pFilter(pms) {
    HRESULT hr = m_pFilter->AddPin(this);
    if (FAILED(hr) && phr != nullptr) {
        *phr = hr;
    }
}

CSourceStream::~CSourceStream() {
    // The filter stops the thread before a stream can go; this is only a
    // guard against a thread left running.
    if (ThreadExists()) {
        Exit();
        Close();
    }
    m_pFilter->RemovePin(this);
}

STDMETHODIMP CSourceStream::QueryId(LPWSTR* Id) {
    return CBaseOutputPin::QueryId(Id);
}

HRESULT CSourceStream::Active() {
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected()) {
        return S_OK;
    }
    if (ThreadExists()) {
        return S_FALSE;  // already streaming
    }
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) {
        return hr;
    }
    if (!Create()) {
        CBaseOutputPin::Inactive();
        return E_FAIL;
    }
    hr = Init();
    if (FAILED(hr)) {
        Exit();
        Close();
        CBaseOutputPin::Inactive();
        return hr;
    }
    return Pause();
}

HRESULT CSourceStream::Inactive() {
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected()) {
        return S_OK;
    }
    // Decommit first: a thread waiting for a buffer gets a failure at once
    // and comes round to its commands.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (ThreadExists()) {
        HRESULT stopped = Stop();
        HRESULT exited = Exit();
        Close();
        if (SUCCEEDED(hr)) {
            hr = FAILED(stopped) ? stopped : exited;
        }
    }
    return hr;
}

DWORD CSourceStream::ThreadProc() {
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        DWORD command = GetRequest();
        if (command == CMD_EXIT) {
            HRESULT hr = OnThreadDestroy();
            Reply(static_cast<DWORD>(hr));
            break;
        }
        switch (command) {
        case CMD_INIT: {
            HRESULT hr = OnThreadCreate();
            Reply(static_cast<DWORD>(hr));
            break;
        }
        case CMD_PAUSE:
        case CMD_RUN:
            Reply(static_cast<DWORD>(S_OK));
            DoBufferProcessingLoop();
            break;
        case CMD_STOP:
            Reply(static_cast<DWORD>(S_OK));
            break;
        default:
            Reply(static_cast<DWORD>(E_UNEXPECTED));
            break;
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return 0;
}

HRESULT CSourceStream::DoBufferProcessingLoop() {
    OnThreadStartPlay();
    for (;;) {
        DWORD command;
        if (CheckRequest(&command)) {
            if (command == CMD_PAUSE || command == CMD_RUN) {
                Reply(static_cast<DWORD>(S_OK));  // streaming already
            } else {
                return S_OK;  // stop or exit: the thread's main loop answers
            }
        }

        IMediaSample* sample = nullptr;
        HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
        if (FAILED(hr) || sample == nullptr) {
            Sleep(1);
            continue;
        }

        hr = FillBuffer(sample);
        if (hr == S_OK) {
            hr = Deliver(sample);
            sample->Release();
            if (hr != S_OK) {
                return S_OK;  // downstream wants no more for now
            }
        } else if (hr == kNothingToDeliver) {
            sample->Release();
        } else if (hr == S_FALSE) {
            sample->Release();
            DeliverEndOfStream();
            return S_OK;
        } else {
            sample->Release();
            DeliverEndOfStream();
            m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
            return hr;
        }
    }
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* pMediaType) {
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType offered;
    HRESULT hr = GetMediaType(&offered);
    if (FAILED(hr)) {
        return hr;
    }
    return offered == *pMediaType ? S_OK : E_FAIL;
}

HRESULT CSourceStream::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (iPosition < 0) {
        return E_INVALIDARG;
    }
    if (iPosition > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return GetMediaType(pMediaType);
}

HRESULT CSourceStream::GetMediaType(CMediaType* /*pMediaType*/) {
    return E_UNEXPECTED;
}
