// Qt backend of platform/gui/afxwin.h.
#pragma once

#include "platform/qt/afx_app.h"
#include "platform/qt/afx_wnd.h"
