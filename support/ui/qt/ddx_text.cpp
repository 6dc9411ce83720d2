#include "support/ui/ddx_text.h"

#include <QLineEdit>

void DDX_Text(CDataExchange* pDX, int id, vantel::VLString& value) {
    auto* edit = qobject_cast<QLineEdit*>(pDX->m_pDlgWnd->controlWidget(id));
    if (edit == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = vantel::VLString(edit->text().toLocal8Bit().toStdString());
    } else {
        edit->setText(QString::fromLocal8Bit(value.bytes().data(), qsizetype(value.length())));
    }
}
