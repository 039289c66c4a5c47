// Where the phone endpoint comes from besides the settings file: the Wi-Fi
// notices of the phone app, and the debug bridge's forward asked for by the
// window (a device arrived, or the USB connect command). The supervisor's
// own USB path is in worker_procs.cpp.

#include "app/rovo_engine.h"
#include "link/notice_listener.h"
#include "shared/debug_text.h"
#include "ui/settings_file.h"
#include "ui/ui_handler.h"
#include "ui/window_messages.h"
#include "usb/adb_runner.h"

namespace pavix {

bool CRovoEngine::AttachNoticeListener() {
    HWND window = ui_->MainWindow();
    bool attached = true;
    for (CNoticeListener* listener : {noticeListener7788_, noticeListener7790_}) {
        attached = listener != nullptr && listener->JoinGroup(window) && attached;
    }
    return attached;
}

void CRovoEngine::PrepareData(int selector) {
    CNoticeListener* listener = selector == 0 ? noticeListener7788_ : noticeListener7790_;
    PhoneEndpoint announced;
    // Only a phone announcing itself gets here (ReadNotice). The same
    // endpoint again (a phone repeats its notice) changes nothing, unless
    // the user disconnected it; another one moves the link at most once
    // every few seconds.
    if (listener == nullptr || !listener->ReadNotice(&announced)) return;
    AimLink(announced, EndpointSource::Notice);
}

bool CRovoEngine::SaveSettings(const PhoneEndpoint& endpoint) {
    return WriteSettings(kSettingsFile, endpoint.address, endpoint.port, endpoint.port2);
}

void CRovoEngine::StartUsbForward(bool reportFailure) {
    {
        ScopedLock hold(usbLock_);
        if (usbForwardRunning_) {
            // The forward under way answers this request too.
            usbReportFailure_ = usbReportFailure_ || reportFailure;
            return;
        }
        usbForwardRunning_ = true;
        usbReportFailure_ = reportFailure;
    }
    // The previous forward's thread has ended or is about to (it only posts
    // its result after it said it was done).
    usbThread_.Stop();
    if (!usbThread_.Start(UsbForwardThreadProc, this)) {
        ScopedLock hold(usbLock_);
        usbForwardRunning_ = false;
        PostMessageW(ui_->MainWindow(), WM_USB_FORWARDED, 0, usbReportFailure_ ? 1 : 0);
    }
}

void CRovoEngine::StopUsbThread() {
    if (usbThread_.Stop() == CWorkerThread::StopOutcome::Forced) {
        DebugText("pavix: the debug-bridge forward did not stop in time; ended it\n");
    }
}

// The debug bridge's forward for the window; its result goes back to the
// window as a message. A stop ends the bridge at once.
DWORD WINAPI UsbForwardThreadProc(LPVOID argument) {
    CRovoEngine& engine = *static_cast<CRovoEngine*>(argument);
    CWorkerThread& self = engine.usbThread_;
    const bool forwarded = ForwardPhonePort([&self](unsigned ms) { return self.Pause(ms); });
    if (!self.IsRunRequested()) return 0;
    bool report;
    {
        ScopedLock hold(engine.usbLock_);
        report = engine.usbReportFailure_;
        engine.usbForwardRunning_ = false;
    }
    PostMessageW(engine.ui_->MainWindow(), WM_USB_FORWARDED, forwarded ? 1 : 0, report ? 1 : 0);
    return 0;
}

}  // namespace pavix
