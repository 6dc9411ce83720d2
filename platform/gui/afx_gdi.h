// Rectangles and device contexts under the framework's names, over the backend's RECT and HDC.
#pragma once

#include <afx_native_types.h>

class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& rect) : RECT(rect) {}  // NOLINT: converts as the framework's does

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// A device context: the backend's handle of what is being painted.
class CDC {
public:
    explicit CDC(HDC dc) : m_hDC(dc) {}

    void FillSolidRect(const RECT& rect, COLORREF color);
    HDC GetSafeHdc() const { return m_hDC; }

protected:
    HDC m_hDC;
};
