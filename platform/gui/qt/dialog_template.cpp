#include "platform/gui/qt/dialog_template.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>

#include "platform/gui/qt/qt_text.h"

namespace platform {

DialogBaseUnits dialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogBaseUnits{(width / 26 + 1) / 2, metrics.ascent() + metrics.descent()};
}

QRect mapDialogRect(int x, int y, int cx, int cy, DialogBaseUnits units) {
    const int left = mulDiv(x, units.x, 4);
    const int top = mulDiv(y, units.y, 8);
    const int right = mulDiv(x + cx, units.x, 4);
    const int bottom = mulDiv(y + cy, units.y, 8);
    return QRect(left, top, right - left, bottom - top);
}

QFont dialogFont(const DialogTemplate& dialogTemplate) {
    const QString face = afx::qt::fromNarrow(dialogTemplate.fontFace);
    QFont font = QFontDatabase::hasFamily(face) ? QFont(face) : QApplication::font();
    font.setPointSize(dialogTemplate.fontPointSize);
    return font;
}

}  // namespace platform
