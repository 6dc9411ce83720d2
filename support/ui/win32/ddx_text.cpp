#include "support/ui/ddx_text.h"

#include <vector>

// Narrow text is Latin-1 here: one UTF-16 unit per byte, either way.
void DDX_Text(CDataExchange* pDX, int id, vantel::VLString& value) {
    HWND edit = pDX->m_pDlgWnd->controlHandle(id);
    if (edit == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        const int length = ::GetWindowTextLengthW(edit);
        std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
        ::GetWindowTextW(edit, text.data(), length + 1);
        value = vantel::VLString(afx::narrow(text.data()));
    } else {
        const std::string bytes = value.bytes();
        ::SetWindowTextW(edit, afx::widen(bytes.data(), static_cast<int>(bytes.size())).c_str());
    }
}
