#include "platform/gui/afxdlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPalette>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

#include "platform/gui/qt/qt_text.h"
#include "platform/gui/qt/serial_port_names.h"

using platform::ControlKind;
using platform::DialogControl;
using platform::DialogTemplate;

// ---- controls ----

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

bool CDialogControl::SubclassDlgItem(int id, CDialog* dialog) {
    QWidget* widget = dialog ? dialog->controlWidget(id) : nullptr;
    if (widget == nullptr)
        return false;
    m_widget = widget;
    m_id = id;
    OnSubclassed();
    return true;
}

int CDialogControl::EnableWindow(int enable) {
    if (!m_widget)
        return 0;
    const bool wasDisabled = !m_widget->isEnabled();
    m_widget->setEnabled(enable != 0);
    return wasDisabled ? 1 : 0;
}

int CDialogControl::IsWindowEnabled() const {
    return m_widget && m_widget->isEnabled() ? 1 : 0;
}

void CDialogControl::SetWindowText(const char* text) {
    if (!m_widget)
        return;
    const QString value = afx::qt::fromNarrow(text);
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

void CDialogControl::SetAppearance(const afx::ControlAppearance& look) {
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
        QFont font(afx::qt::fromNarrow(look.fontFace));
        if (look.fontPointSize > 0)
            font.setPointSizeF(look.fontPointSize);
        font.setBold(look.fontBold);
        label->setFont(font);
    }
}

void CDialogControl::ShowRichText() {
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

static QComboBox* comboOf(QWidget* widget) {
    return qobject_cast<QComboBox*>(widget);
}

int CComboBox::AddString(const char* text) {
    QComboBox* combo = comboOf(widget());
    if (combo == nullptr)
        return -1;
    combo->addItem(afx::qt::fromNarrow(text));
    return combo->count() - 1;
}

int CComboBox::GetCount() const {
    QComboBox* combo = comboOf(widget());
    return combo ? combo->count() : 0;
}

int CComboBox::GetCurSel() const {
    QComboBox* combo = comboOf(widget());
    return combo ? combo->currentIndex() : -1;
}

int CComboBox::SetCurSel(int position) {
    QComboBox* combo = comboOf(widget());
    if (combo == nullptr || position >= combo->count())
        return -1;
    combo->setCurrentIndex(position < 0 ? -1 : position);
    return combo->currentIndex();
}

// ---- data exchange ----

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    auto* box = qobject_cast<QAbstractButton*>(pDX->m_pDlgWnd->controlWidget(id));
    if (box == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = box->isChecked() ? 1 : 0;
    } else {
        box->setChecked(value != 0);
    }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index) {
    QComboBox* combo = comboOf(pDX->m_pDlgWnd->controlWidget(id));
    if (combo == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        index = combo->currentIndex();
    } else {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
}

void DDX_Control(CDataExchange* pDX, int id, CDialogControl& control) {
    if (!control.IsBound())
        control.SubclassDlgItem(id, pDX->m_pDlgWnd);
}

// ---- the dialog ----

CDialog::CDialog(const DialogTemplate& dialogTemplate, CWnd* pParentWnd)
    : QDialog(pParentWnd != nullptr ? pParentWnd->GetSafeHwnd() : nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_template(dialogTemplate) {
    setWindowTitle(afx::qt::fromNarrow(m_template.caption));
    setFont(platform::dialogFont(m_template));
    m_baseUnits = platform::dialogBaseUnits(font());
    const QRect client = MapDialogRect(0, 0, m_template.cx, m_template.cy);
    setFixedSize(client.size());
    createControls();
}

CDialog::~CDialog() = default;

QRect CDialog::MapDialogRect(int x, int y, int cx, int cy) const {
    return platform::mapDialogRect(x, y, cx, cy, m_baseUnits);
}

void CDialog::createControls() {
    QWidget* previous = nullptr;
    for (std::size_t i = 0; i < m_template.controlCount; ++i) {
        const DialogControl& control = m_template.controls[i];
        QWidget* widget = createControl(control);
        auto wrapper = std::make_unique<CDialogControl>();
        m_items.push_back(Item{&control, widget, std::move(wrapper)});
        m_items.back().wrapper->SubclassDlgItem(control.id, this);
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

QWidget* CDialog::createControl(const DialogControl& control) {
    const QString text = afx::qt::fromNarrow(control.text);
    QRect rect = MapDialogRect(control.x, control.y, control.cx, control.cy);
    QWidget* widget = nullptr;
    const int id = control.id;
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(true);
            button->setDefault(control.kind == ControlKind::DefPushButton);
            connect(button, &QAbstractButton::clicked, this,
                    [this, id] { OnCommand(id, BN_CLICKED); });
            widget = button;
            break;
        }
        case ControlKind::AutoCheckBox: {
            auto* box = new TemplateCheckBox(text, this);
            connect(box, &QAbstractButton::clicked, this,
                    [this, id] { OnCommand(id, BN_CLICKED); });
            widget = box;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, this);
            edit->setFrame((control.style & platform::style::kBorder) != 0);
            connect(edit, &QLineEdit::textChanged, this, [this, id] { OnCommand(id, EN_CHANGE); });
            widget = edit;
            break;
        }
        case ControlKind::DropDownList: {
            auto* combo = new QComboBox(this);
            // A scrolling list below the field, as tall as the template allows, rather than a popup
            // placed over the field.
            combo->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
            const int closedHeight = std::min(combo->sizeHint().height(), rect.height());
            const int itemHeight = std::max(1, QFontMetrics(font()).height() + 2);
            combo->setMaxVisibleItems(std::max(1, (rect.height() - closedHeight) / itemHeight));
            rect.setHeight(closedHeight);
            connect(combo, qOverload<int>(&QComboBox::activated), this,
                    [this, id] { OnCommand(id, CBN_SELCHANGE); });
            widget = combo;
            break;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            Qt::Alignment alignment =
                (control.style & platform::style::kCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
            alignment |=
                (control.style & platform::style::kCenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
            label->setAlignment(alignment);
            // Static text wraps at word boundaries when there is room for more than one line.
            label->setWordWrap(rect.height() >= 2 * QFontMetrics(font()).height());
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

QWidget* CDialog::controlWidget(int id) const {
    for (const Item& item : m_items) {
        if (item.control->id == id)
            return item.widget;
    }
    return nullptr;
}

CDialogControl* CDialog::GetDlgItem(int id) const {
    for (const Item& item : m_items) {
        if (item.control->id == id)
            return item.wrapper.get();
    }
    return nullptr;
}

bool CDialog::GetDlgItemFileName(int id, std::string& name) const {
    auto* edit = qobject_cast<QLineEdit*>(controlWidget(id));
    if (edit == nullptr)
        return false;
    name = afx::qt::toFileName(edit->text());
    return true;
}

void CDialog::SetDlgItemFileName(int id, const std::string& name) {
    if (auto* edit = qobject_cast<QLineEdit*>(controlWidget(id)))
        edit->setText(afx::qt::fromFileName(name));
}

QWidget* CDialog::firstTabStop() const {
    for (const Item& item : m_items) {
        if ((item.control->style & platform::style::kTabStop) && item.widget->isEnabled()) {
            return item.widget;
        }
    }
    return nullptr;
}

int CDialog::DoModal() {
    if (OnInitDialog()) {
        if (QWidget* first = firstTabStop())
            first->setFocus(Qt::TabFocusReason);
    }
    return exec();
}

void CDialog::EndDialog(int result) {
    done(result);
}

int CDialog::OnInitDialog() {
    UpdateData(0);
    return 1;
}

void CDialog::OnOK() {
    if (!UpdateData(1))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

int CDialog::UpdateData(int saveAndValidate) {
    const bool outer = m_inUpdateData;
    m_inUpdateData = true;
    CDataExchange exchange(this, saveAndValidate != 0);
    DoDataExchange(&exchange);
    m_inUpdateData = outer;
    return exchange.failed() ? 0 : 1;
}

void CDialog::DoDataExchange(CDataExchange*) {}

const DialogMessageMap* CDialog::GetMessageMap() const {
    return nullptr;
}

int CDialog::OnEraseBkgnd(CDC*) {
    return 0;
}

void CDialog::OnCommand(int id, unsigned code) {
    if (m_inUpdateData)
        return;
    for (const DialogMessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const DialogMessageEntry& entry = map->entries[i];
            if (entry.code == code && id >= entry.firstId && id <= entry.lastId) {
                entry.handler(*this, unsigned(id));
                return;
            }
        }
    }
    if (code == BN_CLICKED && id == IDOK) {
        OnOK();
    } else if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
    }
}

// Enter (the default button) and Esc or the close box arrive here from QDialog.
void CDialog::accept() {
    OnOK();
}
void CDialog::reject() {
    OnCancel();
}

void CDialog::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    CDC dc(&painter);
    if (!OnEraseBkgnd(&dc))
        QDialog::paintEvent(event);
}

void CDialog::SetWindowText(const char* text) {
    setWindowTitle(afx::qt::fromNarrow(text));
}

void CDialog::GetClientRect(RECT* rect) const {
    if (rect != nullptr)
        *rect = CRect(0, 0, width(), height());
}

void CDialog::OfferSerialPortNames(int id) {
    auto* edit = qobject_cast<QLineEdit*>(controlWidget(id));
    if (edit == nullptr || edit->completer() != nullptr)
        return;
    auto* completer = new QCompleter(platform::listSerialPortNames(), edit);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    edit->setCompleter(completer);
}
