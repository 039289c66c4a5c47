#pragma once

// The video-input devices a DirectShow capture application finds through
// the system device enumerator, with what their registration says.

#include <windows.h>
#include <strmif.h>

#include <string>
#include <vector>

namespace pavix::tools {

struct DevicePinType {
    GUID major;
    GUID minor;
};

struct DevicePin {
    bool output = false;
    GUID category = GUID_NULL;
    std::vector<DevicePinType> types;
};

struct VideoDevice {
    std::wstring friendlyName;
    std::wstring clsid;          // registry text form, empty when not registered
    bool haveFilterData = false;  // the rest is only valid when true
    DWORD merit = 0;
    std::vector<DevicePin> pins;
};

// Every device of the video-input category (an empty list is S_OK). COM
// must be initialised on the calling thread.
HRESULT ListVideoInputDevices(std::vector<VideoDevice>* devices);

// Binds the first device with this friendly name to its filter;
// HRESULT_FROM_WIN32(ERROR_NOT_FOUND) when there is none.
HRESULT OpenVideoInputDevice(const std::wstring& friendlyName, IBaseFilter** filter);

// Names for the GUIDs a camera's registration uses ("Video", "RGB24",
// "capture", ...), else the registry text form.
std::string GuidName(const GUID& guid);
std::string Narrow(const std::wstring& text);

}  // namespace pavix::tools
