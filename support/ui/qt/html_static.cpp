#include "support/ui/html_static.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

void CHtmlStatic::OnSubclassed() {
    CColorStatic::OnSubclassed();
    auto* label = qobject_cast<QLabel*>(widget());
    if (label == nullptr)
        return;
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
}
