// The application object: owns the tray icon and the reader thread, creates the main window at
// start-up and answers the commands of both menus.
#pragma once

#include <memory>
#include <mutex>

#include "platform/key_sink.h"
#include "platform/serial_api.h"
#include "reader/device_reader_thread.h"
#include "reader/device_watch.h"
#include "support/ui/tray_icon.h"
#include "support/ui/vantel_app.h"
#include "support/vl_app_config.h"

class CDialog;

inline constexpr unsigned kTrayIconId = 9999;
inline constexpr unsigned kTrayNotifyMessage = 9998;

class CPelmora : public CVantelApp {
public:
    CPelmora();
    // The reader on other serial and key backends (tests).
    CPelmora(std::unique_ptr<platform::SerialApi> serial, std::unique_ptr<platform::KeySink> keys);
    ~CPelmora() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    afx_msg void OnAppAbout();
    afx_msg void OnShowMainWindow();
    afx_msg void OnHideMainWindow();
    afx_msg void OnOptions();
    afx_msg void OnExit();

    // Whether the main window is the program's only way in: there is no tray to reach it from,
    // so it is shown and hiding leaves it shown; closing it ends the program, or minimises it
    // where the tray is only late.
    bool MainWindowIsOnlyAccess() const;
    // Brings the tray icon's tooltip up to date with what the reader said (UI thread).
    void ShowReaderNotes();

    CTrayIcon m_trayIcon;
    DeviceReaderThread m_reader;
    bool m_exitRequested = false;
    // Asks the reader to connect when its device comes; none on test backends, whose device
    // names are not this machine's.
    std::unique_ptr<DeviceWatch> m_deviceWatch;
    // The Options or About dialog while one is open: a second request is ignored meanwhile.
    CDialog* m_openDialog = nullptr;

private:
    void storeProductInformation();
    // Runs `dialog` owned by the main window, as the one dialog open; ends the program after it
    // when Exit was chosen meanwhile.
    int RunDialog(CDialog& dialog);
    void SetTrayToolTip();

    // A scan that could not reach the focused window, as the reader said it (reader thread),
    // until the UI thread takes it.
    std::mutex m_notesMutex;
    vantel::VLString m_unreachableNote;
    bool m_unreachableNoted = false;
    // What the tooltip says beyond the program's name, and the last scan when it was set.
    vantel::VLString m_tipNote;
    vantel::VLString m_scanAtNote;
    void OnTrayAvailabilityChanged(bool available);

    DECLARE_MESSAGE_MAP()
};

extern util::VLAppConfig theConfig;
extern CPelmora theApp;
