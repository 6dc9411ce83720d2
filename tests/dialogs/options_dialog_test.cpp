// The Options dialog: what it shows for the stored settings, the enabling rules while editing,
// and what OK and Cancel write.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "dialogs/options_dialog.h"
#include "platform/posix/settings_file.h"
#include "platform/qt/serial_port_names.h"
#include "res/dialog_templates.h"
#include "settings/scanner_settings.h"

namespace {

namespace ss = ScannerSettings;
using dialogs_test::RecordingStore;
using dialogs_test::runModal;

const int kLineControls[] = {res::kParityCheckId,  res::kDtrId,        res::kDsrId,
                             res::kCtsId,          res::kXonInputId,   res::kXonOutputId,
                             res::kBaudRateListId, res::kParityListId, res::kDataBitsListId,
                             res::kStopBitsListId};

class OptionsDialogTest : public testing::Test {
protected:
    void SetUp() override {
        m_store = std::make_shared<RecordingStore>();
        theConfig.setStore(m_store);
    }
    void TearDown() override { theConfig.setStore(std::make_shared<util::MemorySettingsStore>()); }

    // Writes made by the dialog, not by the test's own seeding.
    void startRecording() {
        m_store->names.clear();
        m_seeded = m_store->writeCount();
    }
    int dialogWrites() const { return m_store->writeCount() - m_seeded; }

    static QLineEdit* edit(OptionsDialog& d) {
        return qobject_cast<QLineEdit*>(d.controlWidget(res::kDeviceNameId));
    }
    static QCheckBox* box(OptionsDialog& d, int id) {
        return qobject_cast<QCheckBox*>(d.controlWidget(id));
    }
    static QComboBox* list(OptionsDialog& d, int id) {
        return qobject_cast<QComboBox*>(d.controlWidget(id));
    }
    static bool enabled(OptionsDialog& d, int id) { return d.controlWidget(id)->isEnabled(); }
    static bool lineControlsEnabled(OptionsDialog& d, bool expected) {
        for (int id : kLineControls) {
            if (enabled(d, id) != expected)
                return false;
        }
        return true;
    }
    static void retype(OptionsDialog& d, const char* text) {
        edit(d)->selectAll();
        QTest::keyClick(edit(d), Qt::Key_Delete);
        QTest::keyClicks(edit(d), text);
    }
    std::int32_t stored(const IntegerSetting& s) { return readSetting(s); }

    std::shared_ptr<RecordingStore> m_store;
    int m_seeded = 0;
};

TEST_F(OptionsDialogTest, EmptyStoreShowsTheDefaults) {
    OptionsDialog dialog;
    dialog.OnInitDialog();
    EXPECT_EQ(edit(dialog)->text(), QStringLiteral("COM1"));
    EXPECT_TRUE(box(dialog, res::kSerialDeviceId)->isChecked());
    EXPECT_FALSE(enabled(dialog, res::kSerialDeviceId));
    EXPECT_EQ(list(dialog, res::kBaudRateListId)->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(list(dialog, res::kParityListId)->currentText(), QStringLiteral("None"));
    EXPECT_EQ(list(dialog, res::kDataBitsListId)->currentText(), QStringLiteral("8"));
    EXPECT_EQ(list(dialog, res::kStopBitsListId)->currentText(), QStringLiteral("1"));
    EXPECT_FALSE(box(dialog, res::kCtsId)->isChecked());
    for (int id : {res::kParityCheckId, res::kDsrId, res::kDtrId, res::kXonInputId,
                   res::kXonOutputId, res::kCrLfId, res::kSkipFirstCharId}) {
        EXPECT_TRUE(box(dialog, id)->isChecked()) << id;
    }
    EXPECT_TRUE(lineControlsEnabled(dialog, true));

    // The lists hold their tables in order.
    QStringList rates;
    for (int i = 0; i < list(dialog, res::kBaudRateListId)->count(); ++i) {
        rates << list(dialog, res::kBaudRateListId)->itemText(i);
    }
    EXPECT_EQ(rates.join(' '), QStringLiteral("110 300 600 1200 2400 4800 9600 14400 19200 38400 "
                                              "56000 57600 115200 128000 256000"));
    EXPECT_EQ(list(dialog, res::kParityListId)->itemText(4), QStringLiteral("Space"));
    EXPECT_EQ(list(dialog, res::kDataBitsListId)->itemText(0), QStringLiteral("7"));
    EXPECT_EQ(list(dialog, res::kStopBitsListId)->itemText(1), QStringLiteral("1.5"));
    EXPECT_EQ(m_store->writeCount(), 0);
}

// Every stored value differs from its default, so a nested exchange started by the edit's own
// change notification (which would read back the controls before they show the settings) or a
// swapped control would show up here.
TEST_F(OptionsDialogTest, ShowsEveryStoredValue) {
    writeSetting(ss::DeviceName, "/dev/ttyACM0");
    writeSetting(ss::SerialDevice, 1);
    writeSetting(ss::bParity, 0);
    writeSetting(ss::bDSR, 0);
    writeSetting(ss::bDTR, 1);
    writeSetting(ss::bCTS, 1);
    writeSetting(ss::bXIN, 0);
    writeSetting(ss::bXOUT, 1);
    writeSetting(ss::bCRLF, 0);
    writeSetting(ss::bSkipFirstChar, 0);
    writeSetting(ss::BaudRate, 115200);
    writeSetting(ss::Parity, 2);
    writeSetting(ss::StopBits, 2);
    writeSetting(ss::DataBits, 7);
    OptionsDialog dialog;
    dialog.OnInitDialog();
    EXPECT_EQ(edit(dialog)->text(), QStringLiteral("/dev/ttyACM0"));
    EXPECT_TRUE(box(dialog, res::kSerialDeviceId)->isChecked());
    EXPECT_TRUE(enabled(dialog, res::kSerialDeviceId));
    EXPECT_FALSE(box(dialog, res::kParityCheckId)->isChecked());
    EXPECT_FALSE(box(dialog, res::kDsrId)->isChecked());
    EXPECT_TRUE(box(dialog, res::kDtrId)->isChecked());
    EXPECT_TRUE(box(dialog, res::kCtsId)->isChecked());
    EXPECT_FALSE(box(dialog, res::kXonInputId)->isChecked());
    EXPECT_TRUE(box(dialog, res::kXonOutputId)->isChecked());
    EXPECT_FALSE(box(dialog, res::kCrLfId)->isChecked());
    EXPECT_FALSE(box(dialog, res::kSkipFirstCharId)->isChecked());
    EXPECT_EQ(list(dialog, res::kBaudRateListId)->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(list(dialog, res::kParityListId)->currentText(), QStringLiteral("Even"));
    EXPECT_EQ(list(dialog, res::kStopBitsListId)->currentText(), QStringLiteral("2"));
    EXPECT_EQ(list(dialog, res::kDataBitsListId)->currentText(), QStringLiteral("7"));
    EXPECT_TRUE(lineControlsEnabled(dialog, true));
}

TEST_F(OptionsDialogTest, ComPrefixInAnyCaseMeansASerialPort) {
    for (const char* name : {"com7", "CoM2", "COM", "cOMx"}) {
        writeSetting(ss::DeviceName, "/dev/null");
        writeSetting(ss::SerialDevice, 0);
        startRecording();
        OptionsDialog dialog;
        const int result = runModal(dialog, [&] {
            EXPECT_TRUE(enabled(dialog, res::kSerialDeviceId));
            EXPECT_TRUE(lineControlsEnabled(dialog, false));
            retype(dialog, name);
            EXPECT_FALSE(enabled(dialog, res::kSerialDeviceId)) << name;
            EXPECT_FALSE(box(dialog, res::kSerialDeviceId)->isChecked()) << "box left as it was";
            EXPECT_TRUE(lineControlsEnabled(dialog, true)) << name;
            QTest::mouseClick(dialog.controlWidget(IDOK), Qt::LeftButton);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(readSetting(ss::DeviceName), vantel::VLString(name));
        EXPECT_EQ(stored(ss::SerialDevice), 1) << name;
    }
}

TEST_F(OptionsDialogTest, StoredSerialDeviceOffWithCom1) {
    writeSetting(ss::SerialDevice, 0);
    startRecording();
    OptionsDialog dialog;
    const int result = runModal(dialog, [&] {
        EXPECT_EQ(edit(dialog)->text(), QStringLiteral("COM1"));
        EXPECT_FALSE(box(dialog, res::kSerialDeviceId)->isChecked());
        EXPECT_FALSE(enabled(dialog, res::kSerialDeviceId));
        EXPECT_TRUE(lineControlsEnabled(dialog, true));
        QTest::keyClick(edit(dialog), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(stored(ss::SerialDevice), 1);
}

TEST_F(OptionsDialogTest, EnablingFollowsEachKeystrokeAndEachClick) {
    writeSetting(ss::SerialDevice, 0);
    OptionsDialog dialog;
    dialog.OnInitDialog();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit* name = edit(dialog);

    // "COM1" -> "COM" -> "CO": the keystroke that breaks the prefix offers the box at once, and
    // with the box off the line controls go grey.
    name->setFocus();
    name->end(false);
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_FALSE(enabled(dialog, res::kSerialDeviceId));
    EXPECT_TRUE(lineControlsEnabled(dialog, true));
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(name->text(), QStringLiteral("CO"));
    EXPECT_TRUE(enabled(dialog, res::kSerialDeviceId));
    EXPECT_TRUE(lineControlsEnabled(dialog, false));
    // "COM" again: serial by name, box disabled, line controls back.
    QTest::keyClick(name, Qt::Key_M);
    EXPECT_FALSE(enabled(dialog, res::kSerialDeviceId));
    EXPECT_TRUE(lineControlsEnabled(dialog, true));

    retype(dialog, "/dev/ttyUSB0");
    EXPECT_TRUE(enabled(dialog, res::kSerialDeviceId));
    EXPECT_TRUE(lineControlsEnabled(dialog, false));
    QTest::mouseClick(box(dialog, res::kSerialDeviceId), Qt::LeftButton);
    EXPECT_TRUE(lineControlsEnabled(dialog, true));
    // The keyboard toggles it as well.
    box(dialog, res::kSerialDeviceId)->setFocus();
    QTest::keyClick(box(dialog, res::kSerialDeviceId), Qt::Key_Space);
    EXPECT_FALSE(box(dialog, res::kSerialDeviceId)->isChecked());
    EXPECT_TRUE(lineControlsEnabled(dialog, false));

    // The block options never grey out.
    EXPECT_TRUE(enabled(dialog, res::kSkipFirstCharId));
    EXPECT_TRUE(enabled(dialog, res::kCrLfId));
    EXPECT_TRUE(enabled(dialog, res::kDeviceNameId));
    EXPECT_TRUE(enabled(dialog, IDOK));
    EXPECT_TRUE(enabled(dialog, IDCANCEL));
    // A click on another box runs the exchange too: the flags follow the screen.
    QTest::mouseClick(box(dialog, res::kSkipFirstCharId), Qt::LeftButton);
    EXPECT_TRUE(enabled(dialog, res::kSkipFirstCharId));
    EXPECT_TRUE(lineControlsEnabled(dialog, false));
    dialog.EndDialog(IDCANCEL);
}

struct Fallback {
    const IntegerSetting* setting;
    std::int32_t storedValue;
    int listId;
    const char* shown;
    std::int32_t written;
};

TEST_F(OptionsDialogTest, ValuesOutsideTheTablesFallBack) {
    const Fallback cases[] = {
        {&ss::BaudRate, 0, res::kBaudRateListId, "9600", 9600},
        {&ss::BaudRate, 4000, res::kBaudRateListId, "9600", 9600},
        {&ss::BaudRate, 110, res::kBaudRateListId, "110", 110},
        {&ss::DataBits, 5, res::kDataBitsListId, "8", 8},
        {&ss::DataBits, 7, res::kDataBitsListId, "7", 7},
        {&ss::Parity, 9, res::kParityListId, "None", 0},
        {&ss::Parity, 4, res::kParityListId, "Space", 4},
        {&ss::StopBits, 3, res::kStopBitsListId, "1", 0},
        {&ss::StopBits, 1, res::kStopBitsListId, "1.5", 1},
    };
    for (const Fallback& c : cases) {
        theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
        writeSetting(*c.setting, c.storedValue);
        OptionsDialog dialog;
        const int result = runModal(dialog, [&] {
            EXPECT_EQ(list(dialog, c.listId)->currentText(), QString::fromLatin1(c.shown))
                << c.setting->name << " " << c.storedValue;
            QTest::mouseClick(dialog.controlWidget(IDOK), Qt::LeftButton);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(readSetting(*c.setting), c.written) << c.setting->name << " " << c.storedValue;
    }
}

TEST_F(OptionsDialogTest, ListsAreFilledOnceHoweverOftenTheExchangeRuns) {
    OptionsDialog dialog;
    dialog.OnInitDialog();
    dialog.OnInitDialog();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    for (int i = 0; i < 3; ++i) {
        dialog.UpdateData(1);
        dialog.UpdateData(0);
    }
    QTest::mouseClick(box(dialog, res::kCtsId), Qt::LeftButton);
    retype(dialog, "/dev/x");
    EXPECT_TRUE(box(dialog, res::kCtsId)->isChecked());
    EXPECT_TRUE(enabled(dialog, res::kSerialDeviceId));
    dialog.hide();
    EXPECT_EQ(list(dialog, res::kBaudRateListId)->count(), 15);
    EXPECT_EQ(list(dialog, res::kParityListId)->count(), 5);
    EXPECT_EQ(list(dialog, res::kDataBitsListId)->count(), 2);
    EXPECT_EQ(list(dialog, res::kStopBitsListId)->count(), 3);
    // A fresh dialog fills its own lists, once.
    OptionsDialog second;
    runModal(second, [&] { second.EndDialog(IDCANCEL); });
    EXPECT_EQ(list(second, res::kBaudRateListId)->count(), 15);
}

TEST_F(OptionsDialogTest, CancelEscapeAndCloseBoxWriteNothing) {
    startRecording();
    auto edits = [](OptionsDialog& d) {
        retype(d, "/dev/ttyUSB3");
        QTest::mouseClick(box(d, res::kSerialDeviceId), Qt::LeftButton);
        QTest::mouseClick(box(d, res::kCtsId), Qt::LeftButton);
        list(d, res::kBaudRateListId)->setCurrentIndex(0);
    };
    {
        OptionsDialog dialog;
        EXPECT_EQ(runModal(dialog,
                           [&] {
                               edits(dialog);
                               QTest::mouseClick(dialog.controlWidget(IDCANCEL), Qt::LeftButton);
                           }),
                  IDCANCEL);
    }
    {
        OptionsDialog dialog;
        EXPECT_EQ(runModal(dialog,
                           [&] {
                               edits(dialog);
                               QTest::keyClick(edit(dialog), Qt::Key_Escape);
                           }),
                  IDCANCEL);
    }
    {
        OptionsDialog dialog;
        EXPECT_EQ(runModal(dialog,
                           [&] {
                               edits(dialog);
                               dialog.close();
                           }),
                  IDCANCEL);
    }
    EXPECT_EQ(dialogWrites(), 0);
    EXPECT_TRUE(m_store->names.empty());
}

TEST_F(OptionsDialogTest, OkWritesAllFourteenInOrder) {
    startRecording();
    OptionsDialog dialog;
    const int result = runModal(dialog, [&] {
        retype(dialog, "/dev/ttyUSB1");
        QTest::mouseClick(box(dialog, res::kCtsId), Qt::LeftButton);
        QTest::mouseClick(box(dialog, res::kSkipFirstCharId), Qt::LeftButton);
        // A new selection alone runs no exchange; OK takes it up.
        list(dialog, res::kBaudRateListId)->setCurrentIndex(8);
        list(dialog, res::kParityListId)->setCurrentIndex(3);
        list(dialog, res::kStopBitsListId)->setCurrentIndex(2);
        list(dialog, res::kDataBitsListId)->setCurrentIndex(0);
        QTest::mouseClick(dialog.controlWidget(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(result, IDOK);
    const std::vector<std::string> order{"DeviceName", "SerialDevice",   "bParity",  "bDSR",
                                         "bDTR",       "bCTS",           "bXIN",     "bXOUT",
                                         "bCRLF",      "bSkipFirstChar", "BaudRate", "Parity",
                                         "StopBits",   "DataBits"};
    EXPECT_EQ(m_store->names, order);
    EXPECT_EQ(dialogWrites(), 14);
    EXPECT_EQ(readSetting(ss::DeviceName), vantel::VLString("/dev/ttyUSB1"));
    EXPECT_EQ(stored(ss::SerialDevice), 1);
    EXPECT_EQ(stored(ss::bCTS), 1);
    EXPECT_EQ(stored(ss::bSkipFirstChar), 0);
    EXPECT_EQ(stored(ss::bParity), 1);
    EXPECT_EQ(stored(ss::BaudRate), 19200);
    EXPECT_EQ(stored(ss::Parity), 3);
    EXPECT_EQ(stored(ss::StopBits), 2);
    EXPECT_EQ(stored(ss::DataBits), 7);
}

// OK that stores nothing says so, naming the place and the reason, and leaves the dialog open:
// a settings file that cannot be read (never written over), and a write that fails.
TEST_F(OptionsDialogTest, OkThatCannotSaveSaysWhyAndStaysOpen) {
    class FailingStore : public util::MemorySettingsStore {
    public:
        std::string writeProblem() override { return "/home/u/.config: read-only file system"; }
    };
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/Pelmora.conf";
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(folder)));
    const std::vector<std::pair<std::shared_ptr<util::SettingsStore>, std::string>> cases = {
        {std::make_shared<util::FileSettingsStore>(folder), folder + ": is a folder, not a file"},
        {std::make_shared<FailingStore>(), "/home/u/.config: read-only file system"}};
    for (const auto& [store, why] : cases) {
        SCOPED_TRACE(why);
        theConfig.setStore(store);
        OptionsDialog dialog;
        QString said;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                said = box->text();
                box->accept();
            }
        });
        answer.start(20);
        const int result = runModal(dialog, [&] {
            QTest::mouseClick(dialog.controlWidget(IDOK), Qt::LeftButton);
            EXPECT_TRUE(dialog.isVisible());
            dialog.EndDialog(IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_TRUE(said.startsWith("The settings were not saved.")) << said.toStdString();
        EXPECT_TRUE(said.contains(QString::fromStdString(why))) << said.toStdString();
    }
    EXPECT_TRUE(QFileInfo(QString::fromStdString(folder)).isDir());
}

TEST_F(OptionsDialogTest, NotASerialDeviceWhenTheBoxIsOff) {
    startRecording();
    OptionsDialog dialog;
    const int result = runModal(dialog, [&] {
        retype(dialog, "");  // the empty name is accepted too
        QTest::mouseClick(box(dialog, res::kSerialDeviceId), Qt::LeftButton);
        EXPECT_TRUE(lineControlsEnabled(dialog, false));
        QTest::mouseClick(dialog.controlWidget(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialogWrites(), 14);
    EXPECT_EQ(readSetting(ss::DeviceName), vantel::VLString(""));
    EXPECT_EQ(stored(ss::SerialDevice), 0);
}

TEST(SerialPortNames, ListsOnlyTheSerialDeviceNames) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    QDir root(dev.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("serial/by-id")));
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "tty1", "null",
                             "serial/by-id/usb-Scanner_1234-if00-port0"}) {
        QFile file(root.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QStringList names = platform::listSerialPortNames(dev.path());
    const QStringList expected{
        root.filePath(QStringLiteral("serial/by-id/usb-Scanner_1234-if00-port0")),
        root.filePath(QStringLiteral("ttyACM0")), root.filePath(QStringLiteral("ttyUSB0")),
        root.filePath(QStringLiteral("ttyUSB1"))};
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(platform::listSerialPortNames(root.filePath(QStringLiteral("missing"))).isEmpty());
}

TEST_F(OptionsDialogTest, DeviceNameOffersThePortsPresentAsCompletions) {
    OptionsDialog dialog;
    dialog.OnInitDialog();
    QCompleter* completer = edit(dialog)->completer();
    ASSERT_NE(completer, nullptr);
    auto* model = qobject_cast<QStringListModel*>(completer->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->stringList(), platform::listSerialPortNames());
    EXPECT_EQ(completer->caseSensitivity(), Qt::CaseInsensitive);
}

}  // namespace

namespace {

// Device paths are narrow text in the system's encoding; a name with non-ASCII letters (udev's
// by-id names carry the maker's product string) is stored byte for byte as typed.
TEST(OptionsDialogText, NonAsciiDeviceNamesRoundTrip) {
    theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
    const QString typed = QStringLiteral("/dev/serial/by-id/usb-Caf\u00e9_Scanner-if00");
    OptionsDialog dialog;
    const int result = runModal(dialog, [&] {
        auto* name = qobject_cast<QLineEdit*>(dialog.controlWidget(res::kDeviceNameId));
        name->setText(typed);
        QTest::mouseClick(dialog.controlWidget(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(readSetting(ss::DeviceName).bytes(), typed.toLocal8Bit().toStdString());

    OptionsDialog reopened;
    reopened.OnInitDialog();
    EXPECT_EQ(qobject_cast<QLineEdit*>(reopened.controlWidget(res::kDeviceNameId))->text(), typed);
    theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
}

}  // namespace
