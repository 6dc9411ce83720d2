// Modal dialogs built from a dialog template, with data exchange and a message map for control
// notifications, under the framework's names.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/afx_peer.h"
#include "platform/gui/afxwin.h"
#include "platform/gui/dialog_exchange.h"
#include "platform/gui/qt/dialog_template.h"

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Control notification codes carried with a command.
inline constexpr unsigned BN_CLICKED = 0;
inline constexpr unsigned CBN_SELCHANGE = 1;
inline constexpr unsigned EN_CHANGE = 0x300;

class CDialog;

// One control of a dialog, found by its id. Member objects bind to their control through
// DDX_Control; GetDlgItem hands out the dialog's own wrapper.
class CDialogControl {
public:
    CDialogControl() = default;
    CDialogControl(const CDialogControl&) = delete;
    CDialogControl& operator=(const CDialogControl&) = delete;
    virtual ~CDialogControl() = default;

    // Binds this object to the dialog's control `id`; false when there is no such control.
    bool SubclassDlgItem(int id, CDialog* dialog);
    bool IsBound() const { return m_widget != nullptr; }

    int GetDlgCtrlID() const { return m_id; }
    int EnableWindow(int enable);  // nonzero when the control was disabled before
    int IsWindowEnabled() const;
    void SetWindowText(const char* text);
    // How a static control draws its text.
    void SetAppearance(const afx::ControlAppearance& look);
    // A static control's text is HTML from now on: line breaks, paragraphs and links that open
    // in the browser.
    void ShowRichText();
    QWidget* widget() const { return m_widget; }

protected:
    // Runs once the object is bound to its control.
    virtual void OnSubclassed() {}

private:
    QPointer<QWidget> m_widget;
    int m_id = 0;
};

// A drop-down list.
class CComboBox : public CDialogControl {
public:
    // Appends an item (narrow text) to the unsorted list; its position, or -1 when unbound.
    int AddString(const char* text);
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int position);
};

class CDialog : public QDialog {
    Q_OBJECT
public:
    // Builds the window and its controls from the template; nothing is shown yet.
    explicit CDialog(const platform::DialogTemplate& dialogTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Runs OnInitDialog, then the dialog modally; IDOK, IDCANCEL or the EndDialog code.
    int DoModal();
    void EndDialog(int result);

    virtual int OnInitDialog();
    // Ends the dialog with IDOK once the exchange from the controls succeeds; a failed exchange
    // leaves it open.
    virtual void OnOK();
    virtual void OnCancel();

    // Runs DoDataExchange in the given direction; control notifications that arrive meanwhile are
    // dropped, so a change the exchange makes itself does not start another exchange. 0 when a
    // DDX routine failed.
    int UpdateData(int saveAndValidate = 1);

    CDialogControl* GetDlgItem(int id) const;
    // The text of edit control `id` as a file name in the platform's encoding; false when there
    // is no such control.
    bool GetDlgItemFileName(int id, std::string& name) const;
    void SetDlgItemFileName(int id, const std::string& name);
    // The caption.
    void SetWindowText(const char* text);
    void GetClientRect(RECT* rect) const;
    // Offers the names of the serial ports present as completions of edit control `id`; the
    // ports are listed, never opened.
    void OfferSerialPortNames(int id);
    QWidget* controlWidget(int id) const;

    const platform::DialogTemplate& dialogTemplate() const { return m_template; }
    platform::DialogBaseUnits baseUnits() const { return m_baseUnits; }
    // Pixel rectangle of a template rectangle in this dialog's units.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;

    // A notification from control `id`: the message maps first, then OK and Cancel.
    void OnCommand(int id, unsigned code);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual const DialogMessageMap* GetMessageMap() const;
    // Paints the background of the client area; zero leaves it to the default.
    virtual int OnEraseBkgnd(CDC* pDC);

    void accept() override;
    void reject() override;
    void paintEvent(QPaintEvent* event) override;

private:
    void createControls();
    QWidget* createControl(const platform::DialogControl& control);
    QWidget* firstTabStop() const;

    const platform::DialogTemplate& m_template;
    platform::DialogBaseUnits m_baseUnits{};
    struct Item {
        const platform::DialogControl* control;
        QWidget* widget;
        std::unique_ptr<CDialogControl> wrapper;  // what GetDlgItem hands out
    };
    std::vector<Item> m_items;
    bool m_inUpdateData = false;
};
