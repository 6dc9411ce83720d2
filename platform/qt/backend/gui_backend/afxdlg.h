// Qt backend of platform/gui/afxdlg.h.
#pragma once

#include "platform/qt/dialog.h"
