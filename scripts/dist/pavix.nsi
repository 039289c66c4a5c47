; Pavix's Windows installers, built by scripts/dist/make-dist.sh with
; makensis -INPUTCHARSET UTF8 and these definitions:
;   ARCH         x64 (64-bit Windows: 64-bit program, both camera filters)
;                or x86 (32-bit Windows: the 32-bit build)
;   VERSION      the product's version as people read it (5.0)
;   VERSION_QUAD the same in four numbers (5.0.0.0)
;   COPYRIGHT    the project's copyright line
;   STAGE        folder holding the files to install, laid out as installed
;   ICON         the program's icon
;   OUTFILE      the installer to write
;
; Installed layout (INSTDIR, by default Program Files\Pavix):
;   pavix.exe, README.txt, docs\ (the user guide), uninstall.exe
;   x64\RovoFilter.ax   (x64 only) registered with the 64-bit regsvr32
;   x86\RovoFilter.ax   registered with the 32-bit regsvr32 when Windows
;                       has one (SysWOW64 on 64-bit Windows)
; The Start-menu shortcut starts pavix.exe in INSTDIR: the program reads and
; writes its settings file (pavix_cfg.ini) in its working folder. The debug
; bridge (adb.exe, AdbWinApi.dll, AdbWinUsbApi.dll) is not ours to ship; the
; pages and README.txt say that it goes beside pavix.exe.
;
; A second install goes over the first (same folder, taken from the
; uninstall entry) and registers again. A running pavix.exe is closed first.
; Exit codes (besides NSIS's own 1 = cancelled, 2 = aborted): 3 = the
; camera could not be registered for 64-bit applications (x64) or at all
; (x86).

Unicode true
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH must be x64 or x86"
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define PRODUCT "Pavix"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pavix"
; pavix.exe's main window class (it names the single-instance guard too).
!define WINDOW_CLASS "Pavix_{B9DEC6D2-2930-4338-A079-AAE560053238}"
!define FILTER_CLSID "{74AD45B0-D8B4-4422-9C32-0AB6EECA21E0}"
!define VIDEO_INPUT_CATEGORY "{860BB310-5D01-11D0-BD3B-00A0C911CE86}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
!if "${ARCH}" == "x64"
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

!include MUI2.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include x64.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!insertmacro MUI_PAGE_WELCOME
; An upgrade goes where the first install went: no folder to choose.
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFolderOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(RunPavix)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartPavix
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(ShowReadme)"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The system's display language chooses; the first is the one for every
; other language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

!define ADB_ZH "通过 USB 连接手机需要安卓调试桥：请把 adb.exe 和它的两个 DLL（AdbWinApi.dll、AdbWinUsbApi.dll，见 Android SDK Platform-Tools）放到安装文件夹中 pavix.exe 的旁边，并在手机上打开“USB 调试”。"
!define ADB_EN "Connecting the phone over USB needs the Android debug bridge: put adb.exe and its two DLLs (AdbWinApi.dll, AdbWinUsbApi.dll, from the Android SDK Platform-Tools) into the installation folder beside pavix.exe, and switch on USB debugging on the phone."

LangString WelcomeText ${LANG_SIMPCHINESE} "本向导将安装 Pavix ${VERSION}：把安卓手机变成电脑的摄像头。$\r$\n$\r$\n安装后，视频软件的摄像头列表中会出现“Pavix”。$\r$\n$\r$\n${ADB_ZH}"
LangString WelcomeText ${LANG_ENGLISH} "This wizard installs Pavix ${VERSION}, which turns an Android phone into the PC's webcam.$\r$\n$\r$\nOnce installed, video applications list a camera named $\"Pavix$\".$\r$\n$\r$\n${ADB_EN}"
LangString FinishText ${LANG_SIMPCHINESE} "Pavix 已安装。在视频软件中选择摄像头“Pavix”即可看到手机画面。$\r$\n$\r$\n${ADB_ZH}"
LangString FinishText ${LANG_ENGLISH} "Pavix is installed. Choose the camera $\"Pavix$\" in a video application to see the phone's picture.$\r$\n$\r$\n${ADB_EN}"
LangString RunPavix ${LANG_SIMPCHINESE} "运行 Pavix"
LangString RunPavix ${LANG_ENGLISH} "Run Pavix"
LangString ShowReadme ${LANG_SIMPCHINESE} "查看说明 (README.txt)"
LangString ShowReadme ${LANG_ENGLISH} "Show README.txt"
LangString PavixRunning ${LANG_SIMPCHINESE} "Pavix 正在运行。点“确定”关闭它并继续。"
LangString PavixRunning ${LANG_ENGLISH} "Pavix is running. Press OK to close it and go on."
LangString RegisterFailed ${LANG_SIMPCHINESE} "无法注册 Pavix 摄像头（$0）。视频软件中将看不到“Pavix”。请重新运行安装程序。"
LangString RegisterFailed ${LANG_ENGLISH} "The Pavix camera could not be registered ($0). Video applications will not list $\"Pavix$\". Please run the installer again."
LangString No32BitRegistration ${LANG_SIMPCHINESE} "32 位摄像头组件未能注册（$0）：32 位视频软件中看不到“Pavix”，64 位软件不受影响。"
LangString No32BitRegistration ${LANG_ENGLISH} "The 32-bit camera could not be registered ($0): 32-bit video applications will not list $\"Pavix$\"; 64-bit ones are not affected."
LangString No32BitWindows ${LANG_SIMPCHINESE} "此 Windows 没有 32 位子系统：只注册 64 位摄像头组件。"
LangString No32BitWindows ${LANG_ENGLISH} "This Windows has no 32-bit subsystem: only the 64-bit camera is registered."
LangString Need64BitInstaller ${LANG_SIMPCHINESE} "这是 32 位 Windows 的安装程序。请在 64 位 Windows 上使用 Pavix-${VERSION}-setup-x64.exe。"
LangString Need64BitInstaller ${LANG_ENGLISH} "This installer is for 32-bit Windows. On 64-bit Windows please use Pavix-${VERSION}-setup-x64.exe."
LangString ShortcutComment ${LANG_SIMPCHINESE} "把安卓手机用作电脑摄像头"
LangString ShortcutComment ${LANG_ENGLISH} "Use an Android phone as the PC's webcam"

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
!macro VERSION_KEYS LANG DESCRIPTION
  VIAddVersionKey /LANG=${LANG} "ProductName" "${PRODUCT}"
  VIAddVersionKey /LANG=${LANG} "ProductVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "FileVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "FileDescription" "${DESCRIPTION}"
  VIAddVersionKey /LANG=${LANG} "LegalCopyright" "${COPYRIGHT}"
!macroend
!insertmacro VERSION_KEYS ${LANG_SIMPCHINESE} "Pavix ${VERSION} 安装程序 (${ARCH})"
!insertmacro VERSION_KEYS ${LANG_ENGLISH} "Pavix ${VERSION} setup (${ARCH})"

; --- Shared by installer and uninstaller ------------------------------------------------

; Ends a running pavix.exe as its close box would (it publishes its last
; picture state, stops its threads and quits), and waits until the process
; is gone, so that its files can be replaced or removed.
!macro CLOSE_PAVIX_FUNCTION prefix
Function ${prefix}ClosePavix
  FindWindow $0 "${WINDOW_CLASS}"
  StrCmp $0 0 done
  MessageBox MB_OKCANCEL|MB_ICONINFORMATION "$(PavixRunning)" /SD IDOK IDOK close
  Abort
close:
  System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
  ; SYNCHRONIZE
  System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2"
  DetailPrint "Closing pavix.exe (process $1)"
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
  StrCmp $2 0 done
  System::Call "kernel32::WaitForSingleObject(p r2, i 15000) i .r3"
  System::Call "kernel32::CloseHandle(p r2)"
done:
FunctionEnd
!macroend
!insertmacro CLOSE_PAVIX_FUNCTION ""
!insertmacro CLOSE_PAVIX_FUNCTION "un."

; --- Installer -----------------------------------------------------------------------------

Function .onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!else
  ${If} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "$(Need64BitInstaller)" /SD IDOK
    Abort
  ${EndIf}
!endif
FunctionEnd

Function SkipFolderOnUpgrade
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  StrCmp $0 "" +2
  Abort
FunctionEnd

Function StartPavix
  ; The working folder is INSTDIR, as with the Start-menu shortcut.
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\pavix.exe"'
FunctionEnd

; regsvr32 /s on FILE with the registration tool TOOL; $0 = its exit code,
; or "not started".
!macro REGSVR32 TOOL OPTIONS FILE
  ClearErrors
  ExecWait '"${TOOL}" ${OPTIONS} "${FILE}"' $0
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
  DetailPrint '"${TOOL}" ${OPTIONS} "${FILE}": $0'
!macroend

Section "Pavix" SectionMain
  SectionIn RO
  SetShellVarContext all
  Call ClosePavix

  SetOutPath "$INSTDIR"
  File "${STAGE}/pavix.exe"
  File "${STAGE}/README.txt"
  SetOutPath "$INSTDIR\docs"
  File /r "${STAGE}/docs/*.*"
  SetOutPath "$INSTDIR\x86"
  File "${STAGE}/x86/RovoFilter.ax"
!if "${ARCH}" == "x64"
  SetOutPath "$INSTDIR\x64"
  File "${STAGE}/x64/RovoFilter.ax"
!endif

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\pavix.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $1

  ; The shortcut's working folder is the current output folder.
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\pavix.exe" "" "$INSTDIR\pavix.exe" 0 \
    SW_SHOWNORMAL "" "$(ShortcutComment)"

  ; The camera for applications of the system's own bitness: needed.
!if "${ARCH}" == "x64"
  !insertmacro REGSVR32 "$SYSDIR\regsvr32.exe" "/s" "$INSTDIR\x64\RovoFilter.ax"
!else
  !insertmacro REGSVR32 "$SYSDIR\regsvr32.exe" "/s" "$INSTDIR\x86\RovoFilter.ax"
!endif
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(RegisterFailed)" /SD IDOK
    DetailPrint "$(RegisterFailed)"
    SetErrorLevel 3
  ${EndIf}

!if "${ARCH}" == "x64"
  ; The camera for 32-bit applications, with the 32-bit registration tool
  ; when Windows has one. Without it 64-bit applications still see the
  ; camera: a failure here is reported, not fatal.
  ${If} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
    !insertmacro REGSVR32 "$WINDIR\SysWOW64\regsvr32.exe" "/s" "$INSTDIR\x86\RovoFilter.ax"
    ${If} $0 != 0
      DetailPrint "$(No32BitRegistration)"
    ${EndIf}
  ${Else}
    DetailPrint "$(No32BitWindows)"
  ${EndIf}
!endif
SectionEnd

; --- Uninstaller ---------------------------------------------------------------------------

Function un.onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!endif
FunctionEnd

; The filter's entries in one registry view: its COM class and its entry
; in the video-input category. Left only when a registration tool could
; not run (no 32-bit subsystem) or the module could not unregister itself.
; The category entry is named after the device ("Pavix"); it is only ours
; when it names our class.
!macro DELETE_FILTER_KEYS
  DeleteRegKey HKCR "CLSID\${FILTER_CLSID}"
  ReadRegStr $1 HKCR "CLSID\${VIDEO_INPUT_CATEGORY}\Instance\${PRODUCT}" "CLSID"
  ${If} $1 == "${FILTER_CLSID}"
    DeleteRegKey HKCR "CLSID\${VIDEO_INPUT_CATEGORY}\Instance\${PRODUCT}"
  ${EndIf}
!macroend

Section "Uninstall"
  SetShellVarContext all
  Call un.ClosePavix

  ; Both cameras are unregistered while their modules are still there.
!if "${ARCH}" == "x64"
  !insertmacro REGSVR32 "$SYSDIR\regsvr32.exe" "/s /u" "$INSTDIR\x64\RovoFilter.ax"
  ${If} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
    !insertmacro REGSVR32 "$WINDIR\SysWOW64\regsvr32.exe" "/s /u" "$INSTDIR\x86\RovoFilter.ax"
  ${EndIf}
  SetRegView 32
  !insertmacro DELETE_FILTER_KEYS
  SetRegView 64
  !insertmacro DELETE_FILTER_KEYS
!else
  !insertmacro REGSVR32 "$SYSDIR\regsvr32.exe" "/s /u" "$INSTDIR\x86\RovoFilter.ax"
  !insertmacro DELETE_FILTER_KEYS
!endif

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\pavix.exe"
  Delete "$INSTDIR\README.txt"
  ; The program's settings file (the last Wi-Fi phone), written beside it.
  Delete "$INSTDIR\pavix_cfg.ini"
  RMDir /r "$INSTDIR\docs"
  Delete "$INSTDIR\x64\RovoFilter.ax"
  RMDir "$INSTDIR\x64"
  Delete "$INSTDIR\x86\RovoFilter.ax"
  RMDir "$INSTDIR\x86"
  Delete "$INSTDIR\uninstall.exe"
  ; Files the user put there (the debug bridge) keep the folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
