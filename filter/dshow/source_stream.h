#pragma once

// CSourceStream: the output pin of a CSource with its streaming thread.
//
// Pausing the filter (from stopped) commits the allocator, starts the
// thread (OnThreadCreate) and puts it into its delivery loop, so samples
// flow in Paused as in Running. Each pass of the loop takes a pending
// command, gets an empty sample (a failure, such as a decommitted
// allocator, is retried after 1 ms), lets FillBuffer fill it and delivers
// it (or, when FillBuffer has nothing this time, drops it and goes round
// again). FillBuffer's S_FALSE ends the stream: the sample is dropped, end of
// stream goes downstream and the thread waits for its next command. A
// FillBuffer failure ends the stream as well and tells the graph
// EC_ERRORABORT with the failure code. A refused delivery (the peer
// stopping or flushing) leaves the loop quietly.
//
// Stopping decommits the allocator first (releasing a thread waiting for a
// buffer), then tells the thread to stop and to exit, and waits for it. The
// filter lock is held meanwhile: FillBuffer must never wait for it.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/am_thread.h"
#include "filter/dshow/base_output_pin.h"
#include "filter/dshow/source.h"

class CSourceStream : public CAMThread, public CBaseOutputPin {
public:
    CSourceStream(const WCHAR* pObjectName, HRESULT* phr, CSource* pms, LPCWSTR pName);
    ~CSourceStream() override;

    STDMETHODIMP QueryId(LPWSTR* Id) override;

protected:
    enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };

    // Fills one sample: S_OK delivers it, S_FALSE ends the stream,
    // kNothingToDeliver drops it and the loop goes on (pending commands
    // first), a failure aborts the stream.
    virtual HRESULT FillBuffer(IMediaSample* pSample) = 0;
    static constexpr HRESULT kNothingToDeliver = static_cast<HRESULT>(2);

    // Hooks on the streaming thread.
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

    HRESULT Active() override;
    HRESULT Inactive() override;

    // Commands for the thread.
    HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
    HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
    HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
    HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
    HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }
    using CBaseOutputPin::Run;

    DWORD ThreadProc() override;
    virtual HRESULT DoBufferProcessingLoop();

    // Media types: by default the pin offers the one type of the
    // one-argument GetMediaType and accepts exactly that.
    HRESULT CheckMediaType(const CMediaType* pMediaType) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    virtual HRESULT GetMediaType(CMediaType* pMediaType);

    CSource* m_pFilter;
};
