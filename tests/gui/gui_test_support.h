// Helpers for the windowing tests: modal dialogs answered from a timer under a watchdog, and
// finding text pixels in rendered windows.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QRect>
#include <QTimer>
#include <functional>

namespace guitest {

// Runs `command`, which is expected to open a modal dialog, and answers the first modal dialog
// with accept or reject. A watchdog rejects whatever is still modal after `limitMs`, so a
// failed check can never leave the run waiting. Returns whether a modal dialog was seen.
inline bool answerModal(const std::function<void()>& command, bool accept, int limitMs = 20000) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            seen = true;
            poll.stop();
            accept ? dialog->accept() : dialog->reject();
        }
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
        }
    });
    poll.start();
    watchdog.start(limitMs);
    command();
    return seen;
}

// Bounding box of the pixels that differ clearly from `background`, inside `area`.
inline QRect inkBounds(const QImage& image, QColor background, QRect area) {
    QRect bounds;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            const int d = std::abs(c.red() - background.red()) +
                          std::abs(c.green() - background.green()) +
                          std::abs(c.blue() - background.blue());
            if (d > 60) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

}  // namespace guitest
