// The tray application under the offscreen platform: start-up, command routing, every command,
// close versus Exit, the status view's text, margin, clipping and timer, and the fallback when
// no tray is there. The reader runs on a scripted serial port; the tray's presence is scripted.
#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QMainWindow>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <atomic>

#include "app/main_frame.h"
#include "app/pelmora.h"
#include "fakes/fake_serial.h"
#include "fakes/recording_sink.h"
#include "gui_test_support.h"
#include "platform/gui/qt/afx_res.h"
#include "platform/gui/qt/qt_peers.h"
#include "res/resource.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

namespace {
std::shared_ptr<fakes::SerialLog> serialLog() {
    static auto log = std::make_shared<fakes::SerialLog>();
    return log;
}
std::shared_ptr<fakes::KeyLog> keyLog() {
    static auto log = std::make_shared<fakes::KeyLog>();
    return log;
}
std::atomic<bool> g_trayPresent{true};
}  // namespace

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);
CPelmora theApp(std::make_unique<fakes::FakeSerialApi>(serialLog()),
                std::make_unique<fakes::RecordingKeySink>(keyLog()));

namespace {

CMainFrame* frame() {
    return static_cast<CMainFrame*>(theApp.m_pMainWnd);
}
QMainWindow* frameWidget() {
    return frame() ? qobject_cast<QMainWindow*>(frame()->m_hWnd) : nullptr;
}
void command(UINT id) {
    frame()->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
}
int opens() {
    std::lock_guard<std::mutex> guard(serialLog()->mutex);
    return static_cast<int>(serialLog()->opened.size());
}
QStringList itemTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* a : menu->actions()) {
        texts << (a->isSeparator() ? QString("-") : a->text());
    }
    return texts;
}
QAction* findAction(const QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

// Routing through windows of the layer: the view and the frame each handle one command of
// their own, and the frame offers every command to the view first, as the main frame does.
constexpr UINT kViewAndFrameCommand = 100;
constexpr UINT kFrameCommand = 101;
constexpr UINT kNobodysCommand = 102;

class RoutingView : public CWnd {
public:
    int handled = 0;
    void OnViewCommand() { ++handled; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(RoutingView, CWnd)
ON_COMMAND(kViewAndFrameCommand, &RoutingView::OnViewCommand)
END_MESSAGE_MAP()

class RoutingFrame : public CFrameWnd {
public:
    RoutingView view;
    int handled = 0;
    void OnFrameCommand() { ++handled; }
    BOOL OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* info) override {
        if (view.OnCmdMsg(id, code, extra, info)) {
            return TRUE;
        }
        return CFrameWnd::OnCmdMsg(id, code, extra, info);
    }
    void PostNcDestroy() override {}  // a stack object in the test
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(RoutingFrame, CFrameWnd)
ON_COMMAND(kViewAndFrameCommand, &RoutingFrame::OnFrameCommand)
ON_COMMAND(kFrameCommand, &RoutingFrame::OnFrameCommand)
END_MESSAGE_MAP()

// A status view on its own, in a plain host window, to render at any size.
struct LoneView {
    CWnd host;
    CChildView view;
    LoneView(int width, int height) {
        host.CreateEx(0, nullptr, "host", WS_OVERLAPPEDWINDOW, CRect(0, 0, 400, 300), nullptr, 0);
        view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(0, 0, width, height),
                    &host, AFX_IDW_PANE_FIRST);
    }
    QWidget* widget() const { return view.m_hWnd; }
};

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        AfxInitFramework();
        QVERIFY(!QApplication::quitOnLastWindowClosed());
        // Before the reader has read its settings, the values are empty.
        QCOMPARE(QString(CChildView::StatusText().t_str()),
                 QString("Device: \nState: CLOSED\nLoops: 0\nLast Scanned: "));

        auto store = std::make_shared<util::MemorySettingsStore>();
        store->writeString("", ScannerSettings::DeviceName.name, "fake0");
        store->writeInteger("", ScannerSettings::bSkipFirstChar.name, 0);
        store->writeInteger("", ScannerSettings::bCRLF.name, 0);
        theConfig.setStore(store);
        theApp.m_trayIcon.SetAvailabilityProbe([] { return g_trayPresent.load(); });
        QCOMPARE(theApp.InitInstance(), TRUE);
    }

    void startsHiddenWithTrayIconAndRunningReader() {
        QVERIFY(frame() != nullptr);
        QVERIFY(!frameWidget()->isVisible());
        QSystemTrayIcon* icon = afx::qt::trayIconOf(theApp.m_trayIcon.peer());
        QVERIFY(icon != nullptr);
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->toolTip(), QString("Pelmora tool"));
        QVERIFY(!icon->icon().isNull());
        const int loops = theApp.m_reader.getLoopCount();
        QVERIFY(QTest::qWaitFor([&] { return theApp.m_reader.getLoopCount() > loops; }, 5000));
        QCOMPARE(theConfig.product().version("%t %m.%n.%r.%b").bytes(), "Pelmora 1.0.3.5");
        QCOMPARE(theConfig.program().version("%t %m.%n.%r.%b").bytes(), "Pelmora 1.0.3.5");
    }

    void menusTitleAndIconsComeFromTheResources() {
        QCOMPARE(frameWidget()->windowTitle(), QString("Pelmora Utility"));
        QVERIFY(!frameWidget()->windowIcon().isNull());
        const QList<QAction*> bar = frameWidget()->menuBar()->actions();
        QCOMPARE(bar.size(), 2);
        QCOMPARE(bar[0]->text(), QString("&File"));
        QCOMPARE(itemTexts(bar[0]->menu()),
                 QStringList({"&Hide main window", "&Options", "-", "E&xit"}));
        QCOMPARE(bar[1]->text(), QString("&Help"));
        QCOMPARE(itemTexts(bar[1]->menu()), QStringList({"&About scanner..."}));
        QCOMPARE(
            itemTexts(afx::qt::trayMenuOf(theApp.m_trayIcon.peer())),
            QStringList({"&Show Main Window", "&Options", "-", "&About scanner...", "-", "E&xit"}));
        const QIcon tray = AfxLoadIcon(IDI_TRAYICON);
        QCOMPARE(tray.availableSizes(), QList<QSize>({QSize(16, 16), QSize(32, 32)}));
        QCOMPARE(AfxLoadIcon(IDR_MAINFRAME).availableSizes(),
                 QList<QSize>({QSize(16, 16), QSize(32, 32)}));
    }

    void commandsGoToTheViewThenTheFrameThenTheApplication() {
        RoutingFrame routing;
        QVERIFY(routing.CreateEx(0, nullptr, "routing", WS_OVERLAPPEDWINDOW, CRect(0, 0, 200, 100),
                                 nullptr, 0));
        QVERIFY(routing.view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 0, 0),
                                    &routing, AFX_IDW_PANE_FIRST));
        routing.SendMessage(WM_COMMAND, kViewAndFrameCommand);
        QCOMPARE(routing.view.handled, 1);
        QCOMPARE(routing.handled, 0);
        routing.SendMessage(WM_COMMAND, kFrameCommand);
        QCOMPARE(routing.handled, 1);
        AFX_CMDHANDLERINFO info;
        QCOMPARE(routing.OnCmdMsg(ID_OPTIONS, 0, nullptr, &info), TRUE);
        QCOMPARE(info.pTarget, static_cast<CCmdTarget*>(&theApp));
        QCOMPARE(routing.OnCmdMsg(kNobodysCommand, 0, nullptr, nullptr), FALSE);
        // A command with another notification code is not the menu command.
        QCOMPARE(routing.OnCmdMsg(ID_OPTIONS, 1, nullptr, nullptr), FALSE);

        // Every menu command of the main frame ends in the application's table.
        for (UINT id : {ID_APP_ABOUT, ID_HELP, static_cast<UINT>(ID_SHOW_MAIN_WINDOW),
                        static_cast<UINT>(ID_HIDE_MAIN_WINDOW), static_cast<UINT>(ID_OPTIONS),
                        static_cast<UINT>(ID_EXIT), ID_APP_EXIT}) {
            AFX_CMDHANDLERINFO found;
            QVERIFY2(frame()->OnCmdMsg(id, 0, nullptr, &found), qPrintable(QString::number(id)));
            QCOMPARE(found.pTarget, static_cast<CCmdTarget*>(&theApp));
        }
        // The standard edit and pane keys have no handler.
        QCOMPARE(frame()->OnCmdMsg(ID_EDIT_COPY, 0, nullptr, nullptr), FALSE);
        QCOMPARE(frame()->OnCmdMsg(ID_NEXT_PANE, 0, nullptr, nullptr), FALSE);
    }

    void showAndHideCommands() {
        QWidget* w = frameWidget();
        command(ID_SHOW_MAIN_WINDOW);
        QVERIFY(w->isVisible());
        command(ID_SHOW_MAIN_WINDOW);  // stays shown
        QVERIFY(w->isVisible());
        frame()->ShowWindow(SW_SHOWMINIMIZED);
        command(ID_SHOW_MAIN_WINDOW);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isMinimized());
        command(ID_HIDE_MAIN_WINDOW);
        QVERIFY(!w->isVisible());
        command(ID_SHOW_MAIN_WINDOW);
        command(ID_APP_EXIT);  // the framework's exit command only hides
        QVERIFY(!w->isVisible());
        QCOMPARE(frameWidget(), w);
        QVERIFY(!theApp.m_exitRequested);
        command(ID_HELP);
        QVERIFY(!w->isVisible());
    }

    void menuItemsDeliverTheirCommands() {
        QWidget* w = frameWidget();
        findAction(afx::qt::trayMenuOf(theApp.m_trayIcon.peer()), "&Show Main Window")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return w->isVisible(); }, 5000));
        QMenu* file = frameWidget()->menuBar()->actions()[0]->menu();
        findAction(file, "&Hide main window")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !w->isVisible(); }, 5000));
        QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);  // an accelerator nobody handles
        QTest::qWait(50);
        QVERIFY(!w->isVisible());
    }

    void closingTheWindowHidesIt() {
        command(ID_SHOW_MAIN_WINDOW);
        QWidget* w = frameWidget();
        QWidget* view = frame()->m_view.m_hWnd;
        QVERIFY(!w->close());  // refused: the window only hides
        QVERIFY(!w->isVisible());
        QCOMPARE(frameWidget(), w);
        command(ID_SHOW_MAIN_WINDOW);
        QVERIFY(w->isVisible());
        QCOMPARE(frame()->m_view.m_hWnd, view);
        QVERIFY(view->isVisible());
    }

    void activatingTheWindowFocusesTheView() {
        command(ID_SHOW_MAIN_WINDOW);
        // The offscreen platform does not re-activate a window shown again: activate it as a
        // window manager would.
        QApplication::setActiveWindow(frameWidget());
        QVERIFY(QTest::qWaitForWindowActive(frameWidget()));
        QVERIFY(QTest::qWaitFor(
            [] { return QApplication::focusWidget() == frame()->m_view.m_hWnd; }, 5000));
    }

    void viewFillsTheClientArea() {
        QMainWindow* w = frameWidget();
        QWidget* view = frame()->m_view.m_hWnd;
        QCOMPARE(w->centralWidget(), view);
        for (QSize size : {QSize(500, 300), QSize(320, 400)}) {
            w->resize(size);
            QVERIFY(QTest::qWaitFor([&] { return w->size() == size; }, 5000));
            QCOMPARE(view->width(), w->width());
            QCOMPARE(view->geometry().bottom(), w->rect().bottom());
            QCOMPARE(view->y(), w->menuBar()->geometry().bottom() + 1);
        }
        // The view has the sunken edge, the frame none.
        QCOMPARE(frame()->m_view.GetExStyle() & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);
        QCOMPARE(frame()->m_view.GetStyle() & WS_BORDER, 0u);
        QCOMPARE(frame()->GetExStyle() & WS_EX_CLIENTEDGE, 0u);
    }

    void statusTextFollowsTheReader() {
        QVERIFY(QTest::qWaitFor([] { return theApp.m_reader.isOpen(); }, 5000));
        {
            std::lock_guard<std::mutex> guard(serialLog()->mutex);
            serialLog()->reads_queue.push_back({true, {'A', 'B', 'C'}});
            serialLog()->changed.notify_all();
        }
        QVERIFY(QTest::qWaitFor([] { return theApp.m_reader.getLastScanned().bytes() == "ABC"; },
                                5000));
        const QString text = CChildView::StatusText().t_str();
        QVERIFY2(
            QRegularExpression("^Device: fake0\nState: OPEN\nLoops: [0-9]+\nLast Scanned: ABC$")
                .match(text)
                .hasMatch(),
            qPrintable(text));
    }

    // A scan while our own window has the focus would type into it (into Options: the device
    // name, then OK): it is read and shown, and typed only once the focus is elsewhere.
    void scansAreNotTypedIntoOurOwnWindows() {
        auto scan = [](const std::string& bytes) {
            std::lock_guard<std::mutex> guard(serialLog()->mutex);
            serialLog()->reads_queue.push_back({true, {bytes.begin(), bytes.end()}});
            serialLog()->changed.notify_all();
        };
        auto typed = [] {
            const std::vector<std::uint16_t> keys = keyLog()->snapshot();
            return std::string(keys.begin(), keys.end());
        };
        command(ID_SHOW_MAIN_WINDOW);
        QApplication::setActiveWindow(frameWidget());
        QVERIFY(QTest::qWaitForWindowActive(frameWidget()));
        const std::string before = typed();
        scan("OWN");
        QVERIFY(QTest::qWaitFor([] { return theApp.m_reader.getLastScanned().bytes() == "OWN"; },
                                5000));
        QTest::qWait(100);
        QCOMPARE(typed(), before);

        // The offscreen platform never deactivates the application: say it as X11 does when
        // another program takes the focus.
        command(ID_HIDE_MAIN_WINDOW);
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        scan("ELSEWHERE");
        QVERIFY(QTest::qWaitFor([&] { return typed() == before + "ELSEWHERE"; }, 5000));
    }

    // A scan into a window that cannot take it (on Windows, one of a more privileged process)
    // is said in the tray icon's tooltip, not recorded, until a scan arrives again.
    void unreachableScanIsSaidInTheToolTip() {
        auto scan = [](const std::string& bytes) {
            std::lock_guard<std::mutex> guard(serialLog()->mutex);
            serialLog()->reads_queue.push_back({true, {bytes.begin(), bytes.end()}});
            serialLog()->changed.notify_all();
        };
        auto unreachable = [](const std::string& why) {
            std::lock_guard<std::mutex> guard(keyLog()->mutex);
            keyLog()->unreachable = why;
        };
        QSystemTrayIcon* icon = afx::qt::trayIconOf(theApp.m_trayIcon.peer());
        QCOMPARE(icon->toolTip(), QString("Pelmora tool"));
        const std::string before = theApp.m_reader.getLastScanned().bytes();
        unreachable("window 1 \"Admin\" cannot receive typing");
        scan("LOST");
        QVERIFY(QTest::qWaitFor([icon] { return icon->toolTip() != "Pelmora tool"; }, 5000));
        QCOMPARE(icon->toolTip(), QString("Pelmora tool\nLast scan not received: window 1 "
                                          "\"Admin\" cannot receive typing"));
        QCOMPARE(theApp.m_reader.getLastScanned().bytes(), before);
        unreachable("");
        scan("FOUND");
        QVERIFY(QTest::qWaitFor([icon] { return icon->toolTip() == "Pelmora tool"; }, 5000));
    }

    void optionsOkReconnectsAndCancelDoesNot() {
        const int before = opens();
        QVERIFY(guitest::answerModal([] { command(ID_OPTIONS); }, false));
        QTest::qWait(1500);
        QCOMPARE(opens(), before);

        // OK always reconnects; with the device gone, the view shows it closed while the reader
        // goes on counting.
        theConfig.setRegistryString("", ScannerSettings::DeviceName.name, "gone0",
                                    vantel::currentUser);
        {
            std::lock_guard<std::mutex> guard(serialLog()->mutex);
            serialLog()->missing.insert("gone0");
        }
        QVERIFY(guitest::answerModal([] { command(ID_OPTIONS); }, true));
        QVERIFY(QTest::qWaitFor([&] { return opens() > before; }, 5000));
        QVERIFY(QTest::qWaitFor([] { return !theApp.m_reader.isOpen(); }, 5000));
        const int loops = theApp.m_reader.getLoopCount();
        QVERIFY(QTest::qWaitFor([&] { return theApp.m_reader.getLoopCount() > loops + 2; }, 5000));
        const QString text = CChildView::StatusText().t_str();
        QVERIFY2(text.startsWith("Device: gone0\nState: CLOSED\nLoops: "), qPrintable(text));
    }

    void aboutRunsAModalBox() {
        QVERIFY(guitest::answerModal([] { command(ID_APP_ABOUT); }, true));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(guitest::answerModal([] { command(ID_APP_ABOUT); }, false));
    }

    void textKeepsTheMarginAndIsClipped() {
        {
            std::lock_guard<std::mutex> guard(serialLog()->mutex);
            serialLog()->missing.clear();
        }
        theConfig.setRegistryString("", ScannerSettings::DeviceName.name, "fake0",
                                    vantel::currentUser);
        theApp.m_reader.setState(Connecting);
        QVERIFY(QTest::qWaitFor([] { return theApp.m_reader.isOpen(); }, 5000));
        {
            std::lock_guard<std::mutex> guard(serialLog()->mutex);
            serialLog()->reads_queue.push_back({true, std::vector<unsigned char>(32, 'W')});
            serialLog()->changed.notify_all();
        }
        QVERIFY(QTest::qWaitFor(
            [] { return theApp.m_reader.getLastScanned().bytes() == std::string(32, 'W'); }, 5000));

        // The long last line is cut at the right margin, not wrapped.
        LoneView lone(204, 200);
        lone.host.ShowWindow(SW_SHOWNORMAL);
        auto* w = static_cast<QFrame*>(lone.widget());
        QVERIFY(QTest::qWaitForWindowExposed(w->window()));
        const int edge = w->frameWidth();
        QCOMPARE(edge, 2);
        const QColor background = w->palette().color(QPalette::Base);
        const int lineSpacing = QFontMetrics(w->font()).lineSpacing();
        QRect client = w->contentsRect();
        QRect ink = guitest::inkBounds(w->grab().toImage(), background, client);
        QVERIFY(!ink.isEmpty());
        auto where = [&] {
            return qPrintable(QString("ink %1,%2 to %3,%4 in client %5,%6 to %7,%8")
                                  .arg(ink.left())
                                  .arg(ink.top())
                                  .arg(ink.right())
                                  .arg(ink.bottom())
                                  .arg(client.left())
                                  .arg(client.top())
                                  .arg(client.right())
                                  .arg(client.bottom()));
        };
        QVERIFY2(ink.left() >= client.left() + 10 && ink.left() <= client.left() + 13, where());
        QVERIFY2(ink.top() >= client.top() + 10 && ink.top() <= client.top() + 10 + lineSpacing / 2,
                 where());
        QVERIFY2(ink.right() <= client.right() - 10 && ink.right() >= client.right() - 13, where());
        QVERIFY2(ink.bottom() < client.top() + 10 + 4 * lineSpacing, where());  // four lines

        // Short: the second line is cut at the bottom margin, the lower ones are not drawn.
        w->resize(204, 2 * edge + 20 + lineSpacing + lineSpacing / 2);
        client = w->contentsRect();
        ink = guitest::inkBounds(w->grab().toImage(), background, client);
        QVERIFY2(ink.bottom() <= client.bottom() - 10 && ink.bottom() >= client.bottom() - 13,
                 where());

        // A client area of 20 pixels shows no text.
        w->resize(20 + 2 * edge, 200);
        const QRect narrow = static_cast<QFrame*>(w)->contentsRect();
        QVERIFY(guitest::inkBounds(w->grab().toImage(), background, narrow).isEmpty());
        w->resize(300, 20 + 2 * edge);
        const QRect flat = static_cast<QFrame*>(w)->contentsRect();
        QVERIFY(guitest::inkBounds(w->grab().toImage(), background, flat).isEmpty());
        w->resize(300, 21 + 2 * edge + 20);
        const QRect room = static_cast<QFrame*>(w)->contentsRect();
        QVERIFY(!guitest::inkBounds(w->grab().toImage(), background, room).isEmpty());
    }

    void refreshTimerStartsAtTheFirstPaint() {
        LoneView lone(300, 120);
        QVERIFY(!lone.view.IsTimerRunning(CChildView::kRefreshTimer));
        PaintCounter counter;
        lone.widget()->installEventFilter(&counter);
        QTest::qWait(1200);
        QVERIFY(!lone.view.IsTimerRunning(CChildView::kRefreshTimer));  // never painted yet
        lone.host.ShowWindow(SW_SHOWNORMAL);
        QVERIFY(QTest::qWaitFor([&] { return counter.paints > 0; }, 5000));
        QVERIFY(lone.view.IsTimerRunning(CChildView::kRefreshTimer));
        const int first = counter.paints;
        // The timer repaints about once a second with nothing else going on.
        QVERIFY(QTest::qWaitFor([&] { return counter.paints >= first + 2; }, 5000));
        lone.view.SendMessage(WM_CLOSE);  // the view's own close stops the timer
        QVERIFY(!lone.view.IsTimerRunning(CChildView::kRefreshTimer));
    }

    void withoutATrayTheWindowIsTheWayIn() {
        QWidget* w = frameWidget();
        command(ID_HIDE_MAIN_WINDOW);
        QVERIFY(!w->isVisible());
        g_trayPresent = false;
        QVERIFY(QTest::qWaitFor([&] { return w->isVisible(); }, 5000));
        command(ID_HIDE_MAIN_WINDOW);
        command(ID_APP_EXIT);
        QVERIFY(w->isVisible());

        g_trayPresent = true;  // a tray appears: the usual behaviour again
        QVERIFY(QTest::qWaitFor([] { return theApp.m_trayIcon.IsTrayAvailable(); }, 5000));
        QVERIFY(!w->close());
        QVERIFY(!w->isVisible());
        QVERIFY(frame() != nullptr);

        g_trayPresent = false;
        QVERIFY(QTest::qWaitFor([&] { return w->isVisible(); }, 5000));
        // Closing now ends the program, as Exit does.
        QPointer<QWidget> gone(w);
        w->close();
        QVERIFY(theApp.m_exitRequested);
        QVERIFY(theApp.m_pMainWnd == nullptr);
        QVERIFY(QTest::qWaitFor([&] { return gone.isNull(); }, 5000));
        QVERIFY(theApp.m_reader.runnable());
        theApp.ExitInstance();
        QVERIFY(!theApp.m_reader.runnable());
        const int loops = theApp.m_reader.getLoopCount();
        QTest::qWait(300);
        QCOMPARE(theApp.m_reader.getLoopCount(), loops);
    }

    void cleanupTestCase() { AfxTermFramework(); }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
