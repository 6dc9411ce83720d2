// A picture decoded from a JPEG resource of the program with OleLoadPicture.
#pragma once

#include <memory>

#include "platform/win32gui/afx_types.h"

struct IPicture;

class CPicture {
public:
    CPicture() = default;

    // Resource `id` of type `type` ("JPG" when null) in the program (the module is not used).
    // Nonzero when the picture was decoded.
    int Load(unsigned id, void* module = nullptr, const char* type = nullptr);
    int IsLoaded() const { return m_picture != nullptr ? 1 : 0; }
    // Stretches the picture over `rect`; the clip rectangle is not used. Nonzero when drawn.
    int Render(CDC* dc, CRect rect, const RECT* clip = nullptr) const;

    // Size in pixels (0 x 0 when not loaded).
    SIZE size() const;

private:
    std::shared_ptr<IPicture> m_picture;
};
