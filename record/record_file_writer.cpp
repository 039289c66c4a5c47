#include "record/record_file_writer.h"

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
    return file_ == INVALID_HANDLE_VALUE ? LastErrorResult() : S_OK;
}

void CRecordFileWriterPin::CloseFile() {
    CAutoLock hold(&fileLock_);
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

HRESULT CRecordFileWriterPin::WriteAt(LONGLONG position, const BYTE* data, DWORD size) {
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    LARGE_INTEGER at;
    at.QuadPart = position;
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return LastErrorResult();
    DWORD written = 0;
    if (!WriteFile(file_, data, size, &written, nullptr)) return LastErrorResult();
    return written == size ? S_OK : E_FAIL;
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
    if (FAILED(pSample->GetTime(&start, &stop))) {
        // No position: the bytes follow the previous ones.
        CAutoLock hold(&fileLock_);
        if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
        DWORD written = 0;
        if (!WriteFile(file_, data, static_cast<DWORD>(length), &written, nullptr)) {
            return LastErrorResult();
        }
        return written == static_cast<DWORD>(length) ? S_OK : E_FAIL;
    }
    if (start < 0) return E_INVALIDARG;
    return WriteAt(start, data, static_cast<DWORD>(length));
}

STDMETHODIMP CRecordFileWriterPin::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (pv == nullptr) return STG_E_INVALIDPOINTER;
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    DWORD read = 0;
    if (!ReadFile(file_, pv, cb, &read, nullptr)) return STG_E_READFAULT;
    if (pcbRead != nullptr) *pcbRead = read;
    return read == cb ? S_OK : S_FALSE;
}

STDMETHODIMP CRecordFileWriterPin::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (pv == nullptr) return STG_E_INVALIDPOINTER;
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
    DWORD written = 0;
    const BOOL ok = WriteFile(file_, pv, cb, &written, nullptr);
    if (pcbWritten != nullptr) *pcbWritten = written;
    if (!ok) return STG_E_WRITEFAULT;
    return written == cb ? S_OK : STG_E_MEDIUMFULL;
}

STDMETHODIMP CRecordFileWriterPin::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                        ULARGE_INTEGER* plibNewPosition) {
    DWORD method = FILE_BEGIN;
    switch (dwOrigin) {
    case STREAM_SEEK_SET:
        method = FILE_BEGIN;
        break;
    case STREAM_SEEK_CUR:
        method = FILE_CURRENT;
        break;
    case STREAM_SEEK_END:
        method = FILE_END;
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
    LARGE_INTEGER now;
    if (!SetFilePointerEx(file_, dlibMove, &now, method)) return STG_E_SEEKERROR;
    if (plibNewPosition != nullptr) plibNewPosition->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
    return S_OK;
}

STDMETHODIMP CRecordFileWriterPin::SetSize(ULARGE_INTEGER libNewSize) {
    CAutoLock hold(&fileLock_);
    if (file_ == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
    LARGE_INTEGER zero = {};
    LARGE_INTEGER here;
    if (!SetFilePointerEx(file_, zero, &here, FILE_CURRENT)) return STG_E_SEEKERROR;
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(libNewSize.QuadPart);
    if (size.QuadPart < 0) return STG_E_INVALIDFUNCTION;
    HRESULT hr = S_OK;
    if (!SetFilePointerEx(file_, size, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) {
        hr = STG_E_MEDIUMFULL;
    }
    SetFilePointerEx(file_, here, nullptr, FILE_BEGIN);
    return hr;
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
    if (!IsStopped()) return VFW_E_WRONG_STATE;
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
