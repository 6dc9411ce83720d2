#include <windows.h>

#include "platform/gui/afx_message_box.h"

void AfxWarningBox(CDialog* parent, LPCSTR caption, LPCSTR text) {
    MessageBoxA(parent != nullptr ? parent->GetSafeHwnd() : nullptr, text, caption,
                MB_OK | MB_ICONWARNING);
}
