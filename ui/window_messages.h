#pragma once

#include <windows.h>

namespace pavix {

// Window messages of the program's own; the numbers are fixed.
inline constexpr UINT WM_TRAY_CALLBACK = 32768;  // the notification-area icon's events
inline constexpr UINT WM_NOTICE_7788 = 1080;     // a notice waits on UDP port 7788
inline constexpr UINT WM_NOTICE_7790 = 1081;     // a notice waits on UDP port 7790
// The update check's answer; wParam 1 when a newer version exists.
inline constexpr UINT WM_UPDATE_CHECKED = WM_APP + 1;

// The debug bridge's port forward, run on a worker thread for the window,
// is done (see EngineControl::StartUsbForward).
inline constexpr UINT WM_USB_FORWARDED = WM_APP + 15;

// The recording graph has events waiting (IMediaEventEx::SetNotifyWindow);
// EngineControl::OnRecordingEvents reads them.
inline constexpr UINT WM_RECORD_EVENTS = WM_APP + 20;

// A worker changed what the window shows: the link's state, the frame rate.
// Workers post these and never wait for the window's thread; the window
// reads the latest value when the message comes (CUIHandler).
inline constexpr UINT WM_LINK_STATE_CHANGED = WM_APP + 40;
inline constexpr UINT WM_FRAME_RATE_CHANGED = WM_APP + 41;

// The socket event in a notice message's lParam that means "readable".
inline constexpr WORD kNoticeReadEvent = 1;  // FD_READ

// The balloon timer: armed once, 30 s after the window came up.
inline constexpr UINT_PTR TIMER_UPDATE_BALLOON = 100;
inline constexpr UINT kUpdateBalloonDelayMs = 30000;

// While a recording runs, the room left for it is looked at this often
// (EngineControl::OnRecordingEvents).
inline constexpr UINT_PTR TIMER_RECORDING_ROOM = 101;
inline constexpr UINT kRecordingRoomCheckMs = 1000;

// The program has exactly one notification-area icon.
inline constexpr UINT kTrayIconId = 1;

// The balloon of the notification-area icon was clicked.
inline constexpr LPARAM kBalloonClicked = 0x405;  // NIN_BALLOONUSERCLICK

}  // namespace pavix
