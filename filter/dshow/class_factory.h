#pragma once

// The module side of our DirectShow layer: the table of classes the module
// serves (g_Templates, defined by the module), the class factory COM gets
// from DllGetClassObject, the module's entry point and the registration of
// the classes as in-process COM servers.

#include <windows.h>
#include <objbase.h>

#include "filter/dshow/unknown.h"

// Creates an object of a class; reports failure through `phr` (may be null)
// and may still return the object, which the caller then destroys.
typedef CUnknown*(CALLBACK* LPFNNewCOMObject)(LPUNKNOWN pUnkOuter, HRESULT* phr);
// Called with TRUE when the module loads and FALSE when it unloads.
typedef void(CALLBACK* LPFNInitRoutine)(BOOL bLoading, const CLSID* rclsid);

// One class the module serves. Our classes carry no filter setup data: a
// module that registers a filter with the filter mapper does so in its own
// DllRegisterServer.
class CFactoryTemplate {
public:
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;

    BOOL IsClassID(REFCLSID rclsid) const { return IsEqualCLSID(*m_ClsID, rclsid) != FALSE; }
    CUnknown* CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) const { return m_lpfnNew(pUnk, phr); }
};

// Defined by the module.
extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;

// The module instance and platform, recorded by DllEntryPoint.
extern HINSTANCE g_hInst;
extern DWORD g_amPlatform;

// IClassFactory for one template.
class CClassFactory : public IClassFactory, public CBaseObject {
public:
    explicit CClassFactory(const CFactoryTemplate* pTemplate);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    const CFactoryTemplate* m_pTemplate;
    volatile LONG m_cRef;
};

// The module's entry point, for the module's DllMain to call: records the
// module and runs the templates' init routines on process attach and
// detach; thread notifications are switched off.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, ULONG ulReason, LPVOID pv);

// Writes (TRUE) or removes (FALSE) the COM server entries of every
// template under HKEY_CLASSES_ROOT\CLSID: the class name, InprocServer32
// with the module's path and ThreadingModel "Both". Registry errors come
// back as HRESULTs of the Win32 facility; removing entries that are not
// there succeeds.
HRESULT AMovieDllRegisterServer2(BOOL bRegister);
