#include "support/ui/ddx_text.h"

#include <string>

void DDX_Text(CDataExchange* pDX, int id, vantel::VLString& value) {
    if (pDX->m_bSaveAndValidate) {
        std::string bytes;
        if (pDX->m_pDlgWnd->GetDlgItemFileName(id, bytes))
            value = vantel::VLString(bytes);
    } else {
        pDX->m_pDlgWnd->SetDlgItemFileName(id, value.bytes());
    }
}
