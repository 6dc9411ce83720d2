#include "dialogs/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "settings/scanner_settings.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Pelmora");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QString::fromLocal8Bit(theConfig.product().version("%t v%m.%n.%r build %b").t_str()),
        this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;

int AboutDialog::DoModal() {
    return exec() == QDialog::Accepted ? 1 : 2;
}
