// Exit from either menu ends the message loop after stopping the reader, with the main window
// hidden (tray menu) or shown (the window's own menu). Run as `exit_test tray|menu`.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenuBar>
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
    const bool fromTray = argc > 1 && std::string(argv[1]) == "tray";
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
    QElapsedTimer clock;
    QTimer::singleShot(500, [&] {
        if (theApp.m_reader.getLoopCount() == 0) {
            std::fprintf(stderr, "the reader is not running\n");
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
    bool ok = code == 0 && theApp.m_exitRequested && theApp.m_pMainWnd == nullptr &&
              !theApp.m_reader.runnable() && !theApp.m_reader.isOpen() && loops > 0;
    AfxTermFramework();
    std::printf("Exit to end of ExitInstance: %lld ms, reader loops %d\n",
                static_cast<long long>(ms), loops);
    if (!ok) {
        std::fprintf(stderr, "exit state wrong: code %d exitRequested %d mainWnd %p\n", code,
                     theApp.m_exitRequested, static_cast<void*>(theApp.m_pMainWnd));
    }
    return ok ? 0 : 1;
}
