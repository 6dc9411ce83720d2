// Identifiers of the shell's resources and commands (menus, accelerators, strings, icons).
// Kept free of C++ so the Windows resource compiler reads it too.
#pragma once

#define IDR_MAINFRAME 128
#define IDI_TRAYICON 129
#define IDR_TRAYMENU 132

#define ID_HIDE_MAIN_WINDOW 32776
#define ID_SHOW_MAIN_WINDOW 32777
#define ID_OPTIONS 32778
#define ID_EXIT 32779

#define VS_VERSION_INFO 1
