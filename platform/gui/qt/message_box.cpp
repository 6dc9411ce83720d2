#include <QMessageBox>

#include "platform/gui/afx_message_box.h"
#include "platform/gui/qt/qt_peers.h"
#include "platform/gui/qt/qt_text.h"

void AfxWarningBox(CDialog* parent, LPCSTR caption, LPCSTR text) {
    // The text names a file: it is read in the file-name encoding, as the path was written.
    QMessageBox::warning(parent != nullptr ? &afx::qt::widgetOf(*parent) : nullptr,
                         afx::qt::fromNarrow(caption), afx::qt::fromFileName(text));
}
