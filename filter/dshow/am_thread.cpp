#include "filter/dshow/am_thread.h"

CAMThread::CAMThread()
    : m_hThread(nullptr),
      m_evRequest(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_evReply(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_dwParam(0),
      m_dwReturn(0) {}

CAMThread::~CAMThread() {
    Close();
    if (m_evRequest != nullptr) {
        CloseHandle(m_evRequest);
    }
    if (m_evReply != nullptr) {
        CloseHandle(m_evReply);
    }
}

DWORD WINAPI CAMThread::InitialThreadProc(LPVOID pv) {
    return static_cast<CAMThread*>(pv)->ThreadProc();
}

BOOL CAMThread::Create() {
    CAutoLock lock(&m_AccessLock);
    if (ThreadExists() || m_evRequest == nullptr || m_evReply == nullptr) {
        return FALSE;
    }
    ResetEvent(m_evRequest);
    ResetEvent(m_evReply);
    DWORD id = 0;
    m_hThread = CreateThread(nullptr, 0, InitialThreadProc, this, 0, &id);
    return m_hThread != nullptr;
}

DWORD CAMThread::CallWorker(DWORD dwParam) {
    CAutoLock lock(&m_AccessLock);
    if (!ThreadExists()) {
        return static_cast<DWORD>(E_FAIL);
    }
    m_dwParam = dwParam;
    SetEvent(m_evRequest);
    HANDLE waits[2] = {m_evReply, m_hThread};
    DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0) {
        // The worker ended without an answer: take the request back.
        ResetEvent(m_evRequest);
        return static_cast<DWORD>(E_FAIL);
    }
    return m_dwReturn;
}

void CAMThread::Close() {
    CAutoLock lock(&m_AccessLock);
    if (m_hThread != nullptr) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
}

DWORD CAMThread::GetRequest() {
    WaitForSingleObject(m_evRequest, INFINITE);
    return m_dwParam;
}

BOOL CAMThread::CheckRequest(DWORD* pParam) {
    if (WaitForSingleObject(m_evRequest, 0) != WAIT_OBJECT_0) {
        return FALSE;
    }
    if (pParam != nullptr) {
        *pParam = m_dwParam;
    }
    return TRUE;
}

void CAMThread::Reply(DWORD dw) {
    m_dwReturn = dw;
    ResetEvent(m_evRequest);
    SetEvent(m_evReply);
}
