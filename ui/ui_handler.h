#pragma once

#include <windows.h>

#include "ui/engine_control.h"
#include "ui/gdiplus_api.h"
#include "ui/ui_texts.h"

namespace pavix {

// Everything the user sees of pavix.exe: the small fixed-size main window
// with the preview pane above a status bar, the notification-area icon and
// the function menu. Created by the engine during its start-up and used on
// the main thread, except the state operations (ShowWaiting, ShowConnected,
// ...), SetFrameRate and ShowNewPicture, which the worker threads call: they
// store the new value and post the main window a message (or mark the pane
// for painting), so a worker never waits for the main thread, however busy
// it is (a slow paint, a modal loop, a hung window it talks to), and holds
// no lock the main thread could wait for.
class CUIHandler {
public:
    CUIHandler(EngineControl* engine, HINSTANCE instance);
    virtual ~CUIHandler();
    CUIHandler(const CUIHandler&) = delete;
    CUIHandler& operator=(const CUIHandler&) = delete;

    // Common controls, the main thread's COM apartment, the images. -1 when
    // COM cannot be opened.
    int Init();
    // The main window with its icon, status bar and preview pane. -1 (after
    // telling the user) when the window cannot be created.
    int CreateMainWindow(int showCommand);
    // Removes the icon and gives back fonts and images; windows are left to
    // their destruction.
    void Shutdown();

    // The handler a window of the program belongs to: the main window and
    // the preview pane carry it (null before it was attached).
    static CUIHandler* Of(HWND window);

    EngineControl& Engine() const { return *engine_; }
    HINSTANCE Instance() const { return instance_; }
    HWND MainWindow() const { return mainWindow_; }
    HWND PreviewPane() const { return previewPane_; }
    HWND StatusBar() const { return statusBar_; }
    // The idle picture: measured and drawn through GDI+ ...
    GpBitmap* IdlePicture() const { return idlePicture_; }
    // ... and painted into the preview pane through GDI.
    HBITMAP IdleBitmap() const { return idleBitmap_; }
    WNDPROC PreviewPrevProc() const { return previewPrevProc_; }

    // The notification-area icon (tray_status.cpp).
    void SetTrayIcon(HICON icon, const wchar_t* tooltip, bool add);
    void RemoveTrayIcon();
    // Adds the icon anew in the state it last showed (after the taskbar
    // started again).
    void AddTrayIconAgain();
    void ShowUpdateBalloon();

    // The status bar (tray_status.cpp).
    void CreateStatusBar();
    void SetStatusIcon();
    // Any thread: the frame rate (pictures a second), shown when the main
    // thread gets to it (a rate that comes before then replaces this one).
    void SetFrameRate(float rate);
    // The main thread, on the messages that SetFrameRate and the state
    // operations post: shows the latest rate and state.
    void ApplyFrameRate();
    void ApplyLinkState();

    // The preview pane has a new picture to show (any thread): it is
    // painted when the main thread gets to it.
    void ShowNewPicture();
    // Whether the preview pane can be seen at all: not while the window is
    // hidden in the notification area or minimised (any thread).
    bool IsPreviewShown() const;

    // Recording (record_controls.cpp). ChooseRecordFile runs the save
    // dialog into `buffer` of `size` characters: true when the user chose a
    // file. ShowRecording shows or clears the status bar's recording note.
    // TellRecordingProblem tells the user why no recording runs.
    // ConfirmLowRoom asks whether to record into `path` all the same, its
    // volume having only `freeBytes` of the `minuteBytes` a minute takes.
    // TellRecordingStopped says that a recording into `path` stopped by
    // itself (the volume full or a failure) and whether its file plays.
    bool ChooseRecordFile(wchar_t* buffer, DWORD size);
    void ShowRecording(bool recording);
    void TellRecordingProblem(const wchar_t* text);
    bool ConfirmLowRoom(const wchar_t* path, unsigned long long freeBytes,
                        unsigned long long minuteBytes);
    void TellRecordingStopped(const wchar_t* path, bool volumeFull, bool playable);

    // The states of the phone link, shown by icon and status bar.
    void ShowWaiting() { ShowLinkState(LinkDisplay::Waiting); }
    void ShowDisconnected() { ShowLinkState(LinkDisplay::Disconnected); }
    void ShowConnected() { ShowLinkState(LinkDisplay::Connected); }

private:
    // Any thread: stores the state and has the main thread show it.
    void ShowLinkState(LinkDisplay display);
    // Posts `message` to the main window unless one is already on its way
    // (`posted` is 1 then; the main thread clears it before it reads).
    void PostOnce(volatile LONG* posted, UINT message);
    HICON IconFor(int resource) const;
    void CreatePreviewPane();

    EngineControl* engine_;
    HINSTANCE instance_;
    HWND mainWindow_ = nullptr;
    HFONT font_ = nullptr;
    HWND statusBar_ = nullptr;
    // No command bar is built: the enable requests for its buttons go
    // nowhere.
    HWND commandBar_ = nullptr;
    HWND previewPane_ = nullptr;
    HICON connectedIcon_ = nullptr;
    HICON disconnectedIcon_ = nullptr;
    HICON waitingIcon_ = nullptr;
    HICON bluetoothIcon_ = nullptr;
    HICON statusIcon_ = nullptr;
    GpBitmap* idlePicture_ = nullptr;
    HBITMAP idleBitmap_ = nullptr;
    WNDPROC previewPrevProc_ = nullptr;
    // The link state the icon shows (a LinkDisplay); set from any thread.
    volatile LONG trayDisplay_ = static_cast<LONG>(LinkDisplay::Startup);
    // The latest frame rate for the main thread to show: the float's bits,
    // or kNoRate (an empty rate part).
    static constexpr LONG kNoRate = -1;
    volatile LONG rateBits_ = kNoRate;
    // Whether a state or rate message is on its way to the main window.
    volatile LONG statePosted_ = 0;
    volatile LONG ratePosted_ = 0;
};

}  // namespace pavix
