// The bodies of the engine's two worker threads.

#include "app/rovo_engine.h"
#include "frames/frame_parser.h"
#include "shared/shared_frame_buffer.h"
#include "ui/ui_handler.h"
#include "usb/adb_runner.h"

namespace pavix {
namespace {

// The supervisor's rhythm while no phone is connected, and after a loss.
constexpr DWORD kCommRetryPauseMs = 3000;
// The connected state shows after this many good collection periods.
constexpr int kGoodPeriodsForConnected = 3;
// The frame thread's longest pause after a pass that handed nothing on (a
// committed slot ends it sooner), and while nothing is being received.
constexpr DWORD kFpsBusyPollMs = 100;
constexpr DWORD kFpsIdlePollMs = 500;

// The USB path: when the debug bridge forwards the port, start the phone app
// and aim at the forwarded port.
void TryUsb(CRovoEngine& engine, const InterruptibleSleep& pause) {
    if (!ForwardPhonePort(pause)) return;
    StartPhoneApp(pause);
    engine.AimAtForwardedPort();
}

// The supervisor's pause between attempts; a new phone endpoint ends it at
// once. True when that is what ended it.
bool PauseForEndpoint(HANDLE changed, const CWorkerThread& self) {
    self.PauseUntil(changed, kCommRetryPauseMs);
    if (changed == nullptr || WaitForSingleObject(changed, 0) != WAIT_OBJECT_0) return false;
    ResetEvent(changed);
    return true;
}

}  // namespace

// The connection supervisor: connects to the phone endpoint, receives one
// collection period after another into the ring, and after a loss starts
// over 3 s later. While no phone answers it shows the idle picture (frame
// word -2) every 3 s and tries the USB path. A new endpoint (a notice, the
// connect dialog, the debug bridge) cuts those pauses short.
DWORD WINAPI CommThreadProc(LPVOID argument) {
    CRovoEngine& engine = *static_cast<CRovoEngine*>(argument);
    CWorkerThread& self = engine.CommThread();
    const InterruptibleSleep pause = [&self](unsigned ms) { return self.Pause(ms); };
    CUIHandler& ui = *engine.UI();
    const HANDLE endpointChanged = engine.EndpointChangedEvent();

    while (self.IsRunRequested()) {
        engine.SetReceiving(false);
        ui.ShowWaiting();
        for (;;) {
            // This attempt takes the endpoint as it is now: only a change
            // after it cuts the next pause short.
            if (endpointChanged != nullptr) ResetEvent(endpointChanged);
            if (engine.StartWorker() == 0) break;
            const bool newEndpoint = PauseForEndpoint(endpointChanged, self);
            if (!self.IsRunRequested()) return 0;
            if (newEndpoint) continue;
            engine.DrawToSharedFrame(ui.IdlePicture(), STATUS_NO_LINK);
            engine.ShowIdlePreview();
            ui.ShowDisconnected();
            TryUsb(engine, pause);
        }

        engine.SetReceiving(true);
        for (int goodPeriods = 0; self.IsRunRequested();) {
            if (engine.RcvDataPacket() != 0) {
                PauseForEndpoint(endpointChanged, self);
                break;
            }
            if (++goodPeriods == kGoodPeriodsForConnected) ui.ShowConnected();
        }
    }
    return 0;
}

// The frame thread: cuts frame packets out of the ring and has the engine
// decode, publish and show each one. Straight on after a pass that handed a
// picture on, so a backlog is worked off at decoding speed.
DWORD WINAPI FpsThreadProc(LPVOID argument) {
    CRovoEngine& engine = *static_cast<CRovoEngine*>(argument);
    CWorkerThread& self = engine.FpsThread();
    // The parser lives as long as the thread; what one connection leaves
    // unfinished it drops when the next connection's bytes come.
    // Once the program is closing, the pictures still queued are passed
    // over: the thread must end within its stop wait.
    CFrameParser parser(ReceiveRing(), [&engine, &self](const std::uint8_t* payload,
                                                        std::int32_t length) {
        return !self.IsRunRequested() || engine.HandleJpeg(payload, length);
    });

    while (self.IsRunRequested()) {
        if (!engine.IsReceiving()) {
            self.Pause(kFpsIdlePollMs);
            continue;
        }
        int result;
        {
            // Not to be cut short while it holds a slot or the ring's lock.
            CWorkerThread::CriticalStretch stretch(self);
            result = parser.ParseDataPacket();
        }
        // A pass that only took part of a picture is no reason to wait when
        // the next slot is already there. Otherwise the next committed slot
        // wakes the thread; the poll stays as a fallback.
        if (result != 0 && !ReceiveRing().HasFilledSlot()) {
            self.PauseUntil(engine.SlotCommittedEvent(), kFpsBusyPollMs);
        }
    }
    return 0;
}

}  // namespace pavix
