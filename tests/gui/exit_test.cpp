// Exit from either menu ends the message loop after stopping the reader, with the main window
// hidden (tray menu) or shown (the window's own menu), or from the tray menu while Options is open
// (owned by the main window, the only one however often asked for). Run as
// `exit_test tray|menu|options`.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/pelmora.h"
#include "fakes/fake_serial.h"
#include "fakes/recording_sink.h"
#include "platform/gui/qt/qt_peers.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);
CPelmora theApp(std::make_unique<fakes::FakeSerialApi>(std::make_shared<fakes::SerialLog>()),
                std::make_unique<fakes::RecordingKeySink>(std::make_shared<fakes::KeyLog>()));

namespace {
QAction* exitAction(QMenu* menu) {
    for (QAction* a : menu->actions()) {
        if (a->text() == "E&xit") {
            return a;
        }
    }
    return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool duringOptions = mode == "options";
    const bool fromTray = mode == "tray" || duringOptions;
    QApplication framework(argc, argv);
    AfxInitFramework();
    auto store = std::make_shared<util::MemorySettingsStore>();
    store->writeString("", ScannerSettings::DeviceName.name, "fake0");
    theConfig.setStore(store);
    theApp.m_trayIcon.SetAvailabilityProbe([] { return true; });
    if (!theApp.InitInstance()) {
        std::fprintf(stderr, "InitInstance failed\n");
        return 2;
    }
    QMenu* menu = fromTray ? afx::qt::trayMenuOf(theApp.m_trayIcon.peer())
                           : qobject_cast<QMainWindow*>(theApp.m_pMainWnd->m_hWnd)
                                 ->menuBar()
                                 ->actions()
                                 .front()
                                 ->menu();
    QAction* exit = menu ? exitAction(menu) : nullptr;
    if (exit == nullptr) {
        std::fprintf(stderr, "no Exit item\n");
        return 2;
    }
    if (!fromTray) {
        theApp.OnShowMainWindow();
    }
    QAction* options = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->text() == "&Options") {
            options = a;
        }
    }
    bool dialogOk = !duringOptions;
    QElapsedTimer clock;
    QTimer::singleShot(500, [&] {
        if (theApp.m_reader.getLoopCount() == 0) {
            std::fprintf(stderr, "the reader is not running\n");
        }
        if (duringOptions && options != nullptr) {
            // Runs inside the dialog's own loop, once Options is up.
            QTimer::singleShot(300, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                options->trigger();  // asked again while open: no second dialog
                QTimer::singleShot(300, [&, dialog] {
                    int dialogs = 0;
                    for (QWidget* w : QApplication::topLevelWidgets()) {
                        dialogs += qobject_cast<QDialog*>(w) != nullptr && w->isVisible() ? 1 : 0;
                    }
                    const bool owned =
                        dialog != nullptr && dialog->parentWidget() == theApp.m_pMainWnd->m_hWnd;
                    dialogOk = dialogs == 1 && owned;
                    if (!dialogOk) {
                        std::fprintf(stderr, "Options: %d dialogs, owned by the main window %d\n",
                                     dialogs, owned);
                    }
                    clock.start();
                    exit->trigger();
                });
            });
            options->trigger();
            return;
        }
        clock.start();
        exit->trigger();
    });
    QTimer::singleShot(30000, [] {
        std::fprintf(stderr, "Exit did not end the message loop\n");
        std::_Exit(3);
    });
    const int code = theApp.Run();
    const qint64 ms = clock.elapsed();
    const int loops = theApp.m_reader.getLoopCount();
    const auto icons = qApp->findChildren<QSystemTrayIcon*>();
    // Options stores all its settings on OK only: none of them may have been written.
    const bool settingsKept =
        store->readString("", ScannerSettings::DeviceName.name) == vantel::VLString("fake0") &&
        !store->readInteger("", ScannerSettings::BaudRate.name).has_value();
    bool ok = code == 0 && theApp.m_exitRequested && theApp.m_pMainWnd == nullptr &&
              !theApp.m_reader.runnable() && !theApp.m_reader.isOpen() && loops > 0 && dialogOk &&
              settingsKept;
    AfxTermFramework();
    const bool iconGone = qApp->findChildren<QSystemTrayIcon*>().isEmpty();
    ok = ok && iconGone && !icons.isEmpty();
    std::printf("Exit to end of ExitInstance: %lld ms, reader loops %d\n",
                static_cast<long long>(ms), loops);
    if (!ok) {
        std::fprintf(stderr,
                     "exit state wrong: code %d exitRequested %d mainWnd %p settings kept %d "
                     "icon gone %d\n",
                     code, theApp.m_exitRequested, static_cast<void*>(theApp.m_pMainWnd),
                     settingsKept, iconGone);
    }
    return ok ? 0 : 1;
}
