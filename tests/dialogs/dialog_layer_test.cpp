// The dialog layer: dialog-unit arithmetic, controls built from a template, the message map and
// the data exchange.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <iterator>

#include "dialog_test_support.h"
#include "dialogs/options_dialog.h"
#include "platform/gui/afxdlg.h"
#include "platform/gui/qt/qt_peers.h"
#include "res/dialog_templates.h"

namespace {

using platform::ControlKind;
using platform::DialogBaseUnits;
using platform::mapDialogRect;
using platform::mulDiv;

TEST(DialogUnits, MulDivRoundsHalfAwayFromZero) {
    EXPECT_EQ(mulDiv(3, 1, 2), 2);
    EXPECT_EQ(mulDiv(-3, 1, 2), -2);
    EXPECT_EQ(mulDiv(3, -1, 2), -2);
    EXPECT_EQ(mulDiv(5, 1, 4), 1);
    EXPECT_EQ(mulDiv(7, 1, 4), 2);
    EXPECT_EQ(mulDiv(282, 6, 4), 423);
    // No overflow in the intermediate product.
    EXPECT_EQ(mulDiv(1 << 30, 4, 8), 1 << 29);
}

TEST(DialogUnits, EdgesAreMappedNotSizes) {
    const DialogBaseUnits units{6, 13};
    // "DSR" box: x 120..149, y 60..70. Mapping the width alone would give 29*6/4 = 43.5 -> 44.
    EXPECT_EQ(mapDialogRect(120, 60, 29, 10, units), QRect(180, 98, 44, 16));
    EXPECT_EQ(mapDialogRect(57, 11, 29, 14, units), QRect(86, 18, 43, 23));  // 85.5 -> 86, 129
    // Whole Options client area with the classic 6 x 13 base units.
    EXPECT_EQ(mapDialogRect(0, 0, 282, 163, units).size(), QSize(423, 265));
    // The measured 7 x 14 units of DejaVu Sans give 494 x 285.
    EXPECT_EQ(mapDialogRect(0, 0, 282, 163, DialogBaseUnits{7, 14}).size(), QSize(494, 285));
}

TEST(DialogUnits, BaseUnitsComeFromTheFont) {
    QFont font = QApplication::font();
    font.setPointSize(8);
    const DialogBaseUnits small = platform::dialogBaseUnits(font);
    font.setPointSize(16);
    const DialogBaseUnits large = platform::dialogBaseUnits(font);
    EXPECT_GT(small.x, 0);
    EXPECT_GT(small.y, small.x);
    EXPECT_GT(large.x, small.x);
    EXPECT_GT(large.y, small.y);
}

TEST(DialogTemplateLayout, ControlsSitWhereTheTemplatePutsThem) {
    OptionsDialog dialog;
    const platform::DialogTemplate& tmpl = res::optionsDialogTemplate();
    EXPECT_EQ(afx::qt::widgetOf(dialog).size(),
              afx::qt::dialogPeerOf(dialog).mapDialogRect(0, 0, 282, 163).size());
    EXPECT_EQ(afx::qt::widgetOf(dialog).windowTitle(), QStringLiteral("Pelmora"));

    const DialogBaseUnits units = afx::qt::dialogPeerOf(dialog).baseUnits();
    auto expected = [&](int x, int y, int cx, int cy) {
        return mapDialogRect(x, y, cx, cy, units);
    };
    EXPECT_EQ(afx::qt::controlOf(dialog, res::kDeviceNameId)->geometry(), expected(57, 11, 40, 14));
    EXPECT_EQ(afx::qt::controlOf(dialog, res::kSerialDeviceId)->geometry(),
              expected(120, 13, 59, 10));
    EXPECT_EQ(afx::qt::controlOf(dialog, IDOK)->geometry(), expected(87, 140, 50, 16));
    EXPECT_EQ(afx::qt::controlOf(dialog, IDCANCEL)->geometry(), expected(146, 140, 50, 16));
    EXPECT_EQ(afx::qt::controlOf(dialog, res::kCrLfId)->geometry(), expected(57, 124, 170, 10));

    // A drop-down list: the closed field takes the top of the template rectangle, which is as
    // tall as the opened list.
    const QRect open = expected(57, 45, 48, 65);
    auto* baud = qobject_cast<QComboBox*>(afx::qt::controlOf(dialog, res::kBaudRateListId));
    ASSERT_NE(baud, nullptr);
    EXPECT_EQ(baud->geometry().topLeft(), open.topLeft());
    EXPECT_EQ(baud->width(), open.width());
    EXPECT_LT(baud->height(), open.height());
    EXPECT_GE(baud->maxVisibleItems(), 2);
    EXPECT_LE(baud->height() +
                  baud->maxVisibleItems() * QFontMetrics(afx::qt::widgetOf(dialog).font()).height(),
              open.height());

    // Every template control exists, with its text.
    for (std::size_t i = 0; i < tmpl.controlCount; ++i) {
        const platform::DialogControl& control = tmpl.controls[i];
        if (control.id == -1)
            continue;
        QWidget* widget = afx::qt::controlOf(dialog, control.id);
        ASSERT_NE(widget, nullptr) << control.id;
        if (control.kind == ControlKind::AutoCheckBox) {
            ASSERT_NE(qobject_cast<QCheckBox*>(widget), nullptr) << control.id;
            EXPECT_EQ(qobject_cast<QCheckBox*>(widget)->text(), QString::fromLatin1(control.text));
        }
    }
    auto* ok = qobject_cast<QPushButton*>(afx::qt::controlOf(dialog, IDOK));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
}

TEST(DialogTemplateLayout, TabOrderIsTemplateOrder) {
    OptionsDialog dialog;
    const platform::DialogTemplate& tmpl = res::optionsDialogTemplate();
    std::vector<QWidget*> expected;
    for (std::size_t i = 0; i < tmpl.controlCount; ++i) {
        const platform::DialogControl& control = tmpl.controls[i];
        if (control.style & platform::style::kTabStop) {
            expected.push_back(afx::qt::controlOf(dialog, control.id));
        }
    }
    ASSERT_EQ(expected.size(), 16u);  // all but the five labels
    std::vector<QWidget*> chain{expected.front()};
    for (QWidget* w = expected.front()->nextInFocusChain(); w != expected.front();
         w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            chain.push_back(w);
    }
    EXPECT_EQ(chain, expected);
    for (QObject* child : afx::qt::widgetOf(dialog).children()) {
        if (auto* label = qobject_cast<QLabel*>(child)) {
            EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
        }
    }
}

// A dialog of its own to watch the layer's dispatch.
constexpr platform::DialogControl kProbeControls[] = {
    {500, ControlKind::Edit, nullptr, 5, 5, 60, 12, platform::style::kTabStop, 0},
    {600, ControlKind::AutoCheckBox, "Box", 5, 20, 60, 10, platform::style::kTabStop, 0},
    {9001, ControlKind::AutoCheckBox, "Outside", 5, 32, 60, 10, platform::style::kTabStop, 0},
    {700, ControlKind::DropDownList, nullptr, 5, 44, 60, 50, platform::style::kTabStop, 0},
    {IDOK, ControlKind::DefPushButton, "OK", 5, 100, 40, 14, platform::style::kTabStop, 0},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 50, 100, 40, 14, platform::style::kTabStop, 0},
};
constexpr platform::DialogTemplate kProbeTemplate{
    1, "Probe", "MS Shell Dlg", 8, 120, 120, 0, 0, kProbeControls, std::size(kProbeControls)};

class ProbeDialog : public CDialog {
public:
    ProbeDialog() : CDialog(kProbeTemplate) {}

    void OnClicked(unsigned id) { clicked.push_back(int(id)); }
    void OnEditChanged() {
        ++editChanges;
        UpdateData(1);
    }
    void DoDataExchange(CDataExchange* pDX) override {
        ++exchanges;
        if (refuse && pDX->m_bSaveAndValidate)
            pDX->Fail();
        DDX_Check(pDX, 600, box);
        DDX_CBIndex(pDX, 700, index);
        DDX_Control(pDX, 700, list);
        if (!pDX->m_bSaveAndValidate) {
            // A change made by the exchange itself must not come back as a notification.
            GetDlgItem(500)->SetWindowText(pDX->m_bSaveAndValidate ? "save" : "load");
        }
    }
    const DialogMessageMap* GetMessageMap() const override {
        static const DialogMessageEntry entries[] = {
            onControlRange<ProbeDialog, &ProbeDialog::OnClicked>(BN_CLICKED, 100, 9000),
            onControl<ProbeDialog, &ProbeDialog::OnEditChanged>(EN_CHANGE, 500),
        };
        static const DialogMessageMap map{CDialog::GetMessageMap(), entries, std::size(entries)};
        return &map;
    }

    std::vector<int> clicked;
    int editChanges = 0;
    int exchanges = 0;
    int box = 1;
    int index = 2;
    bool refuse = false;
    CComboBox list;
};

TEST(DialogMessageMap, RangesAndSingleIdsReachTheirHandlers) {
    ProbeDialog dialog;
    afx::qt::widgetOf(dialog).show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&afx::qt::widgetOf(dialog)));
    dialog.UpdateData(0);
    EXPECT_EQ(dialog.editChanges, 0) << "the exchange's own edit change was not dropped";
    EXPECT_EQ(dialog.exchanges, 1);

    QTest::mouseClick(afx::qt::controlOf(dialog, 600), Qt::LeftButton);
    QTest::mouseClick(afx::qt::controlOf(dialog, 9001), Qt::LeftButton);  // outside the range
    EXPECT_EQ(dialog.clicked, std::vector<int>{600});

    QTest::keyClicks(afx::qt::controlOf(dialog, 500), "ab");
    EXPECT_EQ(dialog.editChanges, 2);
    EXPECT_EQ(dialog.exchanges, 3);
    EXPECT_EQ(dialog.box, 0);  // the click cleared the box and the handler's exchange read it
}

TEST(DialogDataExchange, ChecksListsAndBinding) {
    ProbeDialog dialog;
    auto* combo = qobject_cast<QComboBox*>(afx::qt::controlOf(dialog, 700));
    EXPECT_EQ(dialog.list.AddString("x"), -1);  // not bound before the first exchange
    dialog.index = -1;
    dialog.UpdateData(0);
    ASSERT_TRUE(dialog.list.IsBound());
    EXPECT_EQ(dialog.list.AddString("a"), 0);
    EXPECT_EQ(dialog.list.AddString("b"), 1);
    EXPECT_EQ(dialog.list.AddString("c"), 2);
    EXPECT_EQ(combo->count(), 3);
    dialog.index = 2;
    dialog.box = 0;
    dialog.UpdateData(0);
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_FALSE(qobject_cast<QCheckBox*>(afx::qt::controlOf(dialog, 600))->isChecked());
    combo->setCurrentIndex(1);
    qobject_cast<QCheckBox*>(afx::qt::controlOf(dialog, 600))->setChecked(true);
    dialog.box = 7;
    dialog.UpdateData(1);
    EXPECT_EQ(dialog.index, 1);
    EXPECT_EQ(dialog.box, 1);
    // A flag other than 0 or 1 shows as checked and comes back as 1.
    dialog.box = 5;
    dialog.UpdateData(0);
    dialog.UpdateData(1);
    EXPECT_EQ(dialog.box, 1);
}

// A scan's byte 0xE9 is the 'é' it is typed as, wherever the dialog shows narrow text; only the
// device name, a file name, takes the system's encoding (OptionsDialogText).
TEST(DialogText, NarrowTextIsLatin1) {
    ProbeDialog dialog;
    dialog.UpdateData(0);
    dialog.GetDlgItem(600)->SetWindowText("caf\xE9");
    dialog.SetWindowText("\xC0 \xFF");
    EXPECT_EQ(dialog.list.AddString("25\xB0"), 0);
    EXPECT_EQ(qobject_cast<QCheckBox*>(afx::qt::controlOf(dialog, 600))->text(),
              QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(afx::qt::widgetOf(dialog).windowTitle(), QString::fromUtf8("\u00c0 \u00ff"));
    EXPECT_EQ(qobject_cast<QComboBox*>(afx::qt::controlOf(dialog, 700))->itemText(0),
              QString::fromUtf8("25\u00b0"));
}

TEST(DialogModal, OkCancelEscapeAndCloseBoxEndTheDialog) {
    {
        ProbeDialog dialog;
        EXPECT_EQ(dialogs_test::runModal(
                      dialog,
                      [&] { QTest::mouseClick(afx::qt::controlOf(dialog, IDOK), Qt::LeftButton); }),
                  IDOK);
    }
    {
        ProbeDialog dialog;
        EXPECT_EQ(
            dialogs_test::runModal(
                dialog,
                [&] { QTest::mouseClick(afx::qt::controlOf(dialog, IDCANCEL), Qt::LeftButton); }),
            IDCANCEL);
    }
    {
        ProbeDialog dialog;
        EXPECT_EQ(
            dialogs_test::runModal(
                dialog, [&] { QTest::keyClick(afx::qt::controlOf(dialog, 500), Qt::Key_Escape); }),
            IDCANCEL);
    }
    {
        ProbeDialog dialog;
        EXPECT_EQ(dialogs_test::runModal(dialog, [&] { afx::qt::widgetOf(dialog).close(); }),
                  IDCANCEL);
    }
    {
        ProbeDialog dialog;
        EXPECT_EQ(
            dialogs_test::runModal(
                dialog, [&] { QTest::keyClick(afx::qt::controlOf(dialog, 500), Qt::Key_Return); }),
            IDOK);
    }
}

TEST(DialogModal, OkLeavesTheDialogOpenWhenTheExchangeFails) {
    ProbeDialog dialog;
    dialog.refuse = true;
    bool openAfterOk = false;
    const int result = dialogs_test::runModal(dialog, [&] {
        QTest::mouseClick(afx::qt::controlOf(dialog, IDOK), Qt::LeftButton);
        openAfterOk = afx::qt::widgetOf(dialog).isVisible();
        QTest::mouseClick(afx::qt::controlOf(dialog, IDCANCEL), Qt::LeftButton);
    });
    EXPECT_TRUE(openAfterOk);
    EXPECT_EQ(result, IDCANCEL);
}

TEST(DialogModal, FocusStartsOnTheFirstTabStop) {
    ProbeDialog dialog;
    QWidget* focused = nullptr;
    dialogs_test::runModal(dialog, [&] {
        focused = afx::qt::widgetOf(dialog).focusWidget();
        dialog.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(focused, afx::qt::controlOf(dialog, 500));
}

}  // namespace
