#include "support/ui/picture.h"

#include <QString>

int CPicture::Load(unsigned id, void*, const char* type) {
    const QString path =
        QStringLiteral(":/%1/%2").arg(QString::fromLatin1(type ? type : "JPG")).arg(id);
    QImage image(path, "JPG");
    if (!image.isNull())
        m_image = image;
    return IsLoaded();
}

int CPicture::Render(CDC* dc, CRect rect, const RECT*) const {
    if (dc == nullptr || m_image.isNull())
        return 0;
    QPainter* painter = dc->painter();
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(rect.toQRect(), m_image);
    painter->restore();
    return 1;
}
