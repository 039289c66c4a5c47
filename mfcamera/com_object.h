#pragma once

// The IUnknown of the module's COM objects that answer for one interface
// (and the interfaces it derives from): a reference count, and the object
// deleted at the last Release.

#include <windows.h>

#include <initializer_list>

namespace pavix {

template <typename Interface>
class CComObject : public Interface {
public:
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&m_refs));
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

protected:
    CComObject() = default;
    virtual ~CComObject() = default;
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    // QueryInterface for an object that is IUnknown and each of `ids`, all
    // through `Interface`.
    HRESULT AnswerFor(REFIID riid, void** ppv, std::initializer_list<IID> ids) {
        if (ppv == nullptr) return E_POINTER;
        bool known = riid == IID_IUnknown;
        for (const IID& id : ids) known = known || riid == id;
        if (!known) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }

private:
    LONG m_refs = 1;
};

}  // namespace pavix
