#include "filter/dshow/media_type.h"

#include <cstring>

namespace {

void InitMediaType(AM_MEDIA_TYPE& type) {
    std::memset(&type, 0, sizeof(type));
    // A new type describes fixed-size samples of one byte, as DirectShow
    // expects of a default type.
    type.lSampleSize = 1;
    type.bFixedSizeSamples = TRUE;
}

}  // namespace

void FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.cbFormat != 0 || type.pbFormat != nullptr) {
        CoTaskMemFree(type.pbFormat);
        type.cbFormat = 0;
        type.pbFormat = nullptr;
    }
    if (type.pUnk != nullptr) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) {
        return;
    }
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
    if (target == nullptr || source == nullptr) {
        return E_POINTER;
    }
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat != nullptr) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (target->pbFormat == nullptr) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk != nullptr) {
        target->pUnk->AddRef();
    }
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type == nullptr) {
        return nullptr;
    }
    if (FAILED(CopyMediaType(type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

CMediaType::CMediaType() : AM_MEDIA_TYPE() {
    InitMediaType(*this);
}

CMediaType::CMediaType(const GUID* majorType) : CMediaType() {
    majortype = *majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type, HRESULT* phr) : CMediaType() {
    HRESULT hr = Set(type);
    if (phr != nullptr) {
        *phr = hr;
    }
}

CMediaType::CMediaType(const CMediaType& type) : CMediaType() {
    Set(type);
}

CMediaType& CMediaType::operator=(const CMediaType& type) {
    Set(type);
    return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type) {
    Set(type);
    return *this;
}

CMediaType::~CMediaType() {
    FreeMediaType(*this);
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type) {
    if (&type == static_cast<const AM_MEDIA_TYPE*>(this)) {
        return S_OK;
    }
    FreeMediaType(*this);
    HRESULT hr = CopyMediaType(this, &type);
    if (FAILED(hr)) {
        InitMediaType(*this);
    }
    return hr;
}

void CMediaType::Reset() {
    FreeMediaType(*this);
    InitMediaType(*this);
}

void CMediaType::SetSampleSize(ULONG size) {
    if (size == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = size;
    }
}

void CMediaType::SetVariableSize() {
    bFixedSizeSamples = FALSE;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
    if (length == 0) {
        return nullptr;
    }
    if (cbFormat == length && pbFormat != nullptr) {
        return pbFormat;
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (block == nullptr) {
        return nullptr;
    }
    CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return block;
}

BOOL CMediaType::SetFormat(const BYTE* format, ULONG length) {
    BYTE* block = AllocFormatBuffer(length);
    if (block == nullptr) {
        return FALSE;
    }
    std::memcpy(block, format, length);
    return TRUE;
}

BOOL CMediaType::IsPartiallySpecified() const {
    return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

BOOL CMediaType::MatchesPartial(const CMediaType* partial) const {
    if (partial->majortype != GUID_NULL && partial->majortype != majortype) {
        return FALSE;
    }
    if (partial->subtype != GUID_NULL && partial->subtype != subtype) {
        return FALSE;
    }
    if (partial->formattype != GUID_NULL) {
        if (partial->formattype != formattype) {
            return FALSE;
        }
        if (partial->cbFormat != 0) {
            if (partial->cbFormat != cbFormat ||
                std::memcmp(partial->pbFormat, pbFormat, cbFormat) != 0) {
                return FALSE;
            }
        }
    }
    return TRUE;
}

bool CMediaType::operator==(const CMediaType& other) const {
    return majortype == other.majortype && subtype == other.subtype &&
           formattype == other.formattype && cbFormat == other.cbFormat &&
           (cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}
