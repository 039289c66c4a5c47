// The bodies of the engine's two worker threads.

#include "app/rovo_engine.h"

namespace pavix {
namespace {

// The supervisor's rhythm while no phone is connected.
constexpr DWORD kCommRetryPauseMs = 3000;
// How often the frame thread looks at the receive ring while nothing is
// being received.
constexpr DWORD kFpsIdlePollMs = 500;

}  // namespace

// The connection supervisor. Each cycle tries to reach the phone and, while
// that fails, pauses kCommRetryPauseMs. The program has no phone link yet, so
// the supervisor only keeps its rhythm until it is stopped.
DWORD WINAPI CommThreadProc(LPVOID argument) {
    CWorkerThread& self = static_cast<CRovoEngine*>(argument)->CommThread();
    while (self.Pause(kCommRetryPauseMs)) {
    }
    return 0;
}

// The frame thread. It parses what the link puts into the receive ring;
// with nothing being received it looks again every kFpsIdlePollMs.
DWORD WINAPI FpsThreadProc(LPVOID argument) {
    CWorkerThread& self = static_cast<CRovoEngine*>(argument)->FpsThread();
    while (self.Pause(kFpsIdlePollMs)) {
    }
    return 0;
}

}  // namespace pavix
