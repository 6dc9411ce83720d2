#include "support/ui/html_static.h"

#include <string>

namespace {

// The markup the About text uses, for a SysLink: "<br>" breaks the line, "<p>" starts a
// paragraph, "&copy;" is the sign, anchors stay as they are (SysLink draws them as links).
std::wstring toLinkMarkup(const char* html) {
    std::wstring text = afx::widen(html);
    const struct {
        const wchar_t* from;
        const wchar_t* to;
    } replacements[] = {
        {L"<br>", L"\n"}, {L"<p>", L"\n\n"}, {L"&copy;", L"\u00A9"}, {L"&amp;", L"&amp;"}};
    for (const auto& r : replacements) {
        const std::wstring from = r.from;
        for (std::size_t at = text.find(from); at != std::wstring::npos;
             at = text.find(from, at + std::wcslen(r.to))) {
            text.replace(at, from.size(), r.to);
        }
    }
    return text;
}

}  // namespace

void CHtmlStatic::OnSubclassed() {
    // The static stays as the bordered box; a SysLink inside it shows the text and its links.
    HWND parent = ::GetParent(m_hWnd);
    HWND link = ::CreateWindowExW(0, WC_LINK, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0,
                                  parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (link != nullptr) {
        ::SendMessageW(link, WM_SETFONT, ::SendMessageW(m_hWnd, WM_GETFONT, 0, 0), FALSE);
        ::SetWindowPos(link, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetCompanion(link, &toLinkMarkup);
    }
    CColorStatic::OnSubclassed();
}
