#include "support/ui/color_static.h"

#include <QLabel>
#include <QPalette>

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
    QFont font(QString::fromLocal8Bit(face.t_str()));
    if (pointSize > 0)
        font.setPointSizeF(pointSize);
    font.setBold(weight == 1);
    m_font = font;
    apply();
}

void CColorStatic::OnSubclassed() {
    apply();
}

void CColorStatic::apply() {
    auto* label = qobject_cast<QLabel*>(widget());
    if (label == nullptr)
        return;
    QPalette palette = label->palette();
    if (m_textColor != kDefaultColor) {
        palette.setColor(QPalette::WindowText, colorFromColorRef(m_textColor));
    }
    // No fill lets whatever lies behind (the dialog's picture) show through.
    const bool fill = m_backgroundColor != kDefaultColor && m_backgroundColor != kNoFillColor;
    if (fill)
        palette.setColor(QPalette::Window, colorFromColorRef(m_backgroundColor));
    label->setAutoFillBackground(fill);
    label->setAttribute(Qt::WA_NoSystemBackground, m_backgroundColor == kNoFillColor);
    label->setPalette(palette);
    label->setMargin(m_padding);
    if (m_font)
        label->setFont(*m_font);
}
