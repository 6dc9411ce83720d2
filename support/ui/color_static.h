// A static control that shows its window text with its own colours, font and inner margin.
#pragma once

#include <string>

#include "platform/gui/afxdlg.h"
#include "support/vl_string.h"

class CColorStatic : public CDialogControl {
public:
    enum BorderStyle { noBorder = 0 };

    // 0xFF000000 stands for the default colour; 0xFFFFFFFF as background for no fill.
    CColorStatic(COLORREF textColor = kDefaultColor, COLORREF backgroundColor = kDefaultColor,
                 BorderStyle border = noBorder);

    void SetPadding(int pixels);
    void SetBackgroundColor(COLORREF color);
    void SetTextColor(COLORREF color);
    // Face and size in points; `weight` 1 draws bold. The device context is not needed here.
    void SetFontInfo(const vantel::VLString& face, double pointSize, int weight,
                     void* dc = nullptr);

    COLORREF textColor() const { return m_textColor; }
    const std::string& fontFace() const { return m_fontFace; }
    double fontPointSize() const { return m_fontPointSize; }
    bool fontBold() const { return m_fontBold; }
    COLORREF backgroundColor() const { return m_backgroundColor; }
    int padding() const { return m_padding; }

protected:
    void OnSubclassed() override;
    // Pushes the colours, font and margin to the bound control.
    void apply();

private:
    COLORREF m_textColor;
    COLORREF m_backgroundColor;
    BorderStyle m_border;
    int m_padding = 0;
    // The font SetFontInfo asked for; an empty face keeps the control's font.
    std::string m_fontFace;
    double m_fontPointSize = 0;
    bool m_fontBold = false;
};
