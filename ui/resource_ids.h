#pragma once

/* Identifiers of pavix.exe's resources and commands. The numbers are fixed:
   dialogs, tooltips and other programs' tests rely on them. Plain macros,
   because the resource compiler reads this file too. */

/* Icons (each icon group holds 64, 48, 32, 24 and 16 pixels, 32-bit). */
#define IDI_CONNECTED 107    /* application icon; tray icon while connected */
#define IDI_DISCONNECTED 135 /* tray icon at start-up and while disconnected */
#define IDI_WAITING 136      /* tray icon while waiting for the phone */
#define IDI_ABOUT 147        /* the About box's picture */
#define IDI_BLUETOOTH 145    /* 16 x 16, loaded but not shown */
#define IDI_USB 146          /* 16 x 16, the status bar's icon */

/* 16 x 16 command-bar art. */
#define IDI_RECORD 130
#define IDI_RECORD_OFF 131
#define IDI_STOP 132
#define IDI_STOP_OFF 133
#define IDI_DISCONNECT 140
#define IDI_DISCONNECT_OFF 142
#define IDI_SETTINGS 144

/* The idle picture, 495 x 391, 32 bits per pixel. */
#define IDB_IDLE 134

/* The function menu and its accelerator table share this number. */
#define IDR_FUNCTION_MENU 109

#define IDD_ABOUT 103
#define IDD_CONNECT 138

/* Controls of the dialogs. The About box's texts have no identifier of
   their own (-1); its icon carries 2. */
#define IDC_ABOUT_ICON 2
#define IDC_CONNECT_PROMPT 40008 /* "请输入手机验证码:" */
#define IDC_CONNECT_CODE 40009   /* the phone's code */
#define IDC_CONNECT_STATE 40013  /* the progress line, hidden at first */

/* Timers of the connect dialog: judge the attempt 5 s after OK, close 1 s
   after a success. */
#define TIMER_CONNECT_CHECK 101
#define TIMER_CONNECT_CLOSE 102

/* Strings. */
#define IDS_START_PAVIX 109
#define IDS_PRODUCT 40000
#define IDS_MANUAL_CONNECT 40001
#define IDS_START_CAPTURE 40002
#define IDS_STOP_CAPTURE 40003
#define IDS_DISCONNECT 40004

/* Commands (WM_COMMAND identifiers). */
#define CMD_ABOUT 104
#define CMD_EXIT 105
#define CMD_HELP 106
#define CMD_SOFTWARE_UPGRADE 40002
#define CMD_WIFI_CONNECT 40014
#define CMD_USB_CONNECT 40015
#define CMD_START_CAPTURE 32772
#define CMD_STOP_CAPTURE 32773
#define CMD_DISCONNECT 32774
