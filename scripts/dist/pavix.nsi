; Pavix's Windows installers, built by scripts/dist/make-dist.sh with
; makensis -INPUTCHARSET UTF8 and these definitions:
;   ARCH         x64 (64-bit Windows: 64-bit program, both camera filters,
;                the Windows 11 camera's media source)
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
;   x64\PavixMediaSource.dll  (x64 only) the Windows 11 camera's media
;                       source, registered with the 64-bit regsvr32 (its
;                       class in HKLM); pavix.exe publishes the camera.
;                       Its unregistration removes the camera too, so the
;                       uninstaller runs it before the file goes.
; The Start-menu shortcut starts pavix.exe in INSTDIR: the program reads and
; writes its settings file (pavix_cfg.ini) in its working folder. The debug
; bridge (adb.exe, AdbWinApi.dll, AdbWinUsbApi.dll) is not ours to ship; the
; pages and README.txt say that it goes beside pavix.exe.
;
; A second install goes over the first (same folder, taken from the
; uninstall entry) and registers again. A running pavix.exe is closed first.
; A program file still in use (a camera filter loaded by an open video
; application; see FreeFile) is moved aside and deleted, or replaced, when
; Windows restarts; the installer and the uninstaller say so.
; Exit codes (besides NSIS's own 1 = cancelled, 2 = aborted): 3 = the
; camera could not be registered for 64-bit applications (x64) or at all
; (x86); 3010 (ERROR_SUCCESS_REBOOT_REQUIRED) = done, but files in use are
; only deleted or replaced when Windows restarts.

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
!define MEDIA_SOURCE_MODULE "PavixMediaSource.dll"

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
!define MUI_FINISHPAGE_TEXT_REBOOT "$(FinishRestartText)"
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
LangString NoMediaSource ${LANG_SIMPCHINESE} "Windows 11 相机组件未能注册（$0）：Windows 相机应用和“设置”中看不到“Pavix”，其他视频软件不受影响。"
LangString NoMediaSource ${LANG_ENGLISH} "The Windows 11 camera could not be registered ($0): the Camera app and Settings will not list $\"Pavix$\"; other video applications are not affected."
LangString No32BitWindows ${LANG_SIMPCHINESE} "此 Windows 没有 32 位子系统：只注册 64 位摄像头组件。"
LangString No32BitWindows ${LANG_ENGLISH} "This Windows has no 32-bit subsystem: only the 64-bit camera is registered."
LangString Need64BitInstaller ${LANG_SIMPCHINESE} "这是 32 位 Windows 的安装程序。请在 64 位 Windows 上使用 Pavix-${VERSION}-setup-x64.exe。"
LangString Need64BitInstaller ${LANG_ENGLISH} "This installer is for 32-bit Windows. On 64-bit Windows please use Pavix-${VERSION}-setup-x64.exe."
LangString FilesInUse ${LANG_SIMPCHINESE} "部分文件正被其他程序使用（例如打开了摄像头“Pavix”的视频软件）：重新启动 Windows 后才能完成安装。在此之前，已经打开的视频软件继续使用旧版本。"
LangString FilesInUse ${LANG_ENGLISH} "Some files are in use by other programs (a video application that opened the camera $\"Pavix$\", say): restart Windows to finish the installation. Until then, video applications already open keep the old version."
LangString FinishRestartText ${LANG_SIMPCHINESE} "$(FilesInUse)$\r$\n$\r$\n现在重新启动电脑吗？"
LangString FinishRestartText ${LANG_ENGLISH} "$(FilesInUse)$\r$\n$\r$\nRestart the computer now?"
LangString UninstallFilesInUse ${LANG_SIMPCHINESE} "部分文件正被其他程序使用（例如打开了摄像头“Pavix”的视频软件），将在 Windows 重新启动时删除。"
LangString UninstallFilesInUse ${LANG_ENGLISH} "Some files are in use by other programs (a video application that opened the camera $\"Pavix$\", say); they are removed when Windows restarts."
LangString MovedAside ${LANG_SIMPCHINESE} "正在使用，已移开，重新启动时删除："
LangString MovedAside ${LANG_ENGLISH} "In use, moved aside, deleted at restart:"
LangString ReplacedAtRestart ${LANG_SIMPCHINESE} "正在使用，重新启动时替换："
LangString ReplacedAtRestart ${LANG_ENGLISH} "In use, replaced at restart:"
LangString DeletedAtRestart ${LANG_SIMPCHINESE} "正在使用，重新启动时删除："
LangString DeletedAtRestart ${LANG_ENGLISH} "In use, deleted at restart:"
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

; Frees the file named on the stack for a new copy or for removal, and
; leaves on the stack "free" (it is gone) or "held". Windows refuses to
; delete or overwrite a module that a program has loaded (a camera filter
; in an open video application, pavix.exe running in another user's
; session), but lets it be renamed: it is moved aside to NAME.old<n>,
; which Windows deletes at the next restart, and the program keeps using
; that copy until then. A file that cannot even be renamed (opened without
; sharing, by a virus scanner say) is "held": the caller has Windows
; replace or delete it at the restart. Whatever is left for the restart
; sets the reboot flag (NSIS's /REBOOTOK does).
!macro FREE_FILE_FUNCTION prefix
Function ${prefix}FreeFile
  Exch $0
  Push $1
  ${If} ${FileExists} $0
    ClearErrors
    Delete $0
  ${EndIf}
  ${IfNot} ${FileExists} $0
    StrCpy $0 free
  ${Else}
    ; The first NAME.old<n> that is not there, or can go now (left by an
    ; earlier upgrade, no longer loaded).
    StrCpy $1 0
    ${Do}
      Delete "$0.old$1"
      ${IfNot} ${FileExists} "$0.old$1"
        ${Break}
      ${EndIf}
      IntOp $1 $1 + 1
    ${LoopWhile} $1 < 100
    ClearErrors
    Rename $0 "$0.old$1"
    ${If} ${Errors}
      StrCpy $0 held
    ${Else}
      DetailPrint "$(MovedAside) $0"
      Delete /REBOOTOK "$0.old$1"
      StrCpy $0 free
    ${EndIf}
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro FREE_FILE_FUNCTION ""
!insertmacro FREE_FILE_FUNCTION "un."

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

; A program file (SOURCE, installed as NAME into the output folder) over
; one that may be in use: if it is held, Windows puts the new copy in
; place at the next restart.
!macro INSTALL_MODULE SOURCE NAME
  Push "$OUTDIR\${NAME}"
  Call FreeFile
  Pop $0
  ${If} $0 == free
    File "${SOURCE}"
  ${Else}
    File "/oname=${NAME}.new" "${SOURCE}"
    Rename /REBOOTOK "$OUTDIR\${NAME}.new" "$OUTDIR\${NAME}"
    DetailPrint "$(ReplacedAtRestart) $OUTDIR\${NAME}"
  ${EndIf}
!macroend

Section "Pavix" SectionMain
  SectionIn RO
  SetShellVarContext all
  Call ClosePavix

  SetOutPath "$INSTDIR"
  !insertmacro INSTALL_MODULE "${STAGE}/pavix.exe" pavix.exe
  File "${STAGE}/README.txt"
  SetOutPath "$INSTDIR\docs"
  File /r "${STAGE}/docs/*.*"
  SetOutPath "$INSTDIR\x86"
  !insertmacro INSTALL_MODULE "${STAGE}/x86/RovoFilter.ax" RovoFilter.ax
!if "${ARCH}" == "x64"
  SetOutPath "$INSTDIR\x64"
  !insertmacro INSTALL_MODULE "${STAGE}/x64/RovoFilter.ax" RovoFilter.ax
  !insertmacro INSTALL_MODULE "${STAGE}/x64/${MEDIA_SOURCE_MODULE}" ${MEDIA_SOURCE_MODULE}
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

  ; The Windows 11 camera's source: Windows 10 and older register it too
  ; (pavix.exe publishes the camera only on Windows 11). Without it the
  ; DirectShow camera still serves: a failure is reported, not fatal.
  !insertmacro REGSVR32 "$SYSDIR\regsvr32.exe" "/s" "$INSTDIR\x64\${MEDIA_SOURCE_MODULE}"
  ${If} $0 != 0
    DetailPrint "$(NoMediaSource)"
  ${EndIf}
!endif

  ; Files in use: the finish page offers the restart; a silent run says it
  ; in its exit code, unless a failed registration said more.
  ${If} ${RebootFlag}
    DetailPrint "$(FilesInUse)"
    GetErrorLevel $1
    ${If} $1 <= 0
      SetErrorLevel 3010
    ${EndIf}
  ${EndIf}
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

; Removes a program file that may be in use: moved aside, or if held where
; it is, and deleted at the next restart.
!macro REMOVE_MODULE PATH
  Push "${PATH}"
  Call un.FreeFile
  Pop $0
  ${If} $0 == held
    Delete /REBOOTOK "${PATH}"
    DetailPrint "$(DeletedAtRestart) ${PATH}"
  ${EndIf}
!macroend

Section "Uninstall"
  SetShellVarContext all
  Call un.ClosePavix

  ; The cameras are unregistered while their modules are still there: the
  ; media source's unregistration also removes the Windows 11 camera,
  ; which only it can do.
!if "${ARCH}" == "x64"
  !insertmacro REGSVR32 "$SYSDIR\regsvr32.exe" "/s /u" "$INSTDIR\x64\${MEDIA_SOURCE_MODULE}"
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
  ; Copies an upgrade moved aside go too, now or at the restart.
  Delete /REBOOTOK "$INSTDIR\pavix.exe.old*"
  !insertmacro REMOVE_MODULE "$INSTDIR\pavix.exe"
  Delete "$INSTDIR\README.txt"
  ; The program's settings file (the last Wi-Fi phone), written beside it.
  Delete "$INSTDIR\pavix_cfg.ini"
  RMDir /r "$INSTDIR\docs"
  Delete /REBOOTOK "$INSTDIR\x64\RovoFilter.ax.old*"
  !insertmacro REMOVE_MODULE "$INSTDIR\x64\RovoFilter.ax"
  ; The Frame Server may still hold the source loaded.
  Delete /REBOOTOK "$INSTDIR\x64\${MEDIA_SOURCE_MODULE}.old*"
  !insertmacro REMOVE_MODULE "$INSTDIR\x64\${MEDIA_SOURCE_MODULE}"
  RMDir "$INSTDIR\x64"
  Delete /REBOOTOK "$INSTDIR\x86\RovoFilter.ax.old*"
  !insertmacro REMOVE_MODULE "$INSTDIR\x86\RovoFilter.ax"
  RMDir "$INSTDIR\x86"
  Delete "$INSTDIR\uninstall.exe"
  ; Files the user put there (the debug bridge) keep the folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"

  ${If} ${RebootFlag}
    ; The folders go after the files Windows deletes at the restart (it
    ; works through them in order); one that still holds files stays.
    RMDir /REBOOTOK "$INSTDIR\x64"
    RMDir /REBOOTOK "$INSTDIR\x86"
    RMDir /REBOOTOK "$INSTDIR"
    MessageBox MB_OK|MB_ICONINFORMATION "$(UninstallFilesInUse)" /SD IDOK
    DetailPrint "$(UninstallFilesInUse)"
    SetErrorLevel 3010
  ${EndIf}
SectionEnd
