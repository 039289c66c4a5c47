#include "filter/dshow/class_factory.h"

#include <new>

CClassFactory::CClassFactory(const CFactoryTemplate* pTemplate)
    : CBaseObject(L"Class factory"), m_pTemplate(pTemplate), m_cRef(0) {}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
    LONG ref = InterlockedDecrement(&m_cRef);
    if (ref == 0) {
        delete this;
    }
    return static_cast<ULONG>(ref);
}

STDMETHODIMP CClassFactory::CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    // An aggregating object must ask for the inner unknown.
    if (pUnkOuter != nullptr && riid != IID_IUnknown) {
        return CLASS_E_NOAGGREGATION;
    }
    HRESULT hr = S_OK;
    CUnknown* object = m_pTemplate->CreateInstance(pUnkOuter, &hr);
    if (object == nullptr) {
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        delete object;
        return hr;
    }
    // Hold the object while asking, so that a refusal destroys it.
    object->NonDelegatingAddRef();
    hr = object->NonDelegatingQueryInterface(riid, ppv);
    object->NonDelegatingRelease();
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL fLock) {
    ModuleLockServer(fLock);
    return S_OK;
}

STDAPI DllGetClassObject(REFCLSID rClsID, REFIID riid, void** pv) {
    if (pv == nullptr) {
        return E_POINTER;
    }
    *pv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) {
        return E_NOINTERFACE;
    }
    for (int i = 0; i < g_cTemplates; ++i) {
        const CFactoryTemplate* entry = &g_Templates[i];
        if (!entry->IsClassID(rClsID)) {
            continue;
        }
        auto* factory = new (std::nothrow) CClassFactory(entry);
        if (factory == nullptr) {
            return E_OUTOFMEMORY;
        }
        factory->AddRef();
        *pv = static_cast<IClassFactory*>(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    return ModuleServerLocks() > 0 || CBaseObject::ObjectsActive() > 0 ? S_FALSE : S_OK;
}
