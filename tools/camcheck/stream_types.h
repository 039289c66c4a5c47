#pragma once

// The types a camera's capture pin offers through IAMStreamConfig, and
// choosing one of them before the graph is built, as capture applications
// do.

#include <windows.h>
#include <dshow.h>

#include <vector>

#include "tools/camcheck/sample_picture.h"

namespace pavix::tools {

// The media subtype of a sample format. NV12 and I420 are FOURCC GUIDs,
// which older platform headers do not name.
const GUID& SubtypeOf(SampleFormat format);
// False for a subtype that is none of the five.
bool FormatOfSubtype(const GUID& subtype, SampleFormat* format);

struct StreamType {
    int index = 0;            // for GetStreamCaps
    bool known = false;       // a VideoInfo type of one of the five formats
    GUID subtype = GUID_NULL;
    SampleFormat format = SampleFormat::RGB24;
    int width = 0;
    int height = 0;           // as biHeight says: negative for top-down RGB
    int bitCount = 0;
    REFERENCE_TIME avgTimePerFrame = 0;
    LONGLONG minFrameInterval = 0;  // from the capability record
    LONGLONG maxFrameInterval = 0;
};

// Every capability of the camera's capture pin.
HRESULT ListStreamTypes(IBaseFilter* camera, std::vector<StreamType>* types);

// Finds the capability of that size and format (width 0: any size; the
// first such) and gives it to the pin with SetFormat. `chosen` says which.
// VFW_E_NO_ACCEPTABLE_TYPES when the camera offers none such.
HRESULT ChooseStreamType(IBaseFilter* camera, int width, int height, SampleFormat format,
                         StreamType* chosen);

}  // namespace pavix::tools
