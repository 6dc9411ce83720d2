// CPicture: a picture decoded from a JPEG resource of the program, rendered into a device
// context. The backend's peer decodes and draws.
#pragma once

#include <memory>

#include "platform/gui/afx_peer.h"

class CPicture {
public:
    CPicture();
    ~CPicture();
    CPicture(const CPicture&) = delete;
    CPicture& operator=(const CPicture&) = delete;

    // Resource `id` of type `type` ("JPG" when null) in the program itself (the module is not
    // used). Nonzero when the picture is loaded; a failed load keeps an earlier picture.
    int Load(unsigned id, void* module = nullptr, const char* type = nullptr);
    int IsLoaded() const;
    // Stretches the picture over `rect`; the clip rectangle is not used. Nonzero when drawn.
    int Render(CDC* dc, CRect rect, const RECT* clip = nullptr) const;

    // The backend's peer (its tests reach the decoded image through it).
    const afx::PicturePeer& peer() const { return *m_peer; }

private:
    std::unique_ptr<afx::PicturePeer> m_peer;
};
