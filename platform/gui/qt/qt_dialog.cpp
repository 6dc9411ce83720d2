// The Qt peers of CDialog and its controls: a QDialog with one widget per template control.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPalette>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

#include "platform/gui/afxdlg.h"
#include "platform/gui/qt/dialog_template.h"
#include "platform/gui/qt/qt_peers.h"
#include "platform/gui/qt/qt_text.h"
#include "platform/gui/qt/serial_port_names.h"

using platform::ControlKind;
using platform::DialogControl;
using platform::DialogTemplate;

namespace afx::qt {

namespace {

// A check box answers clicks anywhere in its rectangle, as a dialog's check box does, not only
// on its mark and text.
class TemplateCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

// The dialog's window: Enter, Esc, the close box and painting go to the CDialog.
class Dialog::Widget : public QDialog {
public:
    Widget(CDialog& dialog, QWidget* parent)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
          m_dialog(dialog) {}

protected:
    // Enter (the default button) and Esc or the close box arrive here.
    void accept() override { m_dialog.OnOK(); }
    void reject() override { m_dialog.OnCancel(); }
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        CDC dc(&painter);
        if (!m_dialog.AfxEraseBackground(&dc))
            QDialog::paintEvent(event);
    }

private:
    CDialog& m_dialog;
};

// ---- controls ----

Control::Control(QWidget* widget) : m_widget(widget) {}

bool Control::enable(bool on) {
    if (!m_widget)
        return false;
    const bool wasDisabled = !m_widget->isEnabled();
    m_widget->setEnabled(on);
    return wasDisabled;
}

bool Control::isEnabled() const {
    return m_widget && m_widget->isEnabled();
}

void Control::setText(const char* text) {
    if (!m_widget)
        return;
    const QString value = fromNarrow(text);
    if (auto* label = qobject_cast<QLabel*>(m_widget.data())) {
        label->setText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(m_widget.data())) {
        edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(m_widget.data())) {
        button->setText(value);
    } else {
        m_widget->setWindowTitle(value);
    }
}

void Control::setAppearance(const ControlAppearance& look) {
    auto* label = qobject_cast<QLabel*>(m_widget.data());
    if (label == nullptr)
        return;
    QPalette palette = label->palette();
    if (look.text != kDefaultColor)
        palette.setColor(QPalette::WindowText, colorFromColorRef(look.text));
    // No fill lets whatever lies behind (the dialog's picture) show through.
    const bool fill = look.background != kDefaultColor && look.background != kNoFillColor;
    if (fill)
        palette.setColor(QPalette::Window, colorFromColorRef(look.background));
    label->setAutoFillBackground(fill);
    label->setAttribute(Qt::WA_NoSystemBackground, look.background == kNoFillColor);
    label->setPalette(palette);
    label->setMargin(look.padding);
    if (!look.fontFace.empty()) {
        QFont font(fromNarrow(look.fontFace));
        if (look.fontPointSize > 0)
            font.setPointSizeF(look.fontPointSize);
        font.setBold(look.fontBold);
        label->setFont(font);
    }
}

void Control::showRichText() {
    auto* label = qobject_cast<QLabel*>(m_widget.data());
    if (label == nullptr)
        return;
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
}

int Control::addString(const char* text) {
    auto* combo = qobject_cast<QComboBox*>(m_widget.data());
    if (combo == nullptr)
        return -1;
    combo->addItem(fromNarrow(text));
    return combo->count() - 1;
}

int Control::count() const {
    auto* combo = qobject_cast<QComboBox*>(m_widget.data());
    return combo ? combo->count() : 0;
}

int Control::currentSelection() const {
    auto* combo = qobject_cast<QComboBox*>(m_widget.data());
    return combo ? combo->currentIndex() : -1;
}

int Control::select(int position) {
    auto* combo = qobject_cast<QComboBox*>(m_widget.data());
    if (combo == nullptr || position >= combo->count())
        return -1;
    combo->setCurrentIndex(position < 0 ? -1 : position);
    return combo->currentIndex();
}

// ---- the dialog ----

Dialog::Dialog(CDialog& dialog, const DialogTemplate& dialogTemplate, CWnd* parent)
    : m_dialog(dialog), m_template(dialogTemplate) {
    m_widget = new Widget(dialog, parent != nullptr ? parent->GetSafeHwnd() : nullptr);
    m_widget->setWindowTitle(fromNarrow(m_template.caption));
    m_widget->setFont(platform::dialogFont(m_template));
    m_baseUnits = platform::dialogBaseUnits(m_widget->font());
    const QRect client = mapDialogRect(0, 0, m_template.cx, m_template.cy);
    m_widget->setFixedSize(client.size());
    createControls();
    m_dialog.m_hWnd = m_widget;
}

Dialog::~Dialog() {
    m_dialog.m_hWnd = nullptr;
    delete m_widget;
}

QDialog& Dialog::widget() const {
    return *m_widget;
}

QRect Dialog::mapDialogRect(int x, int y, int cx, int cy) const {
    return platform::mapDialogRect(x, y, cx, cy, m_baseUnits);
}

void Dialog::createControls() {
    QWidget* previous = nullptr;
    for (std::size_t i = 0; i < m_template.controlCount; ++i) {
        const DialogControl& control = m_template.controls[i];
        QWidget* widget = createControl(control);
        m_items.push_back(Item{&control, widget});
        if (control.style & platform::style::kTabStop) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previous != nullptr)
                QWidget::setTabOrder(previous, widget);
            previous = widget;
        } else if (widget->focusPolicy() != Qt::NoFocus) {
            widget->setFocusPolicy(Qt::ClickFocus);
        }
    }
}

QWidget* Dialog::createControl(const DialogControl& control) {
    const QString text = fromNarrow(control.text);
    QRect rect = mapDialogRect(control.x, control.y, control.cx, control.cy);
    QWidget* widget = nullptr;
    const int id = control.id;
    CDialog* dialog = &m_dialog;
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, m_widget);
            button->setAutoDefault(true);
            button->setDefault(control.kind == ControlKind::DefPushButton);
            QObject::connect(button, &QAbstractButton::clicked, m_widget,
                             [dialog, id] { dialog->OnCommand(id, BN_CLICKED); });
            widget = button;
            break;
        }
        case ControlKind::AutoCheckBox: {
            auto* box = new TemplateCheckBox(text, m_widget);
            QObject::connect(box, &QAbstractButton::clicked, m_widget,
                             [dialog, id] { dialog->OnCommand(id, BN_CLICKED); });
            widget = box;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, m_widget);
            edit->setFrame((control.style & platform::style::kBorder) != 0);
            QObject::connect(edit, &QLineEdit::textChanged, m_widget,
                             [dialog, id] { dialog->OnCommand(id, EN_CHANGE); });
            widget = edit;
            break;
        }
        case ControlKind::DropDownList: {
            auto* combo = new QComboBox(m_widget);
            // A scrolling list below the field, as tall as the template allows, rather than a popup
            // placed over the field.
            combo->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
            const int closedHeight = std::min(combo->sizeHint().height(), rect.height());
            const int itemHeight = std::max(1, QFontMetrics(m_widget->font()).height() + 2);
            combo->setMaxVisibleItems(std::max(1, (rect.height() - closedHeight) / itemHeight));
            rect.setHeight(closedHeight);
            QObject::connect(combo, qOverload<int>(&QComboBox::activated), m_widget,
                             [dialog, id] { dialog->OnCommand(id, CBN_SELCHANGE); });
            widget = combo;
            break;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(text, m_widget);
            label->setTextFormat(Qt::PlainText);
            Qt::Alignment alignment =
                (control.style & platform::style::kCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
            alignment |=
                (control.style & platform::style::kCenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
            label->setAlignment(alignment);
            // Static text wraps at word boundaries when there is room for more than one line.
            label->setWordWrap(rect.height() >= 2 * QFontMetrics(m_widget->font()).height());
            if (control.style & platform::style::kBorder) {
                label->setFrameStyle(QFrame::Box | QFrame::Plain);
                label->setLineWidth(1);
            }
            label->setFocusPolicy(Qt::NoFocus);
            widget = label;
            break;
        }
    }
    widget->setGeometry(rect);
    return widget;
}

HWND Dialog::control(int id) const {
    for (const Item& item : m_items) {
        if (item.control->id == id)
            return item.widget;
    }
    return nullptr;
}

QWidget* Dialog::firstTabStop() const {
    for (const Item& item : m_items) {
        if ((item.control->style & platform::style::kTabStop) && item.widget->isEnabled())
            return item.widget;
    }
    return nullptr;
}

int Dialog::doModal() {
    if (m_dialog.AfxInitDialog()) {
        if (QWidget* first = firstTabStop())
            first->setFocus(Qt::TabFocusReason);
    }
    return m_widget->exec();
}

void Dialog::end(int result) {
    m_widget->done(result);
}

bool Dialog::checked(int id, bool& on) const {
    auto* box = qobject_cast<QAbstractButton*>(control(id));
    if (box == nullptr)
        return false;
    on = box->isChecked();
    return true;
}

void Dialog::setChecked(int id, bool on) {
    if (auto* box = qobject_cast<QAbstractButton*>(control(id)))
        box->setChecked(on);
}

bool Dialog::listIndex(int id, int& index) const {
    auto* combo = qobject_cast<QComboBox*>(control(id));
    if (combo == nullptr)
        return false;
    index = combo->currentIndex();
    return true;
}

void Dialog::setListIndex(int id, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(control(id)))
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

bool Dialog::fileName(int id, std::string& name) const {
    auto* edit = qobject_cast<QLineEdit*>(control(id));
    if (edit == nullptr)
        return false;
    name = toFileName(edit->text());
    return true;
}

void Dialog::setFileName(int id, const std::string& name) {
    if (auto* edit = qobject_cast<QLineEdit*>(control(id)))
        edit->setText(fromFileName(name));
}

void Dialog::setText(const char* caption) {
    m_widget->setWindowTitle(fromNarrow(caption));
}

RECT Dialog::clientRect() const {
    return CRect(0, 0, m_widget->width(), m_widget->height());
}

void Dialog::offerSerialPortNames(int id) {
    auto* edit = qobject_cast<QLineEdit*>(control(id));
    if (edit == nullptr || edit->completer() != nullptr)
        return;
    auto* completer = new QCompleter(platform::listSerialPortNames(), edit);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    edit->setCompleter(completer);
}

const Dialog& dialogPeerOf(const CDialog& dialog) {
    return static_cast<const Dialog&>(dialog.AfxPeer());
}

QDialog& widgetOf(const CDialog& dialog) {
    return dialogPeerOf(dialog).widget();
}

QWidget* controlOf(const CDialog& dialog, int id) {
    return dialogPeerOf(dialog).control(id);
}

}  // namespace afx::qt
