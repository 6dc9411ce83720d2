// Windows under the framework's names, declared once for every backend: CWnd (a window with a
// message map, timers and painting), CFrameWnd (a top-level frame with menu bar, accelerators and
// a pane filling its client area) and CPaintDC. The message dispatch, timers' bookkeeping and
// command routing are here; each window holds a peer from the backend (afx_peer.h) that makes
// the native calls and hands the native window's messages to AfxCallWindowProc.
#pragma once

#include <memory>
#include <set>

#include "platform/gui/afx_msgmap.h"
#include "platform/gui/afx_peer.h"
#include "platform/gui/afx_winapp.h"

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;

    // The window object of a native window made by this layer, or null.
    static CWnd* FromHandle(HWND hwnd);

    virtual BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                        const RECT& rect, CWnd* pParentWnd, UINT nID,
                        CCreateContext* pContext = nullptr);
    BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                  const RECT& rect, CWnd* pParentWnd, UINT nID, void* lpParam = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual BOOL DestroyWindow();

    // Returns whether the window was visible before.
    BOOL ShowWindow(int nCmdShow);
    void UpdateWindow();
    // Returns the window that had the focus.
    CWnd* SetFocus();
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
    void Invalidate(BOOL erase = TRUE) { InvalidateRect(nullptr, erase); }
    void GetClientRect(RECT* rect) const;
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    void SetWindowText(LPCSTR text);
    UINT GetDlgCtrlID() const { return m_nID; }
    DWORD GetStyle() const;
    DWORD GetExStyle() const;

    // A window timer delivering WM_TIMER with `nIDEvent`; returns nIDEvent, or 0 on failure.
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, void (*lpfnTimer)() = nullptr);
    BOOL KillTimer(UINT_PTR nIDEvent);
    bool IsTimerRunning(UINT_PTR nIDEvent) const;

    // Delivers a message now through the window procedure, or queues it for the message loop
    // (dropped if the window goes first).
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    HWND GetSafeHwnd() const { return m_hWnd; }
    // Set by the peer once the native window exists, cleared when it is gone.
    HWND m_hWnd = nullptr;

    // ---- for the backend's peer, not for application code ----
    // A message of the native window, through the message map.
    LRESULT AfxCallWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The native window is gone without this object (a parent took it along).
    void AfxDetach();
    // The native window is gone: detaches, ends the message loop if it was the main window, then
    // PostNcDestroy (frames delete themselves there).
    void AfxWindowGone();
    afx::WindowPeer* AfxPeer() const { return m_peer.get(); }

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled.
    LRESULT Default();
    // Called after the window is gone; frames delete themselves here.
    virtual void PostNcDestroy() {}
    // The peer this kind of window needs (a frame's has a menu bar and accelerators).
    virtual std::unique_ptr<afx::WindowPeer> CreatePeer();
    afx::WindowPeer& EnsurePeer();

    DECLARE_MESSAGE_MAP()

private:
    std::unique_ptr<afx::WindowPeer> m_peer;
    UINT m_nID = 0;
    std::set<UINT_PTR> m_timers;
    const AfxMessage* m_currentMessage = nullptr;
    // Cleared by the destructor: a handler may delete its own window (a frame closing for good),
    // and the dispatch that called it must then leave the object alone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;

    // Creates the frame with menu, accelerator table, icon and title of resource `nIDResource`.
    virtual BOOL LoadFrame(UINT nIDResource,
                           DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    // The frame's own table, then the application's.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;

protected:
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnClose();
    void PostNcDestroy() override;
    std::unique_ptr<afx::WindowPeer> CreatePeer() override;

    DECLARE_MESSAGE_MAP()
};

// Painting: only inside a WM_PAINT handler. Draws in client coordinates with the window's font
// and text colour.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    // `count` -1: up to the terminating NUL. Bytes are Latin-1 characters; '\n' breaks the line
    // unless DT_SINGLELINE; text is clipped to `rect` unless DT_NOCLIP. No '&' prefix handling:
    // the text is shown as it is. Returns the height of the drawn text.
    int DrawText(LPCSTR text, int count, RECT* rect, UINT format);

private:
    explicit CPaintDC(std::unique_ptr<afx::PaintPeer> peer);

    std::unique_ptr<afx::PaintPeer> m_peer;
};
