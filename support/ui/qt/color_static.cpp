#include "support/ui/color_static.h"

#include <QFont>
#include <QLabel>
#include <QPalette>

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
    if (!m_fontFace.empty()) {
        QFont font(QString::fromLocal8Bit(m_fontFace.c_str()));
        if (m_fontPointSize > 0)
            font.setPointSizeF(m_fontPointSize);
        font.setBold(m_fontBold);
        label->setFont(font);
    }
}
