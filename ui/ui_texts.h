#pragma once

// Every text pavix.exe shows to the user, as wide-character text: the
// window, the notification-area icon, the status bar and the message boxes
// go through the system's wide-character interface, so the Chinese texts
// come out right whatever the system's ANSI code page is.

#include <cstddef>

namespace pavix {

inline constexpr wchar_t kMainWindowTitle[] = L"Pavix5.0";
// The main window's class; the same text names the single-instance guard.
inline constexpr wchar_t kMainWindowClass[] = L"Pavix_{B9DEC6D2-2930-4338-A079-AAE560053238}";

inline constexpr wchar_t kCreateWindowFailedCaption[] = L"创建窗口失败";
inline constexpr wchar_t kNewestVersionText[] = L"当前版本已经是最新版本了";
inline constexpr wchar_t kNoticeCaption[] = L"Pavix 通知";
inline constexpr wchar_t kFilterMissingText[] = L"安装程序失败, 请联系开发者";

inline constexpr wchar_t kBalloonTitle[] = L"Pavix有新版本啦";
inline constexpr wchar_t kBalloonText[] = L"点击进入下载页面";

// The caption of the program's hints.
inline constexpr wchar_t kHintCaption[] = L"提示";

// Recording: the save dialog's file types, the status bar's note while a
// recording runs (its free part), and what the user is told when a
// recording cannot start.
inline constexpr wchar_t kRecordFileFilter[] =
    L"Media files (*.avi)\0*.avi\0All files (*.*)\0*.*\0";
inline constexpr wchar_t kRecordDefaultExtension[] = L"avi";
inline constexpr wchar_t kRecordingStatusText[] = L"录像中";
inline constexpr wchar_t kRecordFileInUseText[] = L"所选文件正在被使用, 无法替换";
inline constexpr wchar_t kRecordStartFailedText[] = L"无法开始录像, 请检查保存位置后重试";
// Before a recording, when its volume has less room than a minute takes:
// the free and the needed megabytes, the file.
inline constexpr wchar_t kRecordLowSpaceFormat[] =
    L"保存位置只剩 %llu MB, 不够录一分钟 (约需 %llu MB):\n%ls\n仍要录像吗?";
// A recording that stopped by itself: why, then what became of its file,
// then the file.
inline constexpr wchar_t kRecordStoppedFullText[] = L"保存位置空间不足, 录像已停止。";
inline constexpr wchar_t kRecordStoppedFailedText[] = L"录像出错, 已停止。";
inline constexpr wchar_t kRecordKeptPlayableText[] = L"已录下的部分可以播放:";
inline constexpr wchar_t kRecordKeptBrokenText[] = L"文件不完整, 可能无法播放:";

// The connect dialog: the refusal of a code that is not the phone's eight
// hexadecimal digits, and its progress line.
inline constexpr wchar_t kBadCodeText[] = L"请输入正确的验证码";
inline constexpr wchar_t kConnectingText[] = L"正在连接手机...";
inline constexpr wchar_t kConnectSucceededText[] = L"连接手机成功！！！";
inline constexpr wchar_t kConnectFailedText[] = L"连接手机失败，请检查网络和验证码";

// The USB connect command when the debug bridge could not forward the port.
inline constexpr wchar_t kUsbFailedText[] =
    L"请将手机USB线连接到电脑，并确保手机已打开USB调试模式";

// The status bar's first text, before any state was entered.
inline constexpr wchar_t kStartupStatusText[] = L"没有连上手机";

// What the notification-area icon and the status bar show in each state of
// the phone link.
enum class LinkDisplay {
    Startup,       // the main window was just created
    Waiting,       // a supervision cycle begins
    Disconnected,  // an attempt to connect failed
    Connected,     // the link has delivered data three times in a row
};

struct LinkDisplayLook {
    int trayIcon;              // icon resource (IDI_CONNECTED, ...)
    const wchar_t* tooltip;    // the icon's tooltip
    const wchar_t* statusText; // status bar part 0
    bool clearsRate;           // status bar part 1 (the frame rate) is emptied
    bool repaintsIdle;         // the preview pane repaints the idle picture
    bool disconnectEnabled;    // the disconnect command is available
};

const LinkDisplayLook& LookOf(LinkDisplay display);

// The frame-rate text of the status bar, "帧数: " and the rate with two
// decimals (帧数: 14.20), into `out` of `outCount` characters, cut to fit
// and always terminated.
void FormatRateText(float rate, wchar_t* out, std::size_t outCount);

// Room for any rate text; longer ones are cut.
inline constexpr std::size_t kRateTextSize = 32;

}  // namespace pavix
