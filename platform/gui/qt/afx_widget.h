// The bridge from a Qt widget to the CWnd that owns it: events become window messages.
// A window's widget type is AfxWidget<QWidget subclass> (QFrame for plain windows, QMainWindow
// for frames, QDialog for dialogs).
#pragma once

#include <QEvent>
#include <QPaintEvent>
#include <utility>

#include "platform/gui/afxwin.h"

template <class Base>
class AfxWidget : public Base {
public:
    template <class... Args>
    explicit AfxWidget(Args&&... args) : Base(std::forward<Args>(args)...) {}

protected:
    bool event(QEvent* e) override {
        if (CWnd* wnd = CWnd::FromHandle(this)) {
            if (wnd->HandleQtEvent(e)) {
                return true;
            }
        }
        return Base::event(e);
    }
    void paintEvent(QPaintEvent* e) override {
        Base::paintEvent(e);
        if (CWnd* wnd = CWnd::FromHandle(this)) {
            wnd->HandleQtPaint(e);
        }
    }
};
