#include "dialogs/options_dialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

OptionsDialog::OptionsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Pelmora");
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

OptionsDialog::~OptionsDialog() = default;

int OptionsDialog::DoModal() {
    return exec() == QDialog::Accepted ? 1 : 2;
}
