#pragma once

// The program's own file writer: the end of a recording graph where the
// system's File writer cannot serve. One input pin takes the AVI
// multiplexer's byte stream, either as media samples (each sample's start
// time is its byte position in the file) or through IStream on the pin
// (write, seek, size), which is how a multiplexer writes its headers and
// index. Every write names its own position (the stream's position is ours,
// not the file handle's), so samples and stream writes from different
// threads never move each other's place. The file is created when the graph
// first pauses and stays open after a stop, so that the multiplexer can
// finish it; it is closed when the pin is disconnected or the filter goes
// away. Created in-process, never registered.
//
// A full volume: the file is not let grow into the last
// kRecordFinishingRoom bytes of the volume (nor past what its file system
// holds in one file). The write that would is refused and the graph told
// (EC_ERRORABORT with STG_E_MEDIUMFULL), once; the writes after it, which
// are the multiplexer finishing the file when the recording stops, may use
// that room, so the file ends with its index.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/base_filter.h"
#include "filter/dshow/base_input_pin.h"
#include "filter/dshow/crit_sec.h"
#include "record/record_room.h"

#include <cstdint>

namespace pavix {

class CRecordFileWriter;

// The room a recording's file has: the volume's free bytes, and the largest
// file its file system holds (FAT32: 4 GiB - 1).
struct FileRoom {
    std::uint64_t freeBytes;
    std::uint64_t largestFile;
};

// Whether growing a file from `fileEnd` to `writeEnd` bytes leaves the
// finishing room, on the volume and below the file system's largest file.
bool LeavesFinishingRoom(const FileRoom& room, std::uint64_t fileEnd, std::uint64_t writeEnd);

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
    bool IsFileOpen();

private:
    // Writes `size` bytes at `position`, within the volume's room (see
    // above); tells the graph about the first write that fails.
    HRESULT WriteAt(ULONGLONG position, const void* data, DWORD size, DWORD* written);
    HRESULT WriteLocked(ULONGLONG position, const void* data, DWORD size, DWORD* written);
    FileRoom Room() const;

    CRecordFileWriter* writer_;
    CCritSec fileLock_;  // the members below; the multiplexer writes from any thread
    HANDLE file_ = INVALID_HANDLE_VALUE;
    ULONGLONG streamPosition_ = 0;  // IStream's position
    ULONGLONG sampleEnd_ = 0;       // where a sample without a position goes
    ULONGLONG fileEnd_ = 0;
    std::uint64_t largestFile_ = ~0ull;
    wchar_t volume_[MAX_PATH] = {};
    bool roomRefused_ = false;  // the finishing room is the multiplexer's now
    bool failureTold_ = false;
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

    // IFileSinkFilter: the file to write; the type is not used. Refused
    // while a file is open (it belongs to the recording that opened it).
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
