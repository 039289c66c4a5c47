#pragma once

// CBaseFilter: IBaseFilter (with IMediaFilter and IPersist) and IAMovieSetup
// over a set of pins that a derived class supplies. State changes go to the
// connected pins (Active on pause from stopped, Run on run, Inactive on
// stop) under the filter lock.

#include <windows.h>
#include <strmif.h>

#include "filter/dshow/crit_sec.h"
#include "filter/dshow/unknown.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    CBaseFilter(const WCHAR* pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* pClsID) override;

    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* pVendorInfo) override;

    // IAMovieSetup. Our filters carry no setup data: the module's
    // DllRegisterServer writes their registration, so there is nothing to
    // do here (S_FALSE).
    STDMETHODIMP Register() override;
    STDMETHODIMP Unregister() override;

    // The pins, numbered from 0. Called under the filter lock.
    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;

    // Changes whenever pins are added or removed; pin enumerators compare it.
    LONG GetPinVersion();
    void IncrementPinVersion();

    // Sends an event to the graph the filter belongs to (none: E_NOTIMPL).
    HRESULT NotifyEvent(long eventCode, LONG_PTR param1, LONG_PTR param2);

    // The stream time now: the graph clock's time since the start the last
    // Run named. VFW_E_NO_CLOCK without a clock, VFW_E_NOT_RUNNING unless
    // running. Takes no lock, so that a streaming thread may ask (a graph
    // changes its clock only while stopped).
    HRESULT StreamTime(REFERENCE_TIME* now);

    BOOL IsStopped() const { return m_State == State_Stopped; }
    BOOL IsActive() const { return m_State != State_Stopped; }
    CCritSec* FilterLock() const { return m_pLock; }

protected:
    volatile FILTER_STATE m_State;
    IReferenceClock* m_pClock;  // a reference of ours, or null
    REFERENCE_TIME m_tStart;    // stream time offset of the last Run
    CLSID m_clsid;
    CCritSec* m_pLock;          // the filter lock, owned by the derived class

private:
    WCHAR* m_pName;             // name in the graph, or null
    // The graph and its event sink are weak references: the graph holds
    // the filter, and a reference back would keep both alive forever.
    IFilterGraph* m_pGraph;
    IMediaEventSink* m_pSink;
    volatile LONG m_PinVersion;
};
