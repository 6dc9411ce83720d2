// Menus 128 and 132, accelerator table 128, string 128, icons 128 and 129, version information.
// pelmora.rc holds the same for the Windows build.
#include <QtGlobal>

#include "platform/gui/qt/afx_res.h"
#include "res/resource.h"

namespace {

void registerShellResources() {
    AfxRegisterMenu(IDR_MAINFRAME, AfxMenuTemplate{{
                                       {"&File",
                                        0,
                                        {
                                            {"&Hide main window", ID_HIDE_MAIN_WINDOW, {}},
                                            {"&Options", ID_OPTIONS, {}},
                                            {},
                                            {"E&xit", ID_EXIT, {}},
                                        }},
                                       {"&Help", 0, {{"&About scanner...", ID_APP_ABOUT, {}}}},
                                   }});
    AfxRegisterMenu(IDR_TRAYMENU, AfxMenuTemplate{{
                                      {"File",
                                       0,
                                       {
                                           {"&Show Main Window", ID_SHOW_MAIN_WINDOW, {}},
                                           {"&Options", ID_OPTIONS, {}},
                                           {},
                                           {"&About scanner...", ID_APP_ABOUT, {}},
                                           {},
                                           {"E&xit", ID_EXIT, {}},
                                       }},
                                  }});
    AfxRegisterAccelerators(IDR_MAINFRAME,
                            {
                                {QKeySequence(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
                                {QKeySequence(Qt::CTRL | Qt::Key_Insert), ID_EDIT_COPY},
                                {QKeySequence(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
                                {QKeySequence(Qt::SHIFT | Qt::Key_Delete), ID_EDIT_CUT},
                                {QKeySequence(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
                                {QKeySequence(Qt::SHIFT | Qt::Key_Insert), ID_EDIT_PASTE},
                                {QKeySequence(Qt::CTRL | Qt::Key_Z), ID_EDIT_UNDO},
                                {QKeySequence(Qt::ALT | Qt::Key_Backspace), ID_EDIT_UNDO},
                                {QKeySequence(Qt::Key_F6), ID_NEXT_PANE},
                                {QKeySequence(Qt::SHIFT | Qt::Key_F6), ID_PREV_PANE},
                            });
    AfxRegisterString(IDR_MAINFRAME, "Pelmora Utility");
    AfxRegisterIcon(IDR_MAINFRAME,
                    {":/res/icons/mainframe_16.png", ":/res/icons/mainframe_32.png"});
    AfxRegisterIcon(IDI_TRAYICON, {":/res/icons/tray_16.png", ":/res/icons/tray_32.png"});
    AfxRegisterVersionInfo(AfxVersionInfo{
        {1, 0, 3, 5},
        {1, 0, 3, 5},
        {
            {"CompanyName", "Vantel"},
            {"FileDescription", "A program for using serial scanners as keyboard inputs"},
            {"FileVersion", "1.0.3"},
            {"InternalName", "Pelmora.exe"},
            {"LegalCopyright", "Copyright (C) Vantel"},
            {"OriginalFilename", "Pelmora.exe"},
            {"ProductName", "Pelmora"},
            {"ProductVersion", "1.0.3"},
        },
    });
}

const AfxResourceRegistrar registrar(&registerShellResources);

}  // namespace
