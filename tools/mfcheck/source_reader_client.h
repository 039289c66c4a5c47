#pragma once

// The Media Foundation camera as an application meets it, for mfcheck, the
// tests and the benchmark: the module loaded from a path and asked for its
// class object (as COM would), the source read through Media Foundation's
// own source reader.

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdint>
#include <vector>

#include "shared/com_ref.h"
#include "tools/camcheck/sample_picture.h"

namespace pavix::tools {

class CMediaSourceModule {
public:
    explicit CMediaSourceModule(const wchar_t* path);
    ~CMediaSourceModule();
    CMediaSourceModule(const CMediaSourceModule&) = delete;
    CMediaSourceModule& operator=(const CMediaSourceModule&) = delete;

    bool Loaded() const { return factory_ != nullptr; }
    // A new source, through the activation object the Frame Server gets.
    HRESULT CreateSource(IMFMediaSource** source) const;
    // The class object's CreateInstance for `riid`.
    HRESULT CreateInstance(REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    // Lets go of the class object (CreateSource fails from then on).
    void ReleaseClassObject();
    HRESULT Register() const;
    HRESULT Unregister() const;

private:
    HMODULE module_ = nullptr;
    IClassFactory* factory_ = nullptr;
};

// The layout a media type describes (its subtype among NV12, YUY2 and
// RGB32, top-down); false for anything else.
bool LayoutOfMediaType(IMFMediaType* type, SampleLayout* layout);

// A source reader of `source`'s first video stream.
HRESULT OpenSourceReader(IMFMediaSource* source, ComRef<IMFSourceReader>* reader);
// The stream's native types, in the order the source lists them.
std::vector<SampleLayout> NativeLayouts(IMFSourceReader* reader);
// Chooses the native type of `layout`'s format and size.
HRESULT ChooseLayout(IMFSourceReader* reader, const SampleLayout& layout);

struct ReadResult {
    std::vector<std::uint8_t> bytes;  // the sample's contiguous bytes
    LONGLONG time = 0;                // its stamp, 100 ns units
    std::int64_t readAt = 0;          // QueryPerformanceCounter when ReadSample returned
};
// The next sample (ReadSample blocks until it comes); failures and stream
// ticks (no sample) as an HRESULT.
HRESULT ReadNextSample(IMFSourceReader* reader, ReadResult* result);

}  // namespace pavix::tools
