#pragma once

#include <windows.h>

#include <cstdint>

#include "app/hd_picture_writer.h"
#include "app/worker_thread.h"
#include "frames/frame_rate_window.h"
#include "frames/jpeg_failure_rule.h"
#include "frames/picture_scaler.h"
#include "frames/preview_pictures.h"
#include "link/endpoint_rules.h"
#include "link/phone_endpoint.h"
#include "link/recv_ring.h"
#include "shared/critical_section.h"
#include "shared/shared_frame_buffer.h"
#include "ui/engine_control.h"
#include "ui/gdiplus_api.h"

namespace pavix {

class CCommHandler;
class CDShowHandler;
class CJpegDecoder;
class CNoticeListener;
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
//                     graph, Windows Sockets, the JPEG decoder, the two
//                     notice listeners (ports 7788 and 7790)
//   CreateMainWindow  the main window, the notification-area icon, and the
//                     update check on a thread of its own
//   AttachNoticeListener  both listeners report to the main window
//   LoadSettings      the phone endpoint of the last manual connection
//   StartCommThread   the connection supervisor
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
    // Joins both notice listeners to their group and has them report to
    // the main window. False when either could not be attached (the program
    // goes on without its notices).
    bool AttachNoticeListener();
    void LoadSettings();
    // 0, or -1 when the thread cannot be created.
    int StartCommThread();
    int StartFpsThread();
    // How the worker ended (a late or forced end, or one that failed, also
    // leaves a debug text).
    CWorkerThread::StopOutcome StopCommThread();
    CWorkerThread::StopOutcome StopFpsThread();
    // Releases the system resources; safe on a partly initialised engine and
    // more than once.
    void Close();
    // Whether no worker runs any more: false after a stop that could
    // neither await nor end one (the engine must not be freed then).
    bool WorkersEnded() const;
    // The main window, once created (null before).
    HWND MainWindow() const;

    // The writer side of the shared frame buffer.
    int InitSharedFrameBuffer();
    void ReleaseSharedFrameBuffer();
    // Draws `picture` (null: nothing) scaled to 480 x 320 and bottom-up
    // through GDI+, then writes it into the block and the HD block with
    // `frameWord`: the idle picture. Any thread.
    void DrawToSharedFrame(GpImage* picture, std::int32_t frameWord);
    // A decoded phone picture: scaled to 480 x 320 and bottom-up by the
    // picture scaler, then written into the block with `frameWord`; into the
    // HD block too while a camera streams from it. The frame thread only.
    void PublishPicture(const BgrxPicture& picture, std::int32_t frameWord);
    // The one write of the block for every writer: `pixels` (460,800
    // bytes, bottom row first; null leaves the picture) and `frameWord`, in
    // one short copy marked by the sequence count. Any thread.
    void WriteSharedFrame(const std::uint8_t* pixels, std::int32_t frameWord);

    // The preview pictures handed to the pane, width x height (the pane's
    // client area); false when their memory cannot be had (the pane then
    // shows the idle picture only).
    bool InitPreviewPictures(int width, int height);
    // Scales `picture` for the preview pane and has the pane show it. The
    // frame thread only.
    void DrawToPreview(const BgrxPicture& picture);
    // The pane shows the idle picture again (the link is down). Any thread.
    void ShowIdlePreview();

    void ChooseCodec();
    std::int32_t RecordingCodec() const { return recordingCodec_; }

    // The phone endpoint, as the user asked for it (typed code, USB
    // connect, device arrival, the settings file). Another endpoint is
    // stored, the link to the old one dropped and the supervisor sent to the
    // new one; the stored one after the disconnect command is connected
    // again; the stored one of a wanted link changes nothing. An address of
    // 40 or more characters or a port outside 1-65535 is refused.
    void SetPhoneEndpoint(const char* address, std::int32_t port, std::int32_t port2) override;
    // The supervisor's own USB path found the port forwarded: as
    // SetPhoneEndpoint, except that a link the user disconnected stays down.
    void AimAtForwardedPort();
    // Drops the link; the supervisor ends a receive or a connect in progress
    // within a poll, and waits for an endpoint to be asked for.
    void Disconnect() override;
    bool SaveSettings(const PhoneEndpoint& endpoint) override;
    // A datagram waits on the listener of port 7788 (0) or 7790 (1).
    void PrepareData(int selector) override;
    void StartUsbForward(bool reportFailure) override;
    void StopUsbThread();
    bool HaveGetClientInfo() const { return haveGetClientInfo_ != 0; }
    PhoneEndpoint Endpoint() const;

    // Whether the phone link is up; the preview pane paints the idle picture
    // only while it is not.
    bool IsConnected() const override;
    // Whether the link is up to `endpoint`, and still the one asked for.
    bool IsConnectedTo(const PhoneEndpoint& endpoint) const override;
    // The main window's end: stops both workers, closes the engine and
    // tears the receive ring down.
    void OnMainWindowDestroyed() override { ShutdownSequence(); }
    bool AcquirePanePicture(PanePicture* picture) override;
    void ReleasePanePicture() override;
    void ShutdownSequence();

    // Recording (main thread). StartCapture asks for the file, asks again
    // when its volume has less room than a minute of video takes, replaces
    // an existing one and starts the recording graph; a file that cannot be
    // replaced or a graph that cannot start is told to the user. Refused
    // while a recording runs. StopCapture is harmless without one.
    void StartCapture() override;
    void StopCapture() override;
    bool IsRecording() const override;
    void OnRecordingEvents() override;
    // The file of the running or last recording.
    const wchar_t* RecordingPath() const { return recordingPath_; }

private:
    friend DWORD WINAPI CommThreadProc(LPVOID engine);
    friend DWORD WINAPI FpsThreadProc(LPVOID engine);
    friend DWORD WINAPI UsbForwardThreadProc(LPVOID engine);
    // The engine's tests reach HandleJpeg and the decoder through it.
    friend class CRovoEngineTestAccess;

    CUIHandler* UI() const { return ui_; }

    // Who asks for an endpoint: decides whether a disconnected link is
    // resumed and whether the notices' rate limit applies.
    enum class EndpointSource { User, Notice, Supervisor };
    void AimLink(const PhoneEndpoint& asked, EndpointSource source);
    // Whether the link of `generation` is still the one wanted: no other
    // endpoint asked for and no disconnect since. The supervisor's waits
    // end as soon as it is not.
    bool IsLinkWanted(std::uint32_t generation) const;
    CWorkerThread& CommThread() { return commThread_; }
    CWorkerThread& FpsThread() { return fpsThread_; }

    // The connection supervisor's steps (its thread only): connect to the
    // stored endpoint (0 when connected), and one collection period into the
    // receive ring (0 while the link is up).
    int StartWorker();
    int RcvDataPacket();
    // Signalled after every collection period, when a ring slot has been
    // committed: the frame thread wakes on it.
    HANDLE SlotCommittedEvent() const { return slotCommitted_; }
    // Set when an endpoint is taken (a new one, or the same one again after
    // the disconnect command; manual reset): the supervisor goes to it at
    // once instead of sitting out its pause.
    HANDLE EndpointChangedEvent() const { return endpointChanged_; }
    // Whether the supervisor is in its receive loop; the frame thread reads
    // the ring only then.
    bool IsReceiving() const { return receiving_ != 0; }
    void SetReceiving(bool receiving) { InterlockedExchange(&receiving_, receiving ? 1 : 0); }

    // The frame thread's handling of one JPEG payload: decode, publish into
    // the shared block, draw the preview, count the rate. False when the
    // decoder failed four times in a row and was replaced.
    bool HandleJpeg(const std::uint8_t* payload, std::int32_t length);
    // A decoder set up for the frame path: 4-byte pixels for the scaler,
    // large pictures shrunk while decoding to what the block and the pane
    // need. Null when there is no memory.
    CJpegDecoder* MakeDecoder() const;
    // Reads what the HD cameras ask for and has the decoder make pictures
    // large enough for the largest of them too (frame thread).
    void FollowCameraRequest();

    void OnFrameDecoded(const BgrxPicture& picture);
    void SendFrameNotice();
    void UpdateFrameRate();

    HANDLE instanceGuard_ = nullptr;
    ULONG_PTR gdiplusToken_ = 0;
    void* sharedView_ = nullptr;
    HANDLE sharedMapping_ = nullptr;
    // The sequence count beside the block (null without its section).
    volatile std::uint32_t* sequence_ = nullptr;
    HANDLE sequenceMapping_ = nullptr;
    // Private pictures, each written into the block in one copy: the frame
    // thread's scaled phone picture, and the idle picture (the memory of
    // the GDI+ bitmap sharedBitmap_).
    std::uint8_t* framePixels_ = nullptr;
    std::uint8_t* idlePixels_ = nullptr;
    GpBitmap* sharedBitmap_ = nullptr;
    CriticalSection sharedWriteLock_;
    CriticalSection idleDrawLock_;
    // The HD block, its requests and events. The frame thread's picture in
    // hand: when it arrived, and what the cameras asked for as it did.
    CHdPictureWriter hdPictures_;
    std::int64_t arrivalTime_ = 0;
    CameraRequest cameraRequest_;
    // Phone pictures published, and the count when it was last examined
    // for its restart at 0.
    std::int32_t frameCount_ = 0;
    std::int32_t frameCountAtCheck_ = 0;
    CWorkerThread commThread_;
    CWorkerThread fpsThread_;
    HANDLE slotCommitted_ = nullptr;
    HANDLE endpointChanged_ = nullptr;
    CCommHandler* link_ = nullptr;
    CJpegDecoder* decoder_ = nullptr;
    CJpegFailureRule decodeFailures_;
    // The least size a picture is decoded at: what the block and the
    // preview pane show. Larger while an HD camera asks for more.
    int decodeLeastWidth_ = kPictureWidth;
    int decodeLeastHeight_ = kPictureHeight;
    CPictureScaler scaler_;
    CPreviewPictures previewPictures_;
    // The frame rate shown in the status bar.
    CFrameRateWindow rateWindow_;
    volatile LONG receiving_ = 0;
    CUIHandler* ui_ = nullptr;
    CDShowHandler* recorder_ = nullptr;
    HINSTANCE instance_ = nullptr;
    std::int32_t recordingCodec_ = kCodecNone;
    // The file the user chose for the running or last recording.
    static constexpr DWORD kRecordingPathSize = 512;
    wchar_t recordingPath_[kRecordingPathSize] = {};
    CNoticeListener* noticeListener7788_ = nullptr;
    CNoticeListener* noticeListener7790_ = nullptr;
    // The debug bridge's forward for the window (device arrival, USB
    // connect): whether one runs, and whether its failure is to be told.
    CWorkerThread usbThread_;
    CriticalSection usbLock_;
    bool usbForwardRunning_ = false;
    bool usbReportFailure_ = false;
    volatile LONG haveGetClientInfo_ = 0;
    // Under endpointLock_: the endpoint asked for, counted up with every
    // change of what the link should be (another endpoint, a resume, a
    // disconnect); the endpoint and generation the supervisor's link was
    // made for; and when notices last moved the link.
    mutable CriticalSection endpointLock_;
    PhoneEndpoint endpoint_;
    std::uint32_t endpointGeneration_ = 0;
    PhoneEndpoint linkEndpoint_;
    std::uint32_t linkGeneration_ = 0;
    CNoticeSwitchLimit noticeSwitches_;
};

// The process-wide receive ring between the phone link and the frame parser.
CRecvRing& ReceiveRing();

// The workers' thread procedures; the argument is the engine.
DWORD WINAPI CommThreadProc(LPVOID engine);
DWORD WINAPI FpsThreadProc(LPVOID engine);
DWORD WINAPI UsbForwardThreadProc(LPVOID engine);

}  // namespace pavix
