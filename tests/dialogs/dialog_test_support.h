// Helpers for driving modal dialogs in tests.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gui/afxdlg.h"
#include "platform/gui/qt/dialog_template.h"
#include "platform/gui/qt/qt_peers.h"
#include "support/settings_store.h"

namespace dialogs_test {

// Result DoModal gives when the watchdog had to end a dialog that the test left open.
inline constexpr int kWatchdogResult = -77;

// Runs dialog.DoModal(); `interact` runs once the modal loop is up and should end the dialog.
// If it does not (a failed check, a missed click), a watchdog ends it so the suite cannot hang.
inline int runModal(CDialog& dialog, const std::function<void()>& interact,
                    int watchdogMs = 20000) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &afx::qt::widgetOf(dialog), [&dialog] {
        if (afx::qt::widgetOf(dialog).isVisible())
            dialog.EndDialog(kWatchdogResult);
    });
    watchdog.start(watchdogMs);
    QTimer::singleShot(0, &afx::qt::widgetOf(dialog), [&] {
        QElapsedTimer shown;
        shown.start();
        while (!afx::qt::widgetOf(dialog).isVisible() && shown.elapsed() < 5000)
            QApplication::processEvents();
        interact();
    });
    return dialog.DoModal();
}

// An in-memory store that also records the names written, in order.
class RecordingStore : public util::MemorySettingsStore {
public:
    void writeString(const vantel::VLString& section, const vantel::VLString& name,
                     const vantel::VLString& value) override {
        names.emplace_back(name.t_str());
        util::MemorySettingsStore::writeString(section, name, value);
    }
    void writeInteger(const vantel::VLString& section, const vantel::VLString& name,
                      std::int32_t value) override {
        names.emplace_back(name.t_str());
        util::MemorySettingsStore::writeInteger(section, name, value);
    }

    std::vector<std::string> names;
};

}  // namespace dialogs_test
