#pragma once

// CBasePin: IPin and IQualityControl for a pin of a CBaseFilter. The pin
// keeps no reference count of its own: AddRef and Release count on its
// filter, which owns and destroys it.
//
// Connecting (Connect on the output side): a fully specified type is tried
// as it is; otherwise the pin's own types are tried first, then the peer's,
// each filtered by the partial type given. For each candidate the pin checks
// the peer (CheckConnect), its own acceptance (CheckMediaType), stores the
// type (SetMediaType), lets the peer accept it (ReceiveConnection) and
// finishes (CompleteConnect); any failure undoes the attempt.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/base_filter.h"
#include "filter/dshow/crit_sec.h"
#include "filter/dshow/media_type.h"
#include "filter/dshow/unknown.h"

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    CBasePin(const WCHAR* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
             LPCWSTR pName, PIN_DIRECTION dir);
    ~CBasePin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // IPin
    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pPin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
    STDMETHODIMP QueryId(LPWSTR* Id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IQualityControl: quality messages are not handled unless a derived
    // pin does; a sink may be installed.
    STDMETHODIMP Notify(IBaseFilter* pSelf, Quality q) override;
    STDMETHODIMP SetSink(IQualityControl* piqc) override;

    // Whether the pin accepts `pmt`: S_OK, anything else refuses.
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    // Stores the agreed type as the connection type.
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    // The pin's preferred types by position: S_OK, VFW_S_NO_MORE_ITEMS past
    // the last one, or a failure.
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType);
    // Changes when the list of preferred types changes.
    virtual LONG GetMediaTypeVersion();

    // Connection hooks; the base checks the direction and keeps nothing.
    virtual HRESULT CheckConnect(IPin* pPin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* pReceivePin);

    // State changes from the filter (connected pins only, filter lock held).
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME tStart);

    BOOL IsConnected() const { return m_Connected != nullptr; }
    IPin* GetConnected() const { return m_Connected; }
    BOOL IsStopped() const { return m_pFilter->IsStopped(); }
    const CMediaType& CurrentMediaType() const { return m_mt; }

protected:
    WCHAR* m_pName;             // pin name, also its identifier
    IPin* m_Connected;          // the peer, with a reference, or null
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;          // the filter lock
    CBaseFilter* m_pFilter;
    CMediaType m_mt;            // the connection type
    REFERENCE_TIME m_tStart;    // the last NewSegment
    REFERENCE_TIME m_tStop;
    double m_dRate;
    IQualityControl* m_pQSink;  // weak: the sink outlives the connection

private:
    HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum);
    HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
};
