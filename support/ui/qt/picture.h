// A picture decoded from a JPEG resource of the program.
#pragma once

#include <QImage>

#include "platform/qt/gdi.h"

class CPicture {
public:
    CPicture() = default;

    // Resource `id` of type `type` ("JPG" when null) in the program itself (the module is not
    // used). Nonzero when the picture was decoded.
    int Load(unsigned id, void* module = nullptr, const char* type = nullptr);
    int IsLoaded() const { return m_image.isNull() ? 0 : 1; }
    // Stretches the picture over `rect`; the clip rectangle is not used. Nonzero when drawn.
    int Render(CDC* dc, CRect rect, const RECT* clip = nullptr) const;

    const QImage& image() const { return m_image; }

private:
    QImage m_image;
};
