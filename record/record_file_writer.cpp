#include "record/record_file_writer.h"

#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace pavix {

// {5A6E1C3B-7F2D-4B8E-9C41-2D7B3E8F6A10}
const CLSID CLSID_PavixRecordFileWriter = {
    0x5a6e1c3b, 0x7f2d, 0x4b8e, {0x9c, 0x41, 0x2d, 0x7b, 0x3e, 0x8f, 0x6a, 0x10}};

namespace {

HRESULT LastErrorResult() {
    const DWORD error = GetLastError();
    return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

bool LeavesFinishingRoom(const FileRoom& room, std::uint64_t fileEnd, std::uint64_t writeEnd) {
    if (writeEnd <= fileEnd) return true;  // overwrites take no new room
    const std::uint64_t growth = writeEnd - fileEnd;
    if (room.freeBytes < kRecordFinishingRoom || growth > room.freeBytes - kRecordFinishingRoom) {
        return false;
    }
    return room.largestFile >= kRecordFinishingRoom &&
           writeEnd <= room.largestFile - kRecordFinishingRoom;
}

// --- the pin ---------------------------------------------------------------------

CRecordFileWriterPin::CRecordFileWriterPin(CRecordFileWriter* filter, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(L"Pavix file writer input", filter, lock, phr, L"Input"), writer_(filter) {}

CRecordFileWriterPin::~CRecordFileWriterPin() { CloseFile(); }

STDMETHODIMP CRecordFileWriterPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IStream) return GetInterface(static_cast<IStream*>(this), ppv);
    if (riid == IID_ISequentialStream) {
        return GetInterface(static_cast<ISequentialStream*>(static_cast<IStream*>(this)), ppv);
    }
    return CBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CRecordFileWriterPin::CheckMediaType(const CMediaType* pmt) {
    if (pmt == nullptr) return E_POINTER;
    return IsEqualGUID(*pmt->Type(), MEDIATYPE_Stream) &&
                   IsEqualGUID(*pmt->Subtype(), MEDIASUBTYPE_Avi)
               ? S_OK
               : S_FALSE;
}

HRESULT CRecordFileWriterPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (pMediaType == nullptr) return E_POINTER;
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    pMediaType->Reset();
    pMediaType->SetType(&MEDIATYPE_Stream);
    pMediaType->SetSubtype(&MEDIASUBTYPE_Avi);
    pMediaType->SetSampleSize(1);
    return S_OK;
}

HRESULT CRecordFileWriterPin::BreakConnect() {
    // The multiplexer has finished the file by now (it does so when it
    // stops); nothing more will come.
    CloseFile();
    return CBaseInputPin::BreakConnect();
}

HRESULT CRecordFileWriterPin::OpenFile() {
    CAutoLock hold(&fileLock_);
    if (file_ != INVALID_HANDLE_VALUE) return S_OK;  // paused again after a stop: go on
    const wchar_t* name = writer_->FileName();
    if (name == nullptr) return E_UNEXPECTED;
    // Readers may look at the file while it grows; nobody else writes it.
    file_ = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return LastErrorResult();
    streamPosition_ = 0;
    sampleEnd_ = 0;
    fileEnd_ = 0;
    roomRefused_ = false;
    failureTold_ = false;
    largestFile_ = ~0ull;
    if (!GetVolumePathNameW(name, volume_, MAX_PATH)) volume_[0] = L'\0';
    wchar_t system[MAX_PATH] = {};
    if (volume_[0] != L'\0' &&
        GetVolumeInformationW(volume_, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH) &&
        (std::wcscmp(system, L"FAT32") == 0 || std::wcscmp(system, L"FAT") == 0)) {
        largestFile_ = 0xFFFFFFFFull;
    }
    return S_OK;
}

void CRecordFileWriterPin::CloseFile() {
    CAutoLock hold(&fileLock_);
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

bool CRecordFileWriterPin::IsFileOpen() {
    CAutoLock hold(&fileLock_);
    return file_ != INVALID_HANDLE_VALUE;
}

FileRoom CRecordFileWriterPin::Room() const {
    ULARGE_INTEGER available = {};
    // Unknown free space is no reason to refuse: the write itself will tell.
    if (volume_[0] == L'\0' || !GetDiskFreeSpaceExW(volume_, &available, nullptr, nullptr)) {
        available.QuadPart = ~0ull;
    }
    return {available.QuadPart, largestFile_};
}

HRESULT CRecordFileWriterPin::WriteLocked(ULONGLONG position, const void* data, DWORD size,
                                          DWORD* written) {
    *written = 0;
    if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    const ULONGLONG end = position + size;
    if (end > fileEnd_ && !roomRefused_ && !LeavesFinishingRoom(Room(), fileEnd_, end)) {
        roomRefused_ = true;
        return STG_E_MEDIUMFULL;
    }
    // A positioned write: the handle's own file pointer is nobody's.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    if (!WriteFile(file_, data, size, written, &at)) {
        const DWORD error = GetLastError();
        return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL
                   ? STG_E_MEDIUMFULL
                   : error == 0 ? STG_E_WRITEFAULT : HRESULT_FROM_WIN32(error);
    }
    if (position + *written > fileEnd_) fileEnd_ = position + *written;
    return *written == size ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT CRecordFileWriterPin::WriteAt(ULONGLONG position, const void* data, DWORD size,
                                      DWORD* written) {
    HRESULT hr;
    bool tell = false;
    {
        CAutoLock hold(&fileLock_);
        hr = WriteLocked(position, data, size, written);
        if (FAILED(hr) && !failureTold_ && file_ != INVALID_HANDLE_VALUE) {
            failureTold_ = true;
            tell = true;
        }
    }
    // Outside the file's lock: the graph may call back into the filter.
    if (tell) writer_->NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
}

STDMETHODIMP CRecordFileWriterPin::Receive(IMediaSample* pSample) {
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    BYTE* data = nullptr;
    hr = pSample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    const long length = pSample->GetActualDataLength();
    if (length < 0) return E_UNEXPECTED;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    ULONGLONG position;
    if (FAILED(pSample->GetTime(&start, &stop))) {
        // No position: the bytes follow the previous sample's.
        CAutoLock hold(&fileLock_);
        position = sampleEnd_;
    } else {
        if (start < 0) return E_INVALIDARG;
        position = static_cast<ULONGLONG>(start);
    }
    DWORD written = 0;
    hr = WriteAt(position, data, static_cast<DWORD>(length), &written);
    CAutoLock hold(&fileLock_);
    sampleEnd_ = position + written;
    return hr;
}

STDMETHODIMP CRecordFileWriterPin::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (pv == nullptr) return STG_E_INVALIDPOINTER;
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(streamPosition_);
    at.OffsetHigh = static_cast<DWORD>(streamPosition_ >> 32);
    DWORD read = 0;
    // Reading at or past the end is a short read, not a failure.
    if (!ReadFile(file_, pv, cb, &read, &at) && GetLastError() != ERROR_HANDLE_EOF) {
        return STG_E_READFAULT;
    }
    streamPosition_ += read;
    if (pcbRead != nullptr) *pcbRead = read;
    return read == cb ? S_OK : S_FALSE;
}

STDMETHODIMP CRecordFileWriterPin::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (pv == nullptr) return STG_E_INVALIDPOINTER;
    if (pcbWritten != nullptr) *pcbWritten = 0;
    ULONGLONG position;
    {
        CAutoLock hold(&fileLock_);
        if (file_ == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
        position = streamPosition_;
    }
    DWORD written = 0;
    const HRESULT hr = WriteAt(position, pv, cb, &written);
    CAutoLock hold(&fileLock_);
    streamPosition_ = position + written;
    if (pcbWritten != nullptr) *pcbWritten = written;
    return hr == E_UNEXPECTED ? STG_E_ACCESSDENIED : hr;
}

STDMETHODIMP CRecordFileWriterPin::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                        ULARGE_INTEGER* plibNewPosition) {
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
    LONGLONG base = 0;
    switch (dwOrigin) {
    case STREAM_SEEK_SET:
        break;
    case STREAM_SEEK_CUR:
        base = static_cast<LONGLONG>(streamPosition_);
        break;
    case STREAM_SEEK_END: {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file_, &size)) return STG_E_SEEKERROR;
        base = size.QuadPart;
        break;
    }
    default:
        return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG target = base + dlibMove.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    streamPosition_ = static_cast<ULONGLONG>(target);
    if (plibNewPosition != nullptr) plibNewPosition->QuadPart = streamPosition_;
    return S_OK;
}

STDMETHODIMP CRecordFileWriterPin::SetSize(ULARGE_INTEGER libNewSize) {
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(libNewSize.QuadPart);
    if (size.QuadPart < 0) return STG_E_INVALIDFUNCTION;
    // The handle's file pointer is used by nothing else: every read and
    // write names its position.
    if (!SetFilePointerEx(file_, size, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) {
        return STG_E_MEDIUMFULL;
    }
    fileEnd_ = libNewSize.QuadPart;
    return S_OK;
}

STDMETHODIMP CRecordFileWriterPin::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                          ULARGE_INTEGER*) {
    return E_NOTIMPL;
}

STDMETHODIMP CRecordFileWriterPin::Commit(DWORD) { return S_OK; }  // written through

STDMETHODIMP CRecordFileWriterPin::Revert() { return S_OK; }  // nothing is held back

STDMETHODIMP CRecordFileWriterPin::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

STDMETHODIMP CRecordFileWriterPin::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

STDMETHODIMP CRecordFileWriterPin::Stat(STATSTG* pstatstg, DWORD grfStatFlag) {
    if (pstatstg == nullptr) return STG_E_INVALIDPOINTER;
    std::memset(pstatstg, 0, sizeof(*pstatstg));
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_, &size)) return STG_E_ACCESSDENIED;
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
    pstatstg->grfMode = STGM_READWRITE;
    if ((grfStatFlag & STATFLAG_NONAME) == 0 && writer_->FileName() != nullptr) {
        const size_t bytes = (std::wcslen(writer_->FileName()) + 1) * sizeof(wchar_t);
        pstatstg->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (pstatstg->pwcsName == nullptr) return E_OUTOFMEMORY;
        std::memcpy(pstatstg->pwcsName, writer_->FileName(), bytes);
    }
    return S_OK;
}

STDMETHODIMP CRecordFileWriterPin::Clone(IStream** ppstm) {
    if (ppstm != nullptr) *ppstm = nullptr;
    return E_NOTIMPL;
}

// --- the filter ------------------------------------------------------------------

CRecordFileWriter::CRecordFileWriter()
    : CBaseFilter(L"Pavix file writer", nullptr, &lock_, CLSID_PavixRecordFileWriter) {}

CRecordFileWriter::~CRecordFileWriter() {
    delete pin_;
    delete[] fileName_;
}

IBaseFilter* CRecordFileWriter::Create() {
    auto* writer = new (std::nothrow) CRecordFileWriter();
    if (writer == nullptr) return nullptr;
    HRESULT hr = S_OK;
    writer->pin_ = new (std::nothrow) CRecordFileWriterPin(writer, &writer->lock_, &hr);
    IBaseFilter* filter = nullptr;
    if (writer->pin_ == nullptr || FAILED(hr) ||
        FAILED(writer->NonDelegatingQueryInterface(IID_IBaseFilter,
                                                   reinterpret_cast<void**>(&filter)))) {
        delete writer;
        return nullptr;
    }
    return filter;
}

STDMETHODIMP CRecordFileWriter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IFileSinkFilter) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CRecordFileWriter::Pause() {
    CAutoLock hold(&lock_);
    if (IsStopped()) {
        HRESULT hr = pin_->OpenFile();
        if (FAILED(hr)) return hr;
    }
    return CBaseFilter::Pause();
}

int CRecordFileWriter::GetPinCount() { return pin_ != nullptr ? 1 : 0; }

CBasePin* CRecordFileWriter::GetPin(int n) { return n == 0 ? pin_ : nullptr; }

STDMETHODIMP CRecordFileWriter::SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE*) {
    if (pszFileName == nullptr) return E_POINTER;
    CAutoLock hold(&lock_);
    // A stopped writer may still hold the last recording's file, which its
    // multiplexer is finishing.
    if (!IsStopped() || (pin_ != nullptr && pin_->IsFileOpen())) return VFW_E_WRONG_STATE;
    const size_t length = std::wcslen(pszFileName);
    auto* copy = new (std::nothrow) wchar_t[length + 1];
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::wmemcpy(copy, pszFileName, length + 1);
    delete[] fileName_;
    fileName_ = copy;
    return S_OK;
}

STDMETHODIMP CRecordFileWriter::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) {
    if (ppszFileName == nullptr) return E_POINTER;
    CAutoLock hold(&lock_);
    *ppszFileName = nullptr;
    if (pmt != nullptr) {
        std::memset(pmt, 0, sizeof(*pmt));
        pmt->majortype = MEDIATYPE_Stream;
        pmt->subtype = MEDIASUBTYPE_Avi;
    }
    if (fileName_ == nullptr) return S_OK;
    const size_t bytes = (std::wcslen(fileName_) + 1) * sizeof(wchar_t);
    *ppszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (*ppszFileName == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*ppszFileName, fileName_, bytes);
    return S_OK;
}

}  // namespace pavix
