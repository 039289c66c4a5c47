#pragma once

// The object the source's class identifier creates for the Frame Server:
// an activation object (IMFActivate) whose ActivateObject makes the media
// source, once, and whose ShutdownObject shuts it down. Its attributes are
// a plain attribute store.

#include <windows.h>
#include <mfidl.h>

namespace pavix {

HRESULT CreateMediaSourceActivate(REFIID riid, void** ppv);

}  // namespace pavix
