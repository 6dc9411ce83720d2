// Modal dialogs built from the dialog templates (res/dialog_templates.h, res/pelmora.rc), under
// the framework's names: CDialog, CComboBox, CDataExchange, DDX_Check, DDX_CBIndex, DDX_Control,
// control notification maps (onControl, onControlRange) and IDOK/IDCANCEL (the backend's types
// header).
#pragma once

#include "platform/gui/afx_dialog.h"
#include "platform/gui/afxwin.h"
