#include "app/rovo_engine.h"

#include <winsock2.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "app/single_instance.h"
#include "frames/jpeg_decoder.h"
#include "link/comm_handler.h"
#include "link/notice_listener.h"
#include "record/avi_file_check.h"
#include "record/dshow_handler.h"
#include "record/record_room.h"
#include "shared/debug_text.h"
#include "shared/shared_frame_buffer.h"
#include "ui/settings_file.h"
#include "ui/ui_handler.h"
#include "ui/update_check.h"
#include "ui/window_messages.h"

namespace pavix {

CRecvRing& ReceiveRing() {
    static CRecvRing ring;
    return ring;
}

CRovoEngine::CRovoEngine(HINSTANCE instance)
    : slotCommitted_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      endpointChanged_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      instance_(instance) {}

CRovoEngine::~CRovoEngine() {
    if (slotCommitted_ != nullptr) CloseHandle(slotCommitted_);
    if (endpointChanged_ != nullptr) CloseHandle(endpointChanged_);
    delete link_;
    link_ = nullptr;
    delete decoder_;
    decoder_ = nullptr;
    delete ui_;
    ui_ = nullptr;
    delete recorder_;
    recorder_ = nullptr;
    delete noticeListener7788_;
    noticeListener7788_ = nullptr;
    delete noticeListener7790_;
    noticeListener7790_ = nullptr;
}

int CRovoEngine::Init() {
    instanceGuard_ = CreateInstanceGuard();
    if (instanceGuard_ == nullptr) {
        // Another instance runs: show its window instead.
        BringFirstInstanceToFront();
        return -1;
    }

    Gdiplus::GdiplusStartupInput gdiplusInput;  // version 1, no callback
    if (gdip::GdiplusStartup(&gdiplusToken_, &gdiplusInput, nullptr) != Gdiplus::Ok) {
        gdiplusToken_ = 0;
        return -1;
    }

    const int sharedResult = InitSharedFrameBuffer();
    if (sharedResult != 0) return sharedResult;

    {
        ScopedLock hold(endpointLock_);
        endpoint_ = PhoneEndpoint{};
    }
    InterlockedExchange(&haveGetClientInfo_, 0);

    ui_ = new (std::nothrow) CUIHandler(this, instance_);
    if (ui_ == nullptr || ui_->Init() != 0) return -1;

    // COM is open on this thread now.
    ChooseCodec();

    recorder_ = new (std::nothrow) CDShowHandler();
    if (recorder_ == nullptr) return -1;
    const int recorderResult = recorder_->Init();
    if (recorderResult != 0) return recorderResult;

    // The link starts the process's one Windows Sockets (the update check
    // uses it too).
    link_ = new (std::nothrow) CCommHandler(ReceiveRing());
    if (link_ == nullptr || link_->Init() != 0) return -1;

    decoder_ = MakeDecoder();
    if (decoder_ == nullptr) return -1;

    // The virtual camera shows the idle picture from the start.
    DrawToSharedFrame(ui_->IdlePicture(), STATUS_STARTUP);

    // The phone's Wi-Fi notices. Without a listener the program still runs
    // (the connect dialog and the USB path remain).
    noticeListener7788_ = new (std::nothrow) CNoticeListener(7788, WM_NOTICE_7788);
    if (noticeListener7788_ != nullptr) noticeListener7788_->Open();
    noticeListener7790_ = new (std::nothrow) CNoticeListener(7790, WM_NOTICE_7790);
    if (noticeListener7790_ != nullptr) noticeListener7790_->Open();
    return 0;
}

int CRovoEngine::CreateMainWindow(int showCommand) {
    const int result = ui_->CreateMainWindow(showCommand);
    if (result != 0) return result;
    PublishMainWindow(ui_->MainWindow());
    if (recorder_ != nullptr) recorder_->SetEventWindow(ui_->MainWindow(), WM_RECORD_EVENTS);
    // The preview pictures take the pane's size, and pictures are decoded
    // large enough for both the block and the pane. The frame thread does
    // not run yet.
    RECT pane = {};
    if (ui_->PreviewPane() != nullptr && GetClientRect(ui_->PreviewPane(), &pane) &&
        InitPreviewPictures(pane.right - pane.left, pane.bottom - pane.top)) {
        decodeLeastWidth_ = std::max<int>(kPictureWidth, pane.right - pane.left);
        decodeLeastHeight_ = std::max<int>(kPictureHeight, pane.bottom - pane.top);
        if (decoder_ != nullptr) decoder_->SetLeastSize(decodeLeastWidth_, decodeLeastHeight_);
    }
    return 0;
}

CJpegDecoder* CRovoEngine::MakeDecoder() const {
    CJpegDecoder* decoder = new (std::nothrow) CJpegDecoder();
    if (decoder == nullptr) return nullptr;
    decoder->SetLayout(CJpegDecoder::Layout::Bgrx);
    decoder->SetLeastSize(decodeLeastWidth_, decodeLeastHeight_);
    return decoder;
}

void CRovoEngine::LoadSettings() {
    PhoneEndpoint stored;
    if (ReadSettings(kSettingsFile, &stored)) {
        SetPhoneEndpoint(stored.address, stored.port, stored.port2);
    }
}

int CRovoEngine::StartCommThread() {
    // The update check runs on a thread of its own, started with the main
    // window (CUIHandler::CreateMainWindow).
    return commThread_.Start(CommThreadProc, this) ? 0 : -1;
}

int CRovoEngine::StartFpsThread() { return fpsThread_.Start(FpsThreadProc, this) ? 0 : -1; }

namespace {

CWorkerThread::StopOutcome StopAndReport(CWorkerThread& thread, const char* name) {
    const CWorkerThread::StopOutcome outcome = thread.Stop();
    if (outcome == CWorkerThread::StopOutcome::Forced) {
        DebugTextFormat(160, "pavix: the %s did not stop in time; ended it\n", name);
    } else if (outcome == CWorkerThread::StopOutcome::EndedLate) {
        DebugTextFormat(160, "pavix: the %s did not stop in time; it ended by itself later\n", name);
    } else if (outcome == CWorkerThread::StopOutcome::StillRunning) {
        DebugTextFormat(160, "pavix: the %s could not be stopped or ended; it still runs\n", name);
    }
    return outcome;
}

}  // namespace

CWorkerThread::StopOutcome CRovoEngine::StopCommThread() {
    const CWorkerThread::StopOutcome outcome = StopAndReport(commThread_, "connection supervisor");
    if (link_ != nullptr) link_->StopWorker();
    return outcome;
}

CWorkerThread::StopOutcome CRovoEngine::StopFpsThread() {
    return StopAndReport(fpsThread_, "frame thread");
}

void CRovoEngine::Close() {
    StopUsbThread();
    if (instanceGuard_ != nullptr) {
        CloseHandle(instanceGuard_);
        instanceGuard_ = nullptr;
    }
    // A recording in progress is finished before anything else goes, while
    // the camera still has pictures to give.
    if (recorder_ != nullptr && recorder_->IsRecording()) StopCapture();
    if (ui_ != nullptr) {
        // Tells the camera's readers that the program has ended.
        DrawToSharedFrame(ui_->IdlePicture(), STATUS_SHUTDOWN);
    }
    // The listeners' sockets go before the link ends Windows Sockets.
    if (noticeListener7788_ != nullptr) noticeListener7788_->Close();
    if (noticeListener7790_ != nullptr) noticeListener7790_->Close();
    if (link_ != nullptr) link_->Cleanup();
    if (ui_ != nullptr) ui_->Shutdown();
    if (recorder_ != nullptr) recorder_->Cleanup();
    ReleaseSharedFrameBuffer();
    if (gdiplusToken_ != 0) {
        gdip::GdiplusShutdown(gdiplusToken_);
        gdiplusToken_ = 0;
    }
}

void CRovoEngine::ChooseCodec() {
    // Both are asked, every start: a compressor installed later is noticed
    // at the next start only.
    const bool cinepak = CDShowHandler::HasCompressor(kCinepakCompressor) != 0;
    const bool divx = CDShowHandler::HasCompressor(kDivxCompressor) != 0;
    recordingCodec_ = cinepak ? kCodecCinepak : divx ? kCodecDivx : kCodecNone;
}

void CRovoEngine::SetPhoneEndpoint(const char* address, std::int32_t port, std::int32_t port2) {
    PhoneEndpoint asked;
    const std::size_t length = std::strlen(address);
    if (length >= PhoneEndpoint::kAddressSize) return;
    std::memcpy(asked.address, address, length);
    asked.port = port;
    asked.port2 = port2;
    AimLink(asked, EndpointSource::User);
}

void CRovoEngine::AimAtForwardedPort() {
    PhoneEndpoint forwarded;
    std::memcpy(forwarded.address, kUsbPhoneAddress, sizeof kUsbPhoneAddress);
    forwarded.port = kPhonePort;
    forwarded.port2 = kPhonePort2;
    AimLink(forwarded, EndpointSource::Supervisor);
}

void CRovoEngine::AimLink(const PhoneEndpoint& asked, EndpointSource source) {
    {
        ScopedLock hold(endpointLock_);
        const EndpointStep step = JudgeEndpointRequest(endpoint_, HaveGetClientInfo(), asked);
        if (step == EndpointStep::Refuse || step == EndpointStep::Keep) return;
        // Only the user brings back a link the user dropped.
        if (step == EndpointStep::Resume && source == EndpointSource::Supervisor) return;
        if (step == EndpointStep::Switch) {
            if (source == EndpointSource::Notice) {
                const ULONGLONG now = GetTickCount64();
                if (!noticeSwitches_.MayMove(now)) return;
                noticeSwitches_.NoteChange(now);
            }
            endpoint_ = asked;
        }
        // The link of the old generation ends on the supervisor's next
        // poll; the supervisor alone closes its socket.
        ++endpointGeneration_;
        InterlockedExchange(&haveGetClientInfo_, 1);
    }
    if (endpointChanged_ != nullptr) SetEvent(endpointChanged_);
}

void CRovoEngine::Disconnect() {
    ScopedLock hold(endpointLock_);
    InterlockedExchange(&haveGetClientInfo_, 0);
    ++endpointGeneration_;
}

bool CRovoEngine::IsLinkWanted(std::uint32_t generation) const {
    ScopedLock hold(endpointLock_);
    return generation == endpointGeneration_ && HaveGetClientInfo();
}

bool CRovoEngine::IsConnected() const {
    if (link_ == nullptr || !link_->IsConnected()) return false;
    ScopedLock hold(endpointLock_);
    return linkGeneration_ == endpointGeneration_ && HaveGetClientInfo();
}

bool CRovoEngine::IsConnectedTo(const PhoneEndpoint& endpoint) const {
    if (!IsConnected()) return false;
    ScopedLock hold(endpointLock_);
    return SameEndpoint(linkEndpoint_, endpoint);
}

int CRovoEngine::StartWorker() {
    PhoneEndpoint endpoint;
    std::uint32_t generation;
    {
        ScopedLock hold(endpointLock_);
        if (!HaveGetClientInfo()) return -1;
        endpoint = endpoint_;
        generation = endpointGeneration_;
    }
    // A change while connecting ends the attempt within a poll; one that
    // comes just after it succeeded drops what was reached. The change has
    // set the endpoint event: the supervisor goes on to the new endpoint.
    const int result = link_->ConnectMobileWorker(
        endpoint.address, endpoint.port,
        [this, generation](unsigned ms) { return commThread_.Pause(ms) && IsLinkWanted(generation); });
    if (result != 0) return result;
    {
        ScopedLock hold(endpointLock_);
        if (generation == endpointGeneration_) {
            linkEndpoint_ = endpoint;
            linkGeneration_ = generation;
            return 0;
        }
    }
    link_->StopWorker();
    return -1;
}

int CRovoEngine::RcvDataPacket() {
    std::uint32_t generation;
    {
        ScopedLock hold(endpointLock_);
        generation = linkGeneration_;
    }
    // A change of endpoint or a disconnect loses the link at the next poll.
    const int result = link_->ReceiveChunk(
        [this, generation](unsigned ms) { return commThread_.Pause(ms) && IsLinkWanted(generation); });
    // Every period ends with its slot committed (possibly empty).
    if (slotCommitted_ != nullptr) SetEvent(slotCommitted_);
    return result;
}

PhoneEndpoint CRovoEngine::Endpoint() const {
    ScopedLock hold(endpointLock_);
    return endpoint_;
}

void CRovoEngine::StartCapture() {
    if (recorder_ == nullptr || ui_ == nullptr || recorder_->IsRecording()) return;
    if (!ui_->ChooseRecordFile(recordingPath_, kRecordingPathSize)) return;
    const std::uint64_t room = RecordingRoomAt(recordingPath_);
    if (room < kUncompressedMinuteBytes &&
        !ui_->ConfirmLowRoom(recordingPath_, room, kUncompressedMinuteBytes)) {
        return;
    }
    // The user agreed to replace an existing file; one that is in use stays
    // as it is and nothing is recorded.
    if (!DeleteFileW(recordingPath_) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        DebugText("The selected file is in use and can not be replaced\n");
        ui_->TellRecordingProblem(kRecordFileInUseText);
        return;
    }
    if (recorder_->StartRecording(recordingPath_, recordingCodec_) != 0) {
        // Whatever a file writer left there is no recording.
        DeleteFileW(recordingPath_);
        ui_->TellRecordingProblem(kRecordStartFailedText);
        return;
    }
    ui_->ShowRecording(true);
}

void CRovoEngine::StopCapture() {
    if (recorder_ == nullptr) return;
    recorder_->StopRecording();
    if (ui_ != nullptr) ui_->ShowRecording(false);
}

bool CRovoEngine::IsRecording() const { return recorder_ != nullptr && recorder_->IsRecording(); }

void CRovoEngine::OnRecordingEvents() {
    if (recorder_ == nullptr) return;
    RecordingFault fault = recorder_->TakeEvents();
    // Stopped before the volume fills, whichever file writer writes: the
    // multiplexer still has room to finish the file.
    if (!fault.ended && recorder_->IsRecording() && RecordingRoomRunsOut(recordingPath_)) {
        DebugText("pavix: the recording's volume is about to fill; stopping\n");
        fault = {true, STG_E_MEDIUMFULL};
    }
    if (!fault.ended || !recorder_->IsRecording()) return;
    // The multiplexer finishes what it can as the graph stops; whether that
    // made a whole file is read back from the file.
    StopCapture();
    if (ui_ != nullptr) {
        ui_->TellRecordingStopped(recordingPath_, IsMediumFull(fault.cause),
                                  IsFinishedAvi(recordingPath_));
    }
}

void CRovoEngine::ShutdownSequence() {
    // A recording is finished first, before its file could be lost to
    // anything that follows, and so that the workers stop on a machine no
    // longer busy with it.
    if (IsRecording()) StopCapture();
    StopCommThread();
    StopFpsThread();
    StopUsbThread();
    if (!WorkersEnded()) {
        // A worker that could be neither awaited nor ended still uses the
        // engine, the ring and the block: they stay as they are until the
        // process ends (the entry point does not free the engine then).
        if (ui_ != nullptr) ui_->RemoveTrayIcon();
        return;
    }
    Close();
    ReceiveRing().Shutdown();
}

bool CRovoEngine::WorkersEnded() const {
    return !commThread_.IsStarted() && !fpsThread_.IsStarted() && !usbThread_.IsStarted();
}

HWND CRovoEngine::MainWindow() const { return ui_ != nullptr ? ui_->MainWindow() : nullptr; }

}  // namespace pavix
