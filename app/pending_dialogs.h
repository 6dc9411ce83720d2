// Stand-ins for the Options and About dialogs until they are part of the build: each behaves as
// a dialog the user cancelled at once. The result can be chosen, for tests of the commands.
#pragma once

#include "platform/qt/afx_types.h"

struct PendingDialogResults {
    static inline int options = IDCANCEL;
    static inline int aboutRuns = 0;
};

class PendingOptionsDialog {
public:
    int DoModal() { return PendingDialogResults::options; }
};

class PendingAboutDialog {
public:
    int DoModal() {
        ++PendingDialogResults::aboutRuns;
        return IDCANCEL;
    }
};
