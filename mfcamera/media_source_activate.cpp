#include "mfcamera/media_source_activate.h"

#include <mfapi.h>
#include <mferror.h>

#include <new>

#include "mfcamera/com_object.h"
#include "mfcamera/module_objects.h"
#include "mfcamera/pavix_media_source.h"
#include "shared/critical_section.h"

namespace pavix {
namespace {

class CMediaSourceActivate final : public CComObject<IMFActivate> {
public:
    explicit CMediaSourceActivate(IMFAttributes* store) : m_store(store) {
        ModuleObjectCreated();
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return AnswerFor(riid, ppv, {IID_IMFAttributes, IID_IMFActivate});
    }

    // IMFActivate
    STDMETHODIMP ActivateObject(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        ScopedLock lock(m_lock);
        if (m_source == nullptr) {
            const HRESULT hr = CPavixMediaSource::Create(&m_source);
            if (FAILED(hr)) return hr;
        }
        return m_source->QueryInterface(riid, ppv);
    }
    STDMETHODIMP ShutdownObject() override {
        CPavixMediaSource* source = TakeSource();
        if (source != nullptr) {
            source->Shutdown();
            source->Release();
        }
        return S_OK;
    }
    STDMETHODIMP DetachObject() override {
        CPavixMediaSource* source = TakeSource();
        if (source != nullptr) source->Release();
        return S_OK;
    }

    // IMFAttributes, all the store's.
    STDMETHODIMP GetItem(REFGUID key, PROPVARIANT* value) override {
        return m_store->GetItem(key, value);
    }
    STDMETHODIMP GetItemType(REFGUID key, MF_ATTRIBUTE_TYPE* type) override {
        return m_store->GetItemType(key, type);
    }
    STDMETHODIMP CompareItem(REFGUID key, REFPROPVARIANT value, BOOL* result) override {
        return m_store->CompareItem(key, value, result);
    }
    STDMETHODIMP Compare(IMFAttributes* other, MF_ATTRIBUTES_MATCH_TYPE type,
                         BOOL* result) override {
        return m_store->Compare(other, type, result);
    }
    STDMETHODIMP GetUINT32(REFGUID key, UINT32* value) override {
        return m_store->GetUINT32(key, value);
    }
    STDMETHODIMP GetUINT64(REFGUID key, UINT64* value) override {
        return m_store->GetUINT64(key, value);
    }
    STDMETHODIMP GetDouble(REFGUID key, double* value) override {
        return m_store->GetDouble(key, value);
    }
    STDMETHODIMP GetGUID(REFGUID key, GUID* value) override { return m_store->GetGUID(key, value); }
    STDMETHODIMP GetStringLength(REFGUID key, UINT32* length) override {
        return m_store->GetStringLength(key, length);
    }
    STDMETHODIMP GetString(REFGUID key, LPWSTR value, UINT32 size, UINT32* length) override {
        return m_store->GetString(key, value, size, length);
    }
    STDMETHODIMP GetAllocatedString(REFGUID key, LPWSTR* value, UINT32* length) override {
        return m_store->GetAllocatedString(key, value, length);
    }
    STDMETHODIMP GetBlobSize(REFGUID key, UINT32* size) override {
        return m_store->GetBlobSize(key, size);
    }
    STDMETHODIMP GetBlob(REFGUID key, UINT8* buffer, UINT32 size, UINT32* written) override {
        return m_store->GetBlob(key, buffer, size, written);
    }
    STDMETHODIMP GetAllocatedBlob(REFGUID key, UINT8** buffer, UINT32* size) override {
        return m_store->GetAllocatedBlob(key, buffer, size);
    }
    STDMETHODIMP GetUnknown(REFGUID key, REFIID riid, LPVOID* ppv) override {
        return m_store->GetUnknown(key, riid, ppv);
    }
    STDMETHODIMP SetItem(REFGUID key, REFPROPVARIANT value) override {
        return m_store->SetItem(key, value);
    }
    STDMETHODIMP DeleteItem(REFGUID key) override { return m_store->DeleteItem(key); }
    STDMETHODIMP DeleteAllItems() override { return m_store->DeleteAllItems(); }
    STDMETHODIMP SetUINT32(REFGUID key, UINT32 value) override {
        return m_store->SetUINT32(key, value);
    }
    STDMETHODIMP SetUINT64(REFGUID key, UINT64 value) override {
        return m_store->SetUINT64(key, value);
    }
    STDMETHODIMP SetDouble(REFGUID key, double value) override {
        return m_store->SetDouble(key, value);
    }
    STDMETHODIMP SetGUID(REFGUID key, REFGUID value) override { return m_store->SetGUID(key, value); }
    STDMETHODIMP SetString(REFGUID key, LPCWSTR value) override {
        return m_store->SetString(key, value);
    }
    STDMETHODIMP SetBlob(REFGUID key, const UINT8* buffer, UINT32 size) override {
        return m_store->SetBlob(key, buffer, size);
    }
    STDMETHODIMP SetUnknown(REFGUID key, IUnknown* value) override {
        return m_store->SetUnknown(key, value);
    }
    STDMETHODIMP LockStore() override { return m_store->LockStore(); }
    STDMETHODIMP UnlockStore() override { return m_store->UnlockStore(); }
    STDMETHODIMP GetCount(UINT32* count) override { return m_store->GetCount(count); }
    STDMETHODIMP GetItemByIndex(UINT32 index, GUID* key, PROPVARIANT* value) override {
        return m_store->GetItemByIndex(index, key, value);
    }
    STDMETHODIMP CopyAllItems(IMFAttributes* destination) override {
        return m_store->CopyAllItems(destination);
    }

private:
    ~CMediaSourceActivate() override {
        if (m_source != nullptr) m_source->Release();
        m_store->Release();
        ModuleObjectDestroyed();
    }

    CPavixMediaSource* TakeSource() {
        ScopedLock lock(m_lock);
        CPavixMediaSource* source = m_source;
        m_source = nullptr;
        return source;
    }

    CriticalSection m_lock;
    IMFAttributes* m_store;
    CPavixMediaSource* m_source = nullptr;
};

}  // namespace

HRESULT CreateMediaSourceActivate(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    IMFAttributes* store = nullptr;
    HRESULT hr = MFCreateAttributes(&store, 1);
    if (FAILED(hr)) return hr;
    auto* activate = new (std::nothrow) CMediaSourceActivate(store);
    if (activate == nullptr) {
        store->Release();
        return E_OUTOFMEMORY;
    }
    hr = activate->QueryInterface(riid, ppv);
    activate->Release();
    return hr;
}

}  // namespace pavix
