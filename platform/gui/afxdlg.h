// Modal dialogs built from the dialog templates (res/dialog_templates.h, res/pelmora.rc), under
// the framework's names: CDialog, CComboBox, CDataExchange, DDX_Check, DDX_CBIndex, DDX_Control,
// control notification maps (onControl, onControlRange) and IDOK/IDCANCEL. Implemented by the
// backend the build picks (see afxwin.h).
#pragma once

#include <afx_native_dialog.h>
