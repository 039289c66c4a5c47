#include "app/rovo_engine.h"

#include <winsock2.h>

#include <cstring>
#include <new>

#include "app/single_instance.h"
#include "frames/jpeg_decoder.h"
#include "link/comm_handler.h"
#include "record/dshow_handler.h"
#include "shared/debug_text.h"
#include "shared/shared_frame_buffer.h"
#include "ui/settings_file.h"
#include "ui/ui_handler.h"

namespace pavix {

CRecvRing& ReceiveRing() {
    static CRecvRing ring;
    return ring;
}

CRovoEngine::CRovoEngine(HINSTANCE instance) : instance_(instance) {}

CRovoEngine::~CRovoEngine() {
    delete link_;
    link_ = nullptr;
    delete decoder_;
    decoder_ = nullptr;
    delete ui_;
    ui_ = nullptr;
    delete recorder_;
    recorder_ = nullptr;
}

int CRovoEngine::Init() {
    instanceGuard_ = CreateInstanceGuard();
    if (instanceGuard_ == nullptr) {
        // Another instance runs: show its window instead.
        BringFirstInstanceToFront();
        return -1;
    }

    Gdiplus::GdiplusStartupInput gdiplusInput;  // version 1, no callback
    if (Gdiplus::GdiplusStartup(&gdiplusToken_, &gdiplusInput, nullptr) != Gdiplus::Ok) {
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

    decoder_ = new (std::nothrow) CJpegDecoder();
    if (decoder_ == nullptr) return -1;

    // The virtual camera shows the idle picture from the start.
    DrawToSharedFrame(ui_->IdlePicture(), STATUS_STARTUP);
    return 0;
}

int CRovoEngine::CreateMainWindow(int showCommand) {
    const int result = ui_->CreateMainWindow(showCommand);
    if (result != 0) return result;
    PublishMainWindow(ui_->MainWindow());
    return 0;
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
    if (instanceGuard_ != nullptr) {
        CloseHandle(instanceGuard_);
        instanceGuard_ = nullptr;
    }
    if (ui_ != nullptr) {
        // Tells the camera's readers that the program has ended.
        DrawToSharedFrame(ui_->IdlePicture(), STATUS_SHUTDOWN);
    }
    if (link_ != nullptr) link_->Cleanup();
    if (ui_ != nullptr) ui_->Shutdown();
    if (recorder_ != nullptr) recorder_->Cleanup();
    ReleaseSharedFrameBuffer();
    if (gdiplusToken_ != 0) {
        Gdiplus::GdiplusShutdown(gdiplusToken_);
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
    const std::size_t length = std::strlen(address);
    if (length >= PhoneEndpoint::kAddressSize) return;
    {
        ScopedLock hold(endpointLock_);
        if (std::strcmp(endpoint_.address, address) == 0 && endpoint_.port == port &&
            endpoint_.port2 == port2) {
            return;
        }
        endpoint_ = PhoneEndpoint{};
        std::memcpy(endpoint_.address, address, length);
        endpoint_.port = port;
        endpoint_.port2 = port2;
    }
    Disconnect();
    InterlockedExchange(&haveGetClientInfo_, 1);
}

void CRovoEngine::Disconnect() {
    InterlockedExchange(&haveGetClientInfo_, 0);
    // Closing the socket is how a receive in progress on the supervisor
    // thread learns that the link is gone.
    if (link_ != nullptr) link_->StopAll();
}

bool CRovoEngine::IsConnected() const { return link_ != nullptr && link_->IsConnected(); }

int CRovoEngine::StartWorker() {
    if (!HaveGetClientInfo()) return -1;
    const PhoneEndpoint endpoint = Endpoint();
    return link_->ConnectMobileWorker(endpoint.address, endpoint.port,
                                      [this](unsigned ms) { return commThread_.Pause(ms); });
}

int CRovoEngine::RcvDataPacket() {
    return link_->ReceiveChunk([this](unsigned ms) { return commThread_.Pause(ms); });
}

PhoneEndpoint CRovoEngine::Endpoint() const {
    ScopedLock hold(endpointLock_);
    return endpoint_;
}

void CRovoEngine::ShutdownSequence() {
    StopCommThread();
    StopFpsThread();
    Close();
    ReceiveRing().Shutdown();
}

}  // namespace pavix
