#pragma once

#include <windows.h>

#include <cstdint>

#include "app/worker_thread.h"
#include "frames/frame_rate_window.h"
#include "frames/jpeg_failure_rule.h"
#include "link/phone_endpoint.h"
#include "link/recv_ring.h"
#include "shared/critical_section.h"
#include "ui/engine_control.h"
#include "ui/gdiplus_api.h"

namespace pavix {

class CCommHandler;
class CDShowHandler;
class CJpegDecoder;
class CUIHandler;

// Recording codecs: which video compressor a recording goes through.
enum RecordingCodec : std::int32_t {
    kCodecNone = 0,  // uncompressed
    kCodecCinepak = 1,
    kCodecDivx = 2,
};

// The one central object of pavix.exe. It owns every part of the program,
// brings them up in a fixed order and takes them down again:
//
//   Init              single-instance guard, GDI+, the shared frame buffer
//                     (showing the idle picture), the user interface (which
//                     opens the main thread's COM apartment), the recording
//                     graph, Windows Sockets, the JPEG decoder
//   CreateMainWindow  the main window, the notification-area icon
//   LoadSettings      the phone endpoint of the last manual connection
//   StartCommThread   the update check, then the connection supervisor
//   StartFpsThread    the frame thread
//
// ShutdownSequence (the main window's destruction) stops both workers,
// closes the engine and tears the receive ring down. Everything here runs on
// the main thread unless said otherwise. The window reaches the engine only
// as its EngineControl.
class CRovoEngine final : public EngineControl {
public:
    explicit CRovoEngine(HINSTANCE instance);
    ~CRovoEngine() override;
    CRovoEngine(const CRovoEngine&) = delete;
    CRovoEngine& operator=(const CRovoEngine&) = delete;

    // 0 when everything is up; otherwise the program must not start (-1, or
    // the system's error code when the shared frame buffer failed).
    int Init();
    // 0, or -1 when the main window cannot be created (the user was told).
    int CreateMainWindow(int showCommand);
    void LoadSettings();
    // 0, or -1 when the thread cannot be created.
    int StartCommThread();
    int StartFpsThread();
    // How the worker ended (a late or forced end also leaves a debug text).
    CWorkerThread::StopOutcome StopCommThread();
    CWorkerThread::StopOutcome StopFpsThread();
    // Releases the system resources; safe on a partly initialised engine and
    // more than once.
    void Close();

    // The writer side of the shared frame buffer.
    int InitSharedFrameBuffer();
    void ReleaseSharedFrameBuffer();
    // Draws `picture` (null: nothing) scaled to 480 x 320 and bottom-up into
    // the block, then stores `frameWord`. Any thread.
    void DrawToSharedFrame(GpImage* picture, std::int32_t frameWord);

    void ChooseCodec();
    std::int32_t RecordingCodec() const { return recordingCodec_; }

    // The phone endpoint. SetPhoneEndpoint changes nothing when the
    // endpoint is the stored one; otherwise it stores it, drops the link and
    // allows the supervisor to connect to it. An address of 40 or more
    // characters is refused.
    void SetPhoneEndpoint(const char* address, std::int32_t port, std::int32_t port2);
    void Disconnect();
    bool HaveGetClientInfo() const { return haveGetClientInfo_ != 0; }
    PhoneEndpoint Endpoint() const;

    // Whether the phone link is up; the preview pane paints the idle picture
    // only while it is not.
    bool IsConnected() const override;
    // The main window's end: stops both workers, closes the engine and
    // tears the receive ring down.
    void OnMainWindowDestroyed() override { ShutdownSequence(); }
    void ShutdownSequence();

private:
    friend DWORD WINAPI CommThreadProc(LPVOID engine);
    friend DWORD WINAPI FpsThreadProc(LPVOID engine);
    // The engine's tests reach HandleJpeg and the decoder through it.
    friend class CRovoEngineTestAccess;

    CUIHandler* UI() const { return ui_; }
    CWorkerThread& CommThread() { return commThread_; }
    CWorkerThread& FpsThread() { return fpsThread_; }

    // The connection supervisor's steps (its thread only): connect to the
    // stored endpoint (0 when connected), and one collection period into the
    // receive ring (0 while the link is up).
    int StartWorker();
    int RcvDataPacket();
    // Whether the supervisor is in its receive loop; the frame thread reads
    // the ring only then.
    bool IsReceiving() const { return receiving_ != 0; }
    void SetReceiving(bool receiving) { InterlockedExchange(&receiving_, receiving ? 1 : 0); }

    // The frame thread's handling of one JPEG payload: decode, publish into
    // the shared block, draw the preview, count the rate. False when the
    // decoder failed four times in a row and was replaced.
    bool HandleJpeg(const std::uint8_t* payload, std::int32_t length);
    // Draws `picture` stretched into the preview pane (null: nothing). Any
    // thread.
    void DrawToPreview(GpImage* picture);

    void OnFrameDecoded(GpImage* picture);
    void SendFrameNotice();
    void UpdateFrameRate();

    HANDLE instanceGuard_ = nullptr;
    ULONG_PTR gdiplusToken_ = 0;
    void* sharedView_ = nullptr;
    HANDLE sharedMapping_ = nullptr;
    GpBitmap* sharedBitmap_ = nullptr;
    // Phone pictures published, and the count when it was last examined
    // for its restart at 0.
    std::int32_t frameCount_ = 0;
    std::int32_t frameCountAtCheck_ = 0;
    CWorkerThread commThread_;
    CWorkerThread fpsThread_;
    CCommHandler* link_ = nullptr;
    CJpegDecoder* decoder_ = nullptr;
    CJpegFailureRule decodeFailures_;
    // The frame rate shown in the status bar.
    CFrameRateWindow rateWindow_;
    volatile LONG receiving_ = 0;
    CUIHandler* ui_ = nullptr;
    CDShowHandler* recorder_ = nullptr;
    HINSTANCE instance_ = nullptr;
    std::int32_t recordingCodec_ = kCodecNone;
    volatile LONG haveGetClientInfo_ = 0;
    mutable CriticalSection endpointLock_;
    PhoneEndpoint endpoint_;
};

// The process-wide receive ring between the phone link and the frame parser.
CRecvRing& ReceiveRing();

// The two workers' thread procedures; the argument is the engine.
DWORD WINAPI CommThreadProc(LPVOID engine);
DWORD WINAPI FpsThreadProc(LPVOID engine);

}  // namespace pavix
