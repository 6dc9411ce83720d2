// The About box: product name, version line, notice and support link over the About picture.
#pragma once

#include <QDialog>

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

    // Shows the box modally; IDOK (1) after OK, IDCANCEL (2) after Esc or the close box.
    int DoModal();
};
