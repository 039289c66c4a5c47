#pragma once

// The parts of the Media Foundation camera API that mingw-w64's headers
// lack, declared from Microsoft's published API documentation: the stream
// state interface IMFMediaStream2 (mfidl.h), the device-stream attributes a
// camera's stream descriptor carries (mfapi.h), and the virtual camera
// (mfvirtualcamera.h, Windows 11 build 22000 on). MFCreateVirtualCamera is
// never linked: it is looked up in mfsensorgroup.dll at run time
// (virtual_camera_control.h), so the program starts on every Windows.

#include <windows.h>
#include <mfidl.h>
#include <mfobjects.h>

// ---- IMFMediaStream2 -------------------------------------------------------

// MF_STREAM_STATE itself comes with mingw-w64's mfobjects.h.

// {C5BC37D6-75C7-46A1-A132-81B5F723C20F}
inline constexpr IID kIidMFMediaStream2 = {
    0xc5bc37d6, 0x75c7, 0x46a1, {0xa1, 0x32, 0x81, 0xb5, 0xf7, 0x23, 0xc2, 0x0f}};

struct IMFMediaStream2Api : public IMFMediaStream {
    virtual HRESULT STDMETHODCALLTYPE SetStreamState(MF_STREAM_STATE value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamState(MF_STREAM_STATE* value) = 0;
};

// ---- Device-stream attributes ---------------------------------------------

// MF_DEVICESTREAM_STREAM_CATEGORY {2939E7B8-A62E-4579-B674-D4073DFABBBA}
inline constexpr GUID kMFDeviceStreamCategory = {
    0x2939e7b8, 0xa62e, 0x4579, {0xb6, 0x74, 0xd4, 0x07, 0x3d, 0xfa, 0xbb, 0xba}};
// MF_DEVICESTREAM_STREAM_ID {11BD5120-D124-446B-88E6-17060257FFF9}
inline constexpr GUID kMFDeviceStreamId = {
    0x11bd5120, 0xd124, 0x446b, {0x88, 0xe6, 0x17, 0x06, 0x02, 0x57, 0xff, 0xf9}};
// MF_DEVICESTREAM_FRAMESERVER_SHARED {1CB378E9-B279-41D4-AF97-34A243E68320}
inline constexpr GUID kMFDeviceStreamFrameServerShared = {
    0x1cb378e9, 0xb279, 0x41d4, {0xaf, 0x97, 0x34, 0xa2, 0x43, 0xe6, 0x83, 0x20}};
// MF_DEVICESTREAM_ATTRIBUTE_FRAMESOURCE_TYPES {17145FD1-1B2B-423C-8001-2B6833ED3588}
inline constexpr GUID kMFDeviceStreamFrameSourceTypes = {
    0x17145fd1, 0x1b2b, 0x423c, {0x80, 0x01, 0x2b, 0x68, 0x33, 0xed, 0x35, 0x88}};
// MFFrameSourceTypes_Color
inline constexpr UINT32 kMFFrameSourceTypesColor = 0x0001;
// PINNAME_VIDEO_CAPTURE {FB6C4281-0353-11D1-905F-0000C0CC16BA}
inline constexpr GUID kPinNameVideoCapture = {
    0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};

// ---- The virtual camera -----------------------------------------------------

typedef enum __MFVirtualCameraType {
    MFVirtualCameraType_SoftwareCameraSource = 0,
} MFVirtualCameraType;

typedef enum __MFVirtualCameraLifetime {
    MFVirtualCameraLifetime_Session = 0,
    MFVirtualCameraLifetime_System = 1,
} MFVirtualCameraLifetime;

typedef enum __MFVirtualCameraAccess {
    MFVirtualCameraAccess_CurrentUser = 0,
    MFVirtualCameraAccess_AllUsers = 1,
} MFVirtualCameraAccess;

// {1C08A864-EF6C-4C75-AF59-5F2D68DA9563}
inline constexpr IID kIidMFVirtualCamera = {
    0x1c08a864, 0xef6c, 0x4c75, {0xaf, 0x59, 0x5f, 0x2d, 0x68, 0xda, 0x95, 0x63}};

// IMFVirtualCamera, after IMFAttributes's methods, in the documented order.
struct IMFVirtualCameraApi : public IMFAttributes {
    virtual HRESULT STDMETHODCALLTYPE AddDeviceSourceInfo(LPCWSTR deviceSourceInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddProperty(const void* key, ULONG type, const BYTE* data,
                                                  ULONG size) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddRegistryEntry(LPCWSTR entryName, LPCWSTR subkeyPath,
                                                       DWORD regType, const BYTE* data,
                                                       ULONG size) = 0;
    virtual HRESULT STDMETHODCALLTYPE Start(IMFAsyncCallback* callback) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaSource(IMFMediaSource** mediaSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendCameraProperty(const GUID* propertySet, ULONG propertyId,
                                                         ULONG propertyFlags, void* propertyPayload,
                                                         ULONG propertyPayloadLength, void* data,
                                                         ULONG dataLength, ULONG* dataWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSyncEvent(const GUID* kseventSet, ULONG kseventId,
                                                      ULONG kseventFlags, HANDLE eventHandle,
                                                      IUnknown** cameraSyncObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSyncSemaphore(const GUID* kseventSet, ULONG kseventId,
                                                          ULONG kseventFlags,
                                                          HANDLE semaphoreHandle,
                                                          LONG semaphoreAdjustment,
                                                          IUnknown** cameraSyncObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE Shutdown() = 0;
};

// MFCreateVirtualCamera, as exported by mfsensorgroup.dll.
using MFCreateVirtualCameraFn = HRESULT(WINAPI*)(MFVirtualCameraType type,
                                                 MFVirtualCameraLifetime lifetime,
                                                 MFVirtualCameraAccess access,
                                                 LPCWSTR friendlyName, LPCWSTR sourceId,
                                                 const GUID* categories, ULONG categoryCount,
                                                 IMFVirtualCameraApi** virtualCamera);
