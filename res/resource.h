// Identifiers of the program's resources, commands and dialog controls. Only #defines: the
// Windows resource compiler reads this header too (it cannot read C++ constants).
#pragma once

#define IDR_MAINFRAME 128
#define IDI_TRAYICON 129
#define IDR_TRAYMENU 132

#define ID_HIDE_MAIN_WINDOW 32776
#define ID_SHOW_MAIN_WINDOW 32777
#define ID_OPTIONS 32778
#define ID_EXIT 32779

#define VS_VERSION_INFO 1

// Dialog templates and the About picture (a JPEG resource of type "JPG").
#define IDD_ABOUTBOX 100
#define IDD_OPTIONS 102
#define IDR_ABOUT_PICTURE 20000

// Options dialog controls.
#define IDC_SKIP_FIRST_CHAR 1000
#define IDC_DEVICE_NAME 1001
#define IDC_CRLF 1002
#define IDC_BAUD_RATE 1004
#define IDC_SERIAL_DEVICE 1005
#define IDC_PARITY_LIST 1006
#define IDC_DATA_BITS 1007
#define IDC_STOP_BITS 1008
#define IDC_PARITY 1009
#define IDC_DSR 1010
#define IDC_CTS 1011
#define IDC_DTR 1012
#define IDC_XON_INPUT 1014
#define IDC_XON_OUTPUT 1015

// About box controls.
#define IDC_ABOUT_TITLE 1010
#define IDC_ABOUT_INFO 1016

// Controls nothing refers to.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
