#include "app/command_line.h"
#include "platform/gui/afx_console.h"
#include "platform/gui/afxwin.h"

int main(int argc, char** argv) {
    // Answered before the windowing layer starts: no display needed, no second tray icon.
    if (parsePelmoraCommandLine(argc, argv).action != PelmoraCommandLine::Action::Run) {
        AfxAttachParentConsole();
    }
    const int answered = answerPelmoraCommandLine(argc, argv);
    if (answered >= 0) {
        return answered;
    }
    // Started again (at logon and from the menu, say): one copy, one icon, one reader.
    AfxSetSingleInstance("Pelmora");
    return AfxWinMain(argc, argv);
}
