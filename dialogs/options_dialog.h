// The Options dialog: edits the fourteen scanner settings and writes them all on OK.
#pragma once

#include <QDialog>

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit OptionsDialog(QWidget* parent = nullptr);
    ~OptionsDialog() override;

    // Shows the dialog modally; IDOK (1) after OK, IDCANCEL (2) after Cancel, Esc or the close box.
    int DoModal();
};
