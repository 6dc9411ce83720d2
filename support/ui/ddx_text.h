// Data exchange between an edit control and a narrow string.
#pragma once

#include "platform/gui/afxdlg.h"
#include "support/vl_string.h"

// Loading sets the control's text; saving reads it back. The one field it serves names a device,
// so narrow text is in the platform's file-name encoding.
void DDX_Text(CDataExchange* pDX, int id, vantel::VLString& value);
