// A modal warning with an OK button over a dialog; returns when it is closed.
#pragma once

#include "platform/gui/afxdlg.h"

void AfxWarningBox(CDialog* parent, LPCSTR caption, LPCSTR text);
