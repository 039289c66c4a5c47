#pragma once

// The program's own file writer: the end of a recording graph where the
// system's File writer cannot serve. One input pin takes the AVI
// multiplexer's byte stream, either as media samples (each sample's start
// time is its byte position in the file) or through IStream on the pin
// (write, seek, size), which is how a multiplexer writes its headers and
// index. The file is created when the graph first pauses and stays open
// after a stop, so that the multiplexer can finish it; it is closed when the
// pin is disconnected or the filter goes away. Created in-process, never
// registered.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/base_filter.h"
#include "filter/dshow/base_input_pin.h"
#include "filter/dshow/crit_sec.h"

namespace pavix {

class CRecordFileWriter;

class CRecordFileWriterPin final : public CBaseInputPin, public IStream {
public:
    CRecordFileWriterPin(CRecordFileWriter* filter, CCritSec* lock, HRESULT* phr);
    ~CRecordFileWriterPin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // The multiplexer's stream type only: MEDIATYPE_Stream, MEDIASUBTYPE_Avi.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT BreakConnect() override;

    STDMETHODIMP Receive(IMediaSample* pSample) override;

    // ISequentialStream and IStream over the file.
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                      ULARGE_INTEGER* plibNewPosition) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override;
    STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                        ULARGE_INTEGER* pcbWritten) override;
    STDMETHODIMP Commit(DWORD grfCommitFlags) override;
    STDMETHODIMP Revert() override;
    STDMETHODIMP LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                            DWORD dwLockType) override;
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                              DWORD dwLockType) override;
    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    STDMETHODIMP Clone(IStream** ppstm) override;

    // Creates the file named on the filter, unless it is open already.
    HRESULT OpenFile();
    void CloseFile();

private:
    HRESULT WriteAt(LONGLONG position, const BYTE* data, DWORD size);

    CRecordFileWriter* writer_;
    CCritSec fileLock_;  // the file handle; the multiplexer writes from any thread
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

class CRecordFileWriter final : public CBaseFilter, public IFileSinkFilter {
public:
    // A new writer with one reference, as IBaseFilter; null when it cannot
    // be made.
    static IBaseFilter* Create();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // Pausing from stopped creates the file; a file that cannot be made
    // fails the pause.
    STDMETHODIMP Pause() override;

    // IFileSinkFilter: the file to write; the type is not used.
    STDMETHODIMP SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;

    // The file name set, or null (under the filter lock).
    const wchar_t* FileName() const { return fileName_; }

private:
    CRecordFileWriter();
    ~CRecordFileWriter() override;

    CCritSec lock_;
    CRecordFileWriterPin* pin_ = nullptr;
    wchar_t* fileName_ = nullptr;
};

// The writer's class identifier: it names the filter inside a graph only.
extern const CLSID CLSID_PavixRecordFileWriter;

}  // namespace pavix
