// The user's side of recording: the save dialog, the status bar's note
// while a recording runs, and telling the user why one cannot start.

#include "ui/ui_handler.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>
#include <string>

#include "ui/resource_ids.h"
#include "ui/ui_texts.h"
#include "ui/window_messages.h"

namespace pavix {
namespace {

// The status bar's free part, after the state text and the frame rate.
constexpr int kRecordingStatusPart = 2;

}  // namespace

bool CUIHandler::ChooseRecordFile(wchar_t* buffer, DWORD size) {
    std::wmemset(buffer, L'\0', size);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = mainWindow_;
    dialog.lpstrFile = buffer;
    dialog.nMaxFile = size;
    dialog.lpstrFilter = kRecordFileFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrDefExt = kRecordDefaultExtension;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    return GetSaveFileNameW(&dialog) != FALSE;
}

void CUIHandler::ShowRecording(bool recording) {
    // No command bar is built: its buttons' enable requests go nowhere.
    if (commandBar_ != nullptr) {
        SendMessageW(commandBar_, TB_ENABLEBUTTON, CMD_START_CAPTURE, MAKELPARAM(!recording, 0));
        SendMessageW(commandBar_, TB_ENABLEBUTTON, CMD_STOP_CAPTURE, MAKELPARAM(recording, 0));
    }
    // The engine looks at the recording's room while it runs.
    if (recording) {
        SetTimer(mainWindow_, TIMER_RECORDING_ROOM, kRecordingRoomCheckMs, nullptr);
    } else {
        KillTimer(mainWindow_, TIMER_RECORDING_ROOM);
    }
    SendMessageW(statusBar_, SB_SETTEXTW, kRecordingStatusPart,
                 reinterpret_cast<LPARAM>(recording ? kRecordingStatusText : L""));
}

void CUIHandler::TellRecordingProblem(const wchar_t* text) {
    MessageBoxW(mainWindow_, text, kHintCaption, MB_OK | MB_ICONWARNING);
}

bool CUIHandler::ConfirmLowRoom(const wchar_t* path, unsigned long long freeBytes,
                                unsigned long long minuteBytes) {
    constexpr unsigned long long kMegabyte = 1000000;
    std::wstring text(std::wcslen(kRecordLowSpaceFormat) + std::wcslen(path) + 64, L'\0');
    std::swprintf(text.data(), text.size(), kRecordLowSpaceFormat, freeBytes / kMegabyte,
                  (minuteBytes + kMegabyte - 1) / kMegabyte, path);
    return MessageBoxW(mainWindow_, text.c_str(), kHintCaption,
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

void CUIHandler::TellRecordingStopped(const wchar_t* path, bool volumeFull, bool playable) {
    std::wstring text = volumeFull ? kRecordStoppedFullText : kRecordStoppedFailedText;
    text += L"\n";
    text += playable ? kRecordKeptPlayableText : kRecordKeptBrokenText;
    text += L"\n";
    text += path;
    MessageBoxW(mainWindow_, text.c_str(), kHintCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace pavix
