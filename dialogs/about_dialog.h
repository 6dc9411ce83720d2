// The About box: product name, version line, notice and support link over the About picture.
#pragma once

#include "platform/gui/afxdlg.h"
#include "support/ui/color_static.h"
#include "support/ui/html_static.h"
#include "support/ui/picture.h"

class AboutDialog : public CDialog {
public:
    explicit AboutDialog(CWnd* pParent = nullptr);
    ~AboutDialog() override;

    const CPicture& picture() const { return m_picture; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    int OnEraseBkgnd(CDC* pDC) override;

private:
    CColorStatic m_title;
    CHtmlStatic m_info;
    CPicture m_picture;
};
