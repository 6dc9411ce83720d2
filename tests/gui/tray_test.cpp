// The tray program on an X server with a window manager: with no tray host the main window is
// shown and stays reachable; a tray host started later gets the icon docked, with its tooltip
// and menu, and from then on closing the window hides it. Run by xvfb_run.sh (no tray host).
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMainWindow>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolTip>

#include "app/main_frame.h"
#include "app/pelmora.h"
#include "fakes/fake_serial.h"
#include "fakes/recording_sink.h"
#include "gui_test_support.h"
#include "platform/gui/qt/qt_peers.h"
#include "res/resource.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);
CPelmora theApp(std::make_unique<fakes::FakeSerialApi>(std::make_shared<fakes::SerialLog>()),
                std::make_unique<fakes::RecordingKeySink>(std::make_shared<fakes::KeyLog>()));

namespace {
QWidget* frameWidget() {
    return theApp.m_pMainWnd ? theApp.m_pMainWnd->m_hWnd : nullptr;
}
QAction* findAction(const QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}
bool run(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}
// Clicks the tray icon with the real pointer, as a user would.
bool clickTrayIcon(int button) {
    const QPoint at = afx::qt::trayIconOf(theApp.m_trayIcon.peer())->geometry().center();
    return run("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()), "click",
                           QString::number(button)});
}
void saveScreen(const char* name) {
    const QByteArray dir = qgetenv("PELMORA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QTest::qWait(400);  // let popups and tooltips map and paint
        QGuiApplication::primaryScreen()->grabWindow(0).save(QString("%1/%2.png").arg(dir, name));
    }
}
}  // namespace

class TrayTest : public QObject {
    Q_OBJECT
    QProcess m_trayer;

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == "xcb", "needs an X server");
        AfxInitFramework();
        auto store = std::make_shared<util::MemorySettingsStore>();
        store->writeString("", ScannerSettings::DeviceName.name, "fake0");
        theConfig.setStore(store);
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QCOMPARE(theApp.InitInstance(), TRUE);
    }

    void withoutATrayHostTheWindowIsShown() {
        QVERIFY(QTest::qWaitForWindowExposed(frameWidget()));
        QVERIFY(theApp.MainWindowIsOnlyAccess());
        theApp.OnHideMainWindow();
        QVERIFY(frameWidget()->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(frameWidget()));
        QVERIFY(QTest::qWaitFor(
            [] {
                return QApplication::focusWidget() ==
                       static_cast<CMainFrame*>(theApp.m_pMainWnd)->m_view.m_hWnd;
            },
            5000));
        saveScreen("no_tray_main_window");
    }

    void aTrayHostStartedLaterGetsTheIcon() {
        m_trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request",
                                  "--height", "32", "--SetDockType", "true"});
        QVERIFY(m_trayer.waitForStarted(10000));
        QVERIFY(QTest::qWaitFor([] { return theApp.m_trayIcon.IsTrayAvailable(); }, 10000));
        QSystemTrayIcon* icon = afx::qt::trayIconOf(theApp.m_trayIcon.peer());
        QVERIFY(QTest::qWaitFor([icon] { return !icon->geometry().isEmpty(); }, 10000));
        QVERIFY(icon->geometry().width() <= 64);  // docked: an icon-sized window in the tray
        // The window that was the only way in stays shown.
        QVERIFY(frameWidget()->isVisible());
    }

    void hoveringShowsTheToolTip() {
        QSystemTrayIcon* icon = afx::qt::trayIconOf(theApp.m_trayIcon.peer());
        const QPoint at = icon->geometry().center();
        QVERIFY(
            run("xdotool", {"mousemove", QString::number(at.x() - 3), QString::number(at.y())}));
        QVERIFY(run("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y())}));
        QVERIFY(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 10000));
        QCOMPARE(QToolTip::text(), QString("Pelmora tool"));
        saveScreen("tray_tooltip");
    }

    void clickingTheIconOpensTheMenu() {
        QMenu* menu = afx::qt::trayMenuOf(theApp.m_trayIcon.peer());
        for (int button : {1, 3}) {
            QVERIFY(clickTrayIcon(button));
            QVERIFY2(QTest::qWaitFor([menu] { return menu->isVisible(); }, 10000),
                     qPrintable(QString("button %1").arg(button)));
            saveScreen(button == 1 ? "tray_menu" : "tray_menu_right_button");
            menu->hide();
            QVERIFY(QTest::qWaitFor([menu] { return !menu->isVisible(); }, 5000));
        }
    }

    void menuItemsReachTheApplication() {
        theApp.OnHideMainWindow();
        QVERIFY(!frameWidget()->isVisible());
        QMenu* menu = afx::qt::trayMenuOf(theApp.m_trayIcon.peer());
        QVERIFY(clickTrayIcon(1));
        QVERIFY(QTest::qWaitFor([menu] { return menu->isVisible(); }, 10000));
        QAction* show = findAction(menu, "&Show Main Window");
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(show).center());
        QVERIFY(QTest::qWaitForWindowExposed(frameWidget()));
        saveScreen("main_window");
        // The menu bar opens on its mnemonic.
        QVERIFY(QTest::qWaitForWindowActive(frameWidget()));
        QTest::keyClick(frameWidget(), Qt::Key_F, Qt::AltModifier);
        QVERIFY(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000));
        saveScreen("main_window_file_menu");
        QApplication::activePopupWidget()->close();

        // With a tray, closing hides the window and the program goes on.
        QVERIFY(!frameWidget()->close());
        QVERIFY(QTest::qWaitFor([] { return !frameWidget()->isVisible(); }, 5000));
        QVERIFY(theApp.m_pMainWnd != nullptr);
    }

    void exitFromTheTrayMenuEndsTheProgram() {
        QMenu* menu = afx::qt::trayMenuOf(theApp.m_trayIcon.peer());
        QVERIFY(clickTrayIcon(1));
        QVERIFY(QTest::qWaitFor([menu] { return menu->isVisible(); }, 10000));
        QAction* exit = findAction(menu, "E&xit");
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(exit).center());
        QVERIFY(QTest::qWaitFor([] { return theApp.m_pMainWnd == nullptr; }, 10000));
        QVERIFY(theApp.m_exitRequested);
        theApp.ExitInstance();
        QVERIFY(!theApp.m_reader.runnable());
    }

    void cleanupTestCase() {
        AfxTermFramework();
        if (m_trayer.state() != QProcess::NotRunning) {
            m_trayer.terminate();
            if (!m_trayer.waitForFinished(5000)) {
                m_trayer.kill();
                m_trayer.waitForFinished(5000);
            }
        }
    }
};

QTEST_MAIN(TrayTest)
#include "tray_test.moc"
