#pragma once

// CAMThread: a worker thread that takes one request at a time. A caller
// hands a request over with CallWorker and waits for the worker's Reply;
// the worker takes requests with GetRequest (waiting) or CheckRequest (a
// look without waiting). A request stays pending until it is replied to,
// so a worker loop can notice a request, leave, and let an outer loop take
// it. Callers are served one at a time.

#include <windows.h>

#include "filter/dshow/crit_sec.h"

class CAMThread {
public:
    CAMThread();
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the thread running ThreadProc. FALSE when it already runs or
    // cannot be started.
    BOOL Create();
    // Hands `dwParam` to the worker and returns its reply; E_FAIL (as a
    // DWORD) when there is no worker or it ended without replying.
    DWORD CallWorker(DWORD dwParam);
    // Waits for the thread to end and releases it.
    void Close();
    BOOL ThreadExists() const { return m_hThread != nullptr; }

    // Worker side.
    DWORD GetRequest();
    BOOL CheckRequest(DWORD* pParam);
    void Reply(DWORD dw);

protected:
    virtual DWORD ThreadProc() = 0;

    CCritSec m_AccessLock;  // serialises callers and thread start/close

private:
    static DWORD WINAPI InitialThreadProc(LPVOID pv);

    HANDLE m_hThread;
    HANDLE m_evRequest;  // manual reset: set while a request is pending
    HANDLE m_evReply;    // auto reset
    volatile DWORD m_dwParam;
    volatile DWORD m_dwReturn;
};
