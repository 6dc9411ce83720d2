#include "platform/gui/qt/qt_peers.h"
#include "platform/gui/qt/qt_text.h"

namespace afx::qt {

bool Picture::load(unsigned id, const char* type) {
    const QString path = QStringLiteral(":/%1/%2").arg(fromNarrow(type)).arg(id);
    QImage image(path, "JPG");
    if (!image.isNull())
        m_image = image;
    return isLoaded();
}

bool Picture::render(CDC& dc, const RECT& rect) const {
    if (m_image.isNull())
        return false;
    QPainter* painter = dc.GetSafeHdc();
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(toQRect(rect), m_image);
    painter->restore();
    return true;
}

}  // namespace afx::qt
