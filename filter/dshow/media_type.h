#pragma once

// CMediaType: an AM_MEDIA_TYPE that owns its format block (task allocator)
// and its pUnk reference, with deep copies. Plus the free functions that
// release or copy plain AM_MEDIA_TYPE structures handed across interfaces.

#include <windows.h>
#include <strmif.h>

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const GUID* majorType);
    CMediaType(const AM_MEDIA_TYPE& type, HRESULT* phr = nullptr);
    CMediaType(const CMediaType& type);
    CMediaType& operator=(const CMediaType& type);
    CMediaType& operator=(const AM_MEDIA_TYPE& type);
    ~CMediaType();

    // Deep copy; E_OUTOFMEMORY leaves this type without a format block.
    HRESULT Set(const AM_MEDIA_TYPE& type);
    // Frees the format block and pUnk and resets every field.
    void Reset();

    const GUID* Type() const { return &majortype; }
    const GUID* Subtype() const { return &subtype; }
    const GUID* FormatType() const { return &formattype; }
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }

    void SetType(const GUID* type) { majortype = *type; }
    void SetSubtype(const GUID* type) { subtype = *type; }
    void SetFormatType(const GUID* type) { formattype = *type; }
    void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }
    void SetSampleSize(ULONG size);
    void SetVariableSize();

    // A format block of `length` bytes (the existing one when it already has
    // that length), or null when none can be allocated. Its content is
    // undefined until the caller fills it.
    BYTE* AllocFormatBuffer(ULONG length);
    // Replaces the format block by a copy of `format`.
    BOOL SetFormat(const BYTE* format, ULONG length);

    BOOL IsValid() const { return majortype != GUID_NULL; }
    // Major type, subtype or format type left open (GUID_NULL).
    BOOL IsPartiallySpecified() const;
    // Whether this type fits `partial`: every GUID that `partial` names is
    // equal, and so is the format block when `partial` carries one.
    BOOL MatchesPartial(const CMediaType* partial) const;

    bool operator==(const CMediaType& other) const;
    bool operator!=(const CMediaType& other) const { return !(*this == other); }
};

// Releases the format block and the pUnk reference of `type` (not the
// structure itself) and clears them.
void FreeMediaType(AM_MEDIA_TYPE& type);
// FreeMediaType, then CoTaskMemFree of the structure. Accepts null.
void DeleteMediaType(AM_MEDIA_TYPE* type);
// A deep copy into a new task-allocated structure, or null.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
// A deep copy into `target`, whose own contents are overwritten (not freed).
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
