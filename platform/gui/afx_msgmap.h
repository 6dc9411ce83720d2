// Command targets and their static message maps: a table per class from message or command
// identifier to handler, chained to the base class's table.
#pragma once

#include <afx_native_types.h>  // the backend's Win32 types and message numbers (a leaf)

// Marks a message map handler.
#define afx_msg

class CCmdTarget;

// One message on its way to a handler; the handler's result goes back in `result`.
struct AfxMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
};

using AfxHandlerThunk = void (*)(CCmdTarget* target, AfxMessage& message);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // WM_COMMAND for commands; 0 ends the table
    UINT nCode;     // notification code of a command
    UINT nID;       // first command identifier
    UINT nLastID;   // last command identifier (== nID for one command)
    AfxHandlerThunk pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Filled in by OnCmdMsg when asked only whether a command has a handler.
struct AFX_CMDHANDLERINFO {
    CCmdTarget* pTarget = nullptr;
    AfxHandlerThunk pfn = nullptr;
};

class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Looks the command up in this object's message map chain; runs its handler (or, with
    // `pHandlerInfo`, only reports it) and returns TRUE when there is one.
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // The entry for a window message (nMessage != WM_COMMAND) or a command, or null.
    static const AFX_MSGMAP_ENTRY* FindMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code,
                                                    UINT id);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
};

namespace afx_detail {

template <class Pmf>
struct MemberClass;
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...)> {
    using type = C;
};

template <auto Fn>
auto* self(CCmdTarget* target) {
    return static_cast<typename MemberClass<decltype(Fn)>::type*>(target);
}

template <auto Fn>
void callVoid(CCmdTarget* t, AfxMessage&) {
    (self<Fn>(t)->*Fn)();
}
template <auto Fn>
void callCreate(CCmdTarget* t, AfxMessage& m) {
    m.result = (self<Fn>(t)->*Fn)(reinterpret_cast<LPCREATESTRUCT>(m.lParam));
}
template <auto Fn>
void callFocus(CCmdTarget* t, AfxMessage& m) {
    (self<Fn>(t)->*Fn)(reinterpret_cast<CWnd*>(m.wParam));
}
template <auto Fn>
void callTimer(CCmdTarget* t, AfxMessage& m) {
    (self<Fn>(t)->*Fn)(static_cast<UINT_PTR>(m.wParam));
}
template <auto Fn>
void callSize(CCmdTarget* t, AfxMessage& m) {
    (self<Fn>(t)->*Fn)(static_cast<UINT>(m.wParam), static_cast<int>(LOWORD(m.lParam)),
                       static_cast<int>(HIWORD(m.lParam)));
}

}  // namespace afx_detail

#define DECLARE_MESSAGE_MAP()                         \
protected:                                            \
    static const AFX_MSGMAP* GetThisMessageMap();     \
                                                      \
public:                                               \
    const AFX_MSGMAP* GetMessageMap() const override; \
                                                      \
protected:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                     \
    }                                                   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
        using ThisClass [[maybe_unused]] = theClass;    \
        using TheBaseClass = baseClass;                 \
        static const AFX_MSGMAP_ENTRY kMessageEntries[] = {
#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, 0, nullptr }                                                                        \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP kMessageMap = {&TheBaseClass::GetThisMessageMap, &kMessageEntries[0]}; \
    return &kMessageMap;                                                                           \
    }

#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (id), (id), &afx_detail::callVoid<memberFxn>},
#define ON_WM_CREATE() {WM_CREATE, 0, 0, 0, &afx_detail::callCreate<&ThisClass::OnCreate>},
#define ON_WM_SETFOCUS() {WM_SETFOCUS, 0, 0, 0, &afx_detail::callFocus<&ThisClass::OnSetFocus>},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, 0, &afx_detail::callVoid<&ThisClass::OnClose>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, &afx_detail::callVoid<&ThisClass::OnPaint>},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, 0, &afx_detail::callTimer<&ThisClass::OnTimer>},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, 0, &afx_detail::callSize<&ThisClass::OnSize>},
