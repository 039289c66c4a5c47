#pragma once

// COM object basics of our DirectShow layer: the non-delegating unknown that
// makes aggregation work, the module's object and lock counts behind
// DllCanUnloadNow, and GetInterface.

#include <windows.h>
#include <objbase.h>

// The inner unknown of an aggregatable object. Its vtable has the layout of
// IUnknown, so a pointer to it can be handed out as the object's IUnknown
// when the object is not aggregated.
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};

// Every COM object of the module counts itself here while it lives.
class CBaseObject {
public:
    explicit CBaseObject(const WCHAR* pName);
    virtual ~CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    static LONG ObjectsActive();

private:
    const WCHAR* m_pName;  // for a debugger; may be null
};

// Reference counting and QueryInterface for an object that may be
// aggregated: the IUnknown methods of its interfaces go to the owner (the
// outer object, or this object's own non-delegating unknown).
class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    CUnknown(const WCHAR* pName, LPUNKNOWN pUnk);

    LPUNKNOWN GetOwner() const { return m_pUnknown; }

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

protected:
    volatile LONG m_cRef;

private:
    const LPUNKNOWN m_pUnknown;
};

// Hands out `pUnk` as the interface asked for, with a reference added.
HRESULT GetInterface(LPUNKNOWN pUnk, void** ppv);

// Server locks taken through IClassFactory::LockServer.
void ModuleLockServer(BOOL fLock);
LONG ModuleServerLocks();

// The IUnknown methods of a class's interfaces, all delegated to the owner.
#define DECLARE_IUNKNOWN                                                          \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {               \
        return GetOwner()->QueryInterface(riid, ppv);                             \
    }                                                                             \
    STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }        \
    STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }
