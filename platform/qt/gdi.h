// Colours, rectangles and the painting context under the framework's names, over QPainter.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <cstdint>

// 0x00BBGGRR. 0xFF000000 stands for a control's default colour; as a background, 0xFFFFFFFF
// stands for no fill at all.
using COLORREF = std::uint32_t;

inline constexpr COLORREF kDefaultColor = 0xFF000000u;
inline constexpr COLORREF kNoFillColor = 0xFFFFFFFFu;

inline QColor colorFromColorRef(COLORREF color) {
    return QColor(int(color & 0xFFu), int((color >> 8) & 0xFFu), int((color >> 16) & 0xFFu));
}

struct RECT {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class CRect : public RECT {
public:
    CRect() = default;
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& rect) : RECT(rect) {}  // NOLINT
    CRect(const QRect& rect)
        : CRect(rect.x(), rect.y(), rect.x() + rect.width(),  // NOLINT
                rect.y() + rect.height()) {}

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    QRect toQRect() const { return QRect(left, top, Width(), Height()); }
};

// A device context: the painter of the window being painted.
class CDC {
public:
    explicit CDC(QPainter* painter) : m_painter(painter) {}

    void FillSolidRect(const RECT& rect, COLORREF color) {
        m_painter->fillRect(CRect(rect).toQRect(), colorFromColorRef(color));
    }
    QPainter* painter() const { return m_painter; }

private:
    QPainter* m_painter;
};
