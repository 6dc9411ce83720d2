#include "support/ui/color_static.h"

void CColorStatic::apply() {
    if (!IsBound())
        return;
    const bool noFill = m_backgroundColor == kNoFillColor;
    SetAppearance(m_textColor != kDefaultColor ? m_textColor : CLR_INVALID,
                  !noFill && m_backgroundColor != kDefaultColor ? m_backgroundColor : CLR_INVALID,
                  noFill);
    if (!m_fontFace.empty()) {
        HDC screen = ::GetDC(nullptr);
        const int height = -::MulDiv(static_cast<int>(m_fontPointSize + 0.5),
                                     ::GetDeviceCaps(screen, LOGPIXELSY), 72);
        ::ReleaseDC(nullptr, screen);
        const std::wstring face = afx::widen(m_fontFace.c_str());
        SetControlFont(::CreateFontW(height, 0, 0, 0, m_fontBold ? FW_BOLD : FW_NORMAL, FALSE,
                                     FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                     DEFAULT_PITCH | FF_SWISS, face.c_str()));
    }
    // The inner margin: the content window, if any, sits inside the control by `padding`.
    if (HWND inner = companion()) {
        RECT box;
        ::GetWindowRect(m_hWnd, &box);
        ::MapWindowPoints(nullptr, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&box), 2);
        const int pad = m_padding + 1;  // inside the border
        ::MoveWindow(inner, box.left + pad, box.top + pad, box.right - box.left - 2 * pad,
                     box.bottom - box.top - 2 * pad, TRUE);
    }
}
