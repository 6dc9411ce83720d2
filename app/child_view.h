// The status view: four lines about the reader (device, open state, loop count, last scan),
// repainted every second once it has been painted for the first time.
#pragma once

#include "platform/gui/afxwin.h"
#include "support/vl_string.h"

class CChildView : public CWnd {
public:
    static constexpr UINT_PTR kRefreshTimer = 1;
    static constexpr UINT kRefreshMs = 1000;
    static constexpr int kMargin = 10;

    CChildView();
    ~CChildView() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

    // The text the next paint draws.
    static vantel::VLString StatusText();

protected:
    afx_msg void OnPaint();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnClose();

    UINT_PTR m_timerId = 0;

    DECLARE_MESSAGE_MAP()
};
