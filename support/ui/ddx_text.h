// Data exchange between an edit control and a narrow string.
#pragma once

#include "platform/gui/afxdlg.h"
#include "support/vl_string.h"

// Loading sets the control's text; saving reads it back. Narrow text is in the system's 8-bit
// encoding.
void DDX_Text(CDataExchange* pDX, int id, vantel::VLString& value);
