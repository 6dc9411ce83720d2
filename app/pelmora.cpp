#include "app/pelmora.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>

#include "app/main_frame.h"
#include "dialogs/about_dialog.h"
#include "dialogs/options_dialog.h"
#include "reader/own_window_focus.h"
#include "res/resource.h"
#include "settings/product_info.h"

BEGIN_MESSAGE_MAP(CPelmora, CVantelApp)
ON_COMMAND(ID_APP_ABOUT, &CPelmora::OnAppAbout)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
ON_COMMAND(ID_SHOW_MAIN_WINDOW, &CPelmora::OnShowMainWindow)
ON_COMMAND(ID_HIDE_MAIN_WINDOW, &CPelmora::OnHideMainWindow)
ON_COMMAND(ID_OPTIONS, &CPelmora::OnOptions)
ON_COMMAND(ID_EXIT, &CPelmora::OnExit)
ON_COMMAND(ID_APP_EXIT, &CPelmora::OnHideMainWindow)
END_MESSAGE_MAP()

namespace {

bool CommandLineHas(const char* commandLine, const std::string& option) {
    std::istringstream words(commandLine != nullptr ? commandLine : "");
    std::string word;
    while (words >> word) {
        if (word == option) {
            return true;
        }
    }
    return false;
}

void SayOnStandardError(const std::string& line) {
    std::fprintf(stderr, "pelmora: %s\n", line.c_str());
}

}  // namespace

CPelmora::CPelmora()
    : CVantelApp(&theConfig),
      m_trayIcon(kTrayIconId),
      m_reader(platform::makeSerialApi(), skipWhileOwnWindowActive(platform::makeDefaultKeySink())),
      m_deviceWatch(std::make_unique<DeviceWatch>(m_reader, SayOnStandardError)) {
    storeProductInformation();
}

CPelmora::CPelmora(std::unique_ptr<platform::SerialApi> serial,
                   std::unique_ptr<platform::KeySink> keys)
    : CVantelApp(&theConfig),
      m_trayIcon(kTrayIconId),
      m_reader(std::move(serial), skipWhileOwnWindowActive(std::move(keys))) {
    storeProductInformation();
}

CPelmora::~CPelmora() = default;

void CPelmora::storeProductInformation() {
    theConfig.setProductInfo(util::VLAppInfo(kProductId, 0, kProductName, kVersionMajor,
                                             kVersionMinor, kVersionRelease, kVersionBuild));
    theConfig.setProgramInfo(util::VLAppInfo(kProductId, 0, kProductName, kVersionMajor,
                                             kVersionMinor, kVersionRelease, kVersionBuild));
}

BOOL CPelmora::InitInstance() {
    InitCommonControls();
    CVantelApp::InitInstance();
    AfxEnableControlContainer();
    SetRegistryKey("Vantel/Pelmora");

    auto* frame = new CMainFrame;
    m_pMainWnd = frame;
    if (!frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, nullptr)) {
        m_pMainWnd = nullptr;
        delete frame;
        return FALSE;
    }
    frame->ShowWindow(SW_HIDE);
    frame->UpdateWindow();

    m_trayIcon.SetNotificationWnd(frame, kTrayNotifyMessage);
    m_trayIcon.SetMenu(IDR_TRAYMENU);
    m_trayIcon.SetIcon(IDI_TRAYICON);
    SetTrayToolTip();
    // Without a tray the hidden window would leave the program unreachable: show it instead.
    m_trayIcon.SetAvailabilityHandler(
        [this](bool available) { OnTrayAvailabilityChanged(available); });
    if (MainWindowIsOnlyAccess()) {
        OnShowMainWindow();
    }

    // `pelmora --verbose`: why the port is not open, and the other connection events, on
    // standard error, which reaches the journal for a program the desktop started.
    if (CommandLineHas(m_lpCmdLine, "--verbose") || CommandLineHas(m_lpCmdLine, "-v")) {
        m_reader.setListener([](const vantel::VLString& event) {
            std::fprintf(stderr, "pelmora: %s\n", event.t_str());
        });
    }

    m_reader.setUnreachableListener([this](const vantel::VLString& why) {
        std::lock_guard<std::mutex> guard(m_notesMutex);
        m_unreachableNote = why;
        m_unreachableNoted = true;
    });

    m_reader.start();
    if (m_deviceWatch) {
        m_deviceWatch->start();
    }
    return TRUE;
}

int CPelmora::ExitInstance() {
    if (m_deviceWatch) {
        m_deviceWatch->stop(true);
    }
    m_reader.stop(true);
    return CVantelApp::ExitInstance();
}

bool CPelmora::MainWindowIsOnlyAccess() const {
    return !m_trayIcon.IsTrayAvailable();
}

void CPelmora::SetTrayToolTip() {
    vantel::VLString tip("Pelmora tool");
    if (m_tipNote.length() > 0) {
        tip += "\nLast scan not received: ";
        tip += m_tipNote;
    }
    m_trayIcon.SetToolTip(tip);
}

void CPelmora::ShowReaderNotes() {
    vantel::VLString note;
    bool noted = false;
    {
        std::lock_guard<std::mutex> guard(m_notesMutex);
        std::swap(noted, m_unreachableNoted);
        note = m_unreachableNote;
    }
    if (noted) {
        m_tipNote = note;
        m_scanAtNote = m_reader.getLastScanned();
        SetTrayToolTip();
    } else if (m_tipNote.length() > 0 &&
               m_reader.getLastScanned().bytes() != m_scanAtNote.bytes()) {
        // A scan has arrived since: the note is past. (The same text scanned again is not seen.)
        m_tipNote = vantel::VLString();
        SetTrayToolTip();
    }
}

void CPelmora::OnTrayAvailabilityChanged(bool available) {
    if (m_pMainWnd == nullptr) {
        return;
    }
    if (!available && !m_pMainWnd->IsWindowVisible()) {
        OnShowMainWindow();
    } else if (available && m_trayIcon.WaitsForTray()) {
        // The window stood in for a late tray; now the icon is the way in, as at a normal start.
        OnHideMainWindow();
    }
}

int CPelmora::RunDialog(CDialog& dialog) {
    m_openDialog = &dialog;
    const int result = dialog.DoModal();
    m_openDialog = nullptr;
    if (m_exitRequested) {
        // Closed now, outside the dialog's loop, so the main window does not take the dialog
        // along while its DoModal still runs.
        CWinApp::OnAppExit();
        return IDCANCEL;
    }
    return result;
}

void CPelmora::OnAppAbout() {
    if (m_openDialog != nullptr) {
        return;
    }
    AboutDialog about(m_pMainWnd);
    RunDialog(about);
}

void CPelmora::OnShowMainWindow() {
    if (m_pMainWnd != nullptr) {
        m_pMainWnd->ShowWindow(SW_SHOWNORMAL);
    }
}

void CPelmora::OnHideMainWindow() {
    if (m_pMainWnd != nullptr && !MainWindowIsOnlyAccess()) {
        m_pMainWnd->ShowWindow(SW_HIDE);
    }
}

void CPelmora::OnOptions() {
    if (m_openDialog != nullptr) {
        return;
    }
    OptionsDialog dlg(m_pMainWnd);
    if (RunDialog(dlg) == IDOK) {
        m_reader.setState(Connecting);
    }
}

void CPelmora::OnExit() {
    m_exitRequested = true;
    if (m_openDialog != nullptr) {
        // Cancelled: what the dialog holds is not stored; RunDialog closes the main window.
        m_openDialog->EndDialog(IDCANCEL);
        return;
    }
    CWinApp::OnAppExit();
}
