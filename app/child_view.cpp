#include "app/child_view.h"

#include "app/pelmora.h"
#include "support/vl_string.h"

BEGIN_MESSAGE_MAP(CChildView, CWnd)
ON_WM_PAINT()
ON_WM_TIMER()
ON_WM_CLOSE()
END_MESSAGE_MAP()

CChildView::CChildView() = default;

CChildView::~CChildView() = default;

BOOL CChildView::PreCreateWindow(CREATESTRUCT& cs) {
    if (!CWnd::PreCreateWindow(cs)) {
        return FALSE;
    }
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    cs.style &= ~WS_BORDER;
    cs.lpszClass =
        AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                            AfxSysColorBrush(COLOR_WINDOW + 1), nullptr);
    return TRUE;
}

vantel::VLString CChildView::StatusText() {
    // One accessor call (one lock hold) per value, never across the drawing.
    vantel::VLString text;
    text = "Device: ";
    text += theApp.m_reader.getDeviceName();
    text += "\nState: ";
    text += theApp.m_reader.isOpen() ? "OPEN" : "CLOSED";
    text += "\nLoops: ";
    text += vantel::VLString::valueOf(theApp.m_reader.getLoopCount());
    text += "\nLast Scanned: ";
    text += theApp.m_reader.getLastScanned();
    return text;
}

void CChildView::OnPaint() {
    CPaintDC dc(this);
    const vantel::VLString text = StatusText();
    CRect rect;
    GetClientRect(&rect);
    rect =
        CRect(rect.left + kMargin, rect.top + kMargin, rect.right - kMargin, rect.bottom - kMargin);
    dc.DrawText(text.t_str(), -1, &rect, DT_LEFT | DT_TOP);
    if (m_timerId == 0) {
        m_timerId = SetTimer(kRefreshTimer, kRefreshMs, nullptr);
    }
}

void CChildView::OnTimer(UINT_PTR) {
    InvalidateRect(nullptr, TRUE);
    Default();
}

void CChildView::OnClose() {
    if (m_timerId != 0) {
        KillTimer(m_timerId);
    }
    Default();
}
