#include <QMessageBox>

#include "platform/gui/afx_message_box.h"

void AfxWarningBox(CDialog* parent, LPCSTR caption, LPCSTR text) {
    QMessageBox::warning(parent, QString::fromUtf8(caption), QString::fromUtf8(text));
}
