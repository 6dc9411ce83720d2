// Opens each dialog on settings of its own (never the user's), waits until it is painted, and
// saves its client area and, on a real X server, its whole window with the frame.
//   dialog_screenshots <directory>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "dialogs/about_dialog.h"
#include "dialogs/options_dialog.h"
#include "platform/gui/qt/qt_peers.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);

namespace {

void save(CDialog& dialog, const QString& directory, const QString& name) {
    afx::qt::widgetOf(dialog).grab().save(QDir(directory).filePath(name + QStringLiteral(".png")));
    // With a window manager, the frame with its caption comes from the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect frame = afx::qt::widgetOf(dialog).frameGeometry();
        const QPixmap shot =
            screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        if (!shot.isNull())
            shot.save(QDir(directory).filePath(name + QStringLiteral("_frame.png")));
    }
}

// Runs the dialog modally and takes the pictures once it has been shown for a moment.
int capture(CDialog& dialog, const QString& directory, const QString& name,
            const std::function<void()>& beforeShot = {}) {
    QTimer::singleShot(700, &afx::qt::widgetOf(dialog), [&] {
        if (beforeShot)
            beforeShot();
        QTimer::singleShot(300, &afx::qt::widgetOf(dialog), [&] {
            save(dialog, directory, name);
            dialog.EndDialog(IDCANCEL);
        });
    });
    return dialog.DoModal();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_screenshots <directory>\n");
        return 2;
    }
    QApplication app(argc, argv);
    const QString directory = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(directory);

    theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
    theConfig.setProductInfo(util::VLAppInfo(kProductId, 0, kProductName, kVersionMajor,
                                             kVersionMinor, kVersionRelease, kVersionBuild));

    {
        OptionsDialog options;
        capture(options, directory, QStringLiteral("options_defaults"));
    }
    {
        // A device that is not a COM port, with the serial box cleared: the line controls grey.
        writeSetting(ScannerSettings::DeviceName, "/dev/ttyUSB0");
        writeSetting(ScannerSettings::SerialDevice, 0);
        OptionsDialog options;
        capture(options, directory, QStringLiteral("options_not_serial"));
    }
    {
        AboutDialog about;
        capture(about, directory, QStringLiteral("about"));
    }
    std::printf("screenshots in %s\n", argv[1]);
    return 0;
}
