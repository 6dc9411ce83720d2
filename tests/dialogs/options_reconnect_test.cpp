// OK in the Options dialog, followed by the reconnect the Options command asks for, puts the new
// line settings on the port: a pseudo-terminal's slave plays the serial port.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>
#include <memory>

#include "dialog_test_support.h"
#include "dialogs/options_dialog.h"
#include "platform/gui/qt/qt_peers.h"
#include "platform/key_sink.h"
#include "platform/serial_api.h"
#include "posix/pty.h"
#include "reader/device_reader_thread.h"
#include "res/dialog_templates.h"
#include "settings/scanner_settings.h"

namespace {

namespace ss = ScannerSettings;
using testutil::waitFor;

TEST(OptionsReconnect, OkThenReconnectSetsTheNewBaudRateOnTheLine) {
    theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
    testutil::Pty pty;
    writeSetting(ss::DeviceName, pty.slavePath().c_str());
    writeSetting(ss::SerialDevice, 1);
    writeSetting(ss::BaudRate, 9600);
    // No handshakes: a pseudo-terminal has no modem lines to wait for.
    for (const IntegerSetting* flag : {&ss::bDSR, &ss::bCTS, &ss::bXIN, &ss::bXOUT}) {
        writeSetting(*flag, 0);
    }

    DeviceReaderThread reader(platform::makeSerialApi(), std::make_unique<platform::NullKeySink>());
    reader.start();
    ASSERT_TRUE(waitFor([&] { return reader.isOpen() && testutil::lineOf(pty).c_ospeed == 9600; }))
        << reader.getLastError().t_str();

    OptionsDialog dialog;
    const int result = dialogs_test::runModal(dialog, [&] {
        auto* baud = qobject_cast<QComboBox*>(afx::qt::controlOf(dialog, res::kBaudRateListId));
        baud->setCurrentIndex(baud->findText(QStringLiteral("115200")));
        QTest::mouseClick(afx::qt::controlOf(dialog, IDOK), Qt::LeftButton);
    });
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(readSetting(ss::BaudRate), 115200);
    // Until told to reconnect the reader keeps the line as it was.
    EXPECT_EQ(testutil::lineOf(pty).c_ospeed, 9600u);

    reader.setState(Connecting);
    EXPECT_TRUE(waitFor([&] { return testutil::lineOf(pty).c_ospeed == 115200; }))
        << "line speed " << testutil::lineOf(pty).c_ospeed;
    EXPECT_TRUE(reader.isOpen());
    reader.stop(true);
    theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
}

}  // namespace
