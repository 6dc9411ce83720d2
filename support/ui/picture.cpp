#include "support/ui/picture.h"

CPicture::CPicture() : m_peer(afx::backend().createPicture()) {}

CPicture::~CPicture() = default;

int CPicture::Load(unsigned id, void*, const char* type) {
    m_peer->load(id, type != nullptr ? type : "JPG");
    return IsLoaded();
}

int CPicture::IsLoaded() const {
    return m_peer->isLoaded() ? 1 : 0;
}

int CPicture::Render(CDC* dc, CRect rect, const RECT*) const {
    return dc != nullptr && m_peer->render(*dc, rect) ? 1 : 0;
}
