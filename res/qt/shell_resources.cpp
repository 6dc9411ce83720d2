// Registers the shell's resources for the Qt build: menus 128 and 132, accelerator table 128 and
// the strings from their data (shell_resources.cpp), icons 128 and 129, version information.
#include <QtGlobal>

#include "platform/gui/qt/afx_res.h"
#include "res/resource.h"
#include "res/shell_resources.h"

namespace {

void registerShellResources() {
    AfxRegisterMenu(IDR_MAINFRAME, res::mainFrameMenu());
    AfxRegisterMenu(IDR_TRAYMENU, res::trayMenu());
    AfxRegisterAccelerators(IDR_MAINFRAME, res::mainFrameAccelerators());
    for (const auto& [id, text] : res::strings())
        AfxRegisterString(id, text);
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
