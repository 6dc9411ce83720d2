#include "platform/gui/win32/win32_rich_text.h"

#include <cwchar>
#include <string>

#include "platform/gui/win32/win32_peers.h"

namespace {

// The character a SysLink expects between "<a" and its attributes: the break character of its
// font, a space on Windows, but Wine's Tahoma reports '!'.
wchar_t breakChar(HWND link) {
    HDC dc = ::GetDC(link);
    auto font = reinterpret_cast<HGDIOBJ>(::SendMessageW(link, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics{};
    const bool measured = ::GetTextMetricsW(dc, &metrics) != FALSE;
    ::SelectObject(dc, old);
    ::ReleaseDC(link, dc);
    return measured ? metrics.tmBreakChar : L' ';
}

}  // namespace

// Besides the breaks and paragraphs, "&copy;" becomes the sign.
std::wstring afx::toLinkMarkup(HWND link, const char* html) {
    std::wstring text = afx::widen(html);
    const std::wstring anchor = std::wstring(L"<a") + breakChar(link);
    for (std::size_t at = text.find(L"<a "); at != std::wstring::npos;
         at = text.find(L"<a ", at + anchor.size())) {
        text.replace(at, 3, anchor);
    }
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

void afx::win32::Control::showRichText() {
    if (m_companion != nullptr)
        return;
    // The static stays as the bordered box; a SysLink inside it shows the text and its links.
    HWND parent = ::GetParent(m_hwnd);
    HWND link = ::CreateWindowExW(0, WC_LINK, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0,
                                  parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (link != nullptr) {
        ::SendMessageW(link, WM_SETFONT, ::SendMessageW(m_hwnd, WM_GETFONT, 0, 0), FALSE);
        // Just before the box in the z-order: above it, and where the box is in the tab order.
        HWND before = ::GetWindow(m_hwnd, GW_HWNDPREV);
        ::SetWindowPos(link, before != nullptr ? before : HWND_TOP, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        // The box must not paint over the link that lies on it.
        ::SetWindowLongPtrW(m_hwnd, GWL_STYLE,
                            ::GetWindowLongPtrW(m_hwnd, GWL_STYLE) | WS_CLIPSIBLINGS);
        m_companion = link;
    }
}
