#include "support/ui/color_static.h"

#include "support/ui/html_static.h"

CColorStatic::CColorStatic(COLORREF textColor, COLORREF backgroundColor, BorderStyle border)
    : m_textColor(textColor), m_backgroundColor(backgroundColor), m_border(border) {}

void CColorStatic::SetPadding(int pixels) {
    m_padding = pixels;
    apply();
}

void CColorStatic::SetBackgroundColor(COLORREF color) {
    m_backgroundColor = color;
    apply();
}

void CColorStatic::SetTextColor(COLORREF color) {
    m_textColor = color;
    apply();
}

void CColorStatic::SetFontInfo(const vantel::VLString& face, double pointSize, int weight, void*) {
    m_fontFace = face.t_str();
    m_fontPointSize = pointSize;
    m_fontBold = weight == 1;
    apply();
}

void CColorStatic::OnSubclassed() {
    apply();
}

void CColorStatic::apply() {
    if (!IsBound())
        return;
    afx::ControlAppearance look;
    look.text = m_textColor;
    look.background = m_backgroundColor;
    look.padding = m_padding;
    look.fontFace = m_fontFace;
    look.fontPointSize = m_fontPointSize;
    look.fontBold = m_fontBold;
    SetAppearance(look);
}

void CHtmlStatic::OnSubclassed() {
    // Rich text first: the inner margin places what shows it.
    ShowRichText();
    CColorStatic::OnSubclassed();
}
