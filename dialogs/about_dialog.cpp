#include "dialogs/about_dialog.h"

#include "res/dialog_templates.h"
#include "settings/scanner_settings.h"

namespace {

constexpr const char* kCopyrightNotice = "Copyright &copy; 2026 Vantel. All rights reserved.";

}  // namespace

AboutDialog::AboutDialog(CWnd* pParent)
    : CDialog(res::aboutDialogTemplate(), pParent),
      m_title(kDefaultColor, kDefaultColor, CColorStatic::noBorder),
      m_info(kDefaultColor, kDefaultColor, CColorStatic::noBorder) {}

AboutDialog::~AboutDialog() = default;

void AboutDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, res::kAboutInfoId, m_info);
    DDX_Control(pDX, res::kAboutTitleId, m_title);
    if (pDX->m_bSaveAndValidate)
        return;

    m_picture.Load(res::kAboutPictureId, nullptr, nullptr);

    const vantel::VLString& web = theConfig.webAddress();
    vantel::VLString info = theConfig.product().version("%t v%m.%n.%r build %b");
    info += "<br>";
    info += kCopyrightNotice;
    info += "<p>For more information and support visit <a href=\"";
    info += web;
    info += "\">";
    info += web;
    info += "</a>.";

    m_info.SetPadding(4);
    m_info.SetBackgroundColor(0xFFFFFF);
    m_info.SetWindowText(info);

    m_title.SetBackgroundColor(kNoFillColor);
    m_title.SetTextColor(0x800000);
    m_title.SetFontInfo("Arial", 24.0, 1, nullptr);
    m_title.SetWindowText(theConfig.product().name());

    SetWindowText("About Pelmora");
}

int AboutDialog::OnEraseBkgnd(CDC* pDC) {
    CRect client;
    GetClientRect(&client);
    if (m_picture.IsLoaded()) {
        m_picture.Render(pDC, client, nullptr);
    } else {
        pDC->FillSolidRect(client, 0xFFFFFF);
    }
    return 1;
}
