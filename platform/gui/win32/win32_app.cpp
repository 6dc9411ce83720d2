#include "platform/gui/afxwin.h"

#include <objbase.h>
#include <ole2.h>

#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/gui/win32/shell_seams.h"
#include "platform/gui/win32/win32_peers.h"

AfxShellCalls& AfxShell() {
    static AfxShellCalls calls;
    return calls;
}

std::vector<AfxShellObject*>& afx::win32::shellObjects() {
    static std::vector<AfxShellObject*> objects;
    return objects;
}

namespace {

using afx::win32::shellObjects;

void (*g_sessionEnd)() = nullptr;

struct ClassNames {
    std::mutex mutex;
    std::set<std::string> names;  // stable storage for the returned names
};

ClassNames& classNames() {
    static ClassNames names;
    return names;
}

}  // namespace

HINSTANCE AfxGetResourceHandle() {
    return ::GetModuleHandleW(nullptr);
}

LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    const std::string name = "Afx:" + std::to_string(classStyle) + ":" +
                             std::to_string(reinterpret_cast<UINT_PTR>(cursor)) + ":" +
                             std::to_string(reinterpret_cast<UINT_PTR>(background)) + ":" +
                             std::to_string(reinterpret_cast<UINT_PTR>(icon));
    std::lock_guard<std::mutex> guard(classNames().mutex);
    auto [it, added] = classNames().names.insert(name);
    if (added) {
        const std::wstring wide = afx::widen(name.c_str());
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = classStyle;
        wc.lpfnWndProc = &afx::win32::windowProcedure;
        wc.hInstance = AfxGetResourceHandle();
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.hIcon = icon;
        wc.lpszClassName = wide.c_str();
        ::RegisterClassExW(&wc);
    }
    return it->c_str();
}

// ---------------------------------------------------------------------------------------------
// CWinApp

void AfxPostQuitMessage(int exitCode) {
    ::PostQuitMessage(exitCode);
}

void AfxSetSessionEndHandler(void (*handler)()) {
    g_sessionEnd = handler;
}

void AfxPumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void AfxInitFramework() {
    static bool done = false;
    if (done)
        return;
    done = true;
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);
}

void AfxEndSession() {
    static bool ending = false;
    if (ending)
        return;
    ending = true;
    if (g_sessionEnd != nullptr)
        g_sessionEnd();
    CWinApp* app = AfxGetApp();
    const int code = app != nullptr ? app->ExitInstance() : 0;
    AfxTermFramework();
    AfxShell().exitProcess(static_cast<UINT>(code));
}

BOOL AfxEnableControlContainer(void*) {
    return TRUE;
}

void AfxRegisterShellObject(AfxShellObject* object) {
    shellObjects().push_back(object);
}

void AfxUnregisterShellObject(AfxShellObject* object) {
    auto& objects = shellObjects();
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        if (*it == object) {
            objects.erase(it);
            return;
        }
    }
}

void AfxTermFramework() {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd != nullptr)
        app->m_pMainWnd->DestroyWindow();
    const std::vector<AfxShellObject*> objects = shellObjects();
    for (AfxShellObject* object : objects)
        object->OnFrameworkTerm();
}
