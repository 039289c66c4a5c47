#include "filter/dshow/unknown.h"

namespace {

volatile LONG g_cActiveObjects = 0;
volatile LONG g_cServerLocks = 0;

}  // namespace

CBaseObject::CBaseObject(const WCHAR* pName) : m_pName(pName) {
    InterlockedIncrement(&g_cActiveObjects);
}

CBaseObject::~CBaseObject() {
    InterlockedDecrement(&g_cActiveObjects);
}

LONG CBaseObject::ObjectsActive() {
    return InterlockedCompareExchange(&g_cActiveObjects, 0, 0);
}

CUnknown::CUnknown(const WCHAR* pName, LPUNKNOWN pUnk)
    : CBaseObject(pName),
      m_cRef(0),
      m_pUnknown(pUnk != nullptr
                     ? pUnk
                     : reinterpret_cast<LPUNKNOWN>(static_cast<INonDelegatingUnknown*>(this))) {}

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown) {
        // The inner unknown, never the owner: this is what an aggregating
        // object asks for when it creates us.
        return GetInterface(reinterpret_cast<LPUNKNOWN>(static_cast<INonDelegatingUnknown*>(this)),
                            ppv);
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
    LONG ref = InterlockedDecrement(&m_cRef);
    if (ref == 0) {
        // A destructor that hands out and drops a reference to the object
        // must not delete it a second time.
        m_cRef = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(ref);
}

HRESULT GetInterface(LPUNKNOWN pUnk, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = pUnk;
    pUnk->AddRef();
    return S_OK;
}

void ModuleLockServer(BOOL fLock) {
    if (fLock) {
        InterlockedIncrement(&g_cServerLocks);
    } else {
        InterlockedDecrement(&g_cServerLocks);
    }
}

LONG ModuleServerLocks() {
    return InterlockedCompareExchange(&g_cServerLocks, 0, 0);
}
