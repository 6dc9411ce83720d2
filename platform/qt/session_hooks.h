// What the Qt application adds to the program's start: a plain word when there is no display,
// and the program's own windows holding the focus.
#pragma once

// Lives across the construction of the QApplication: if Qt finds no display it would abort with
// a page of plugin advice; this says so in one line and exits with status 1 instead. Messages
// Qt gives meanwhile are passed on once the application is made.
class AfxNoDisplayExit {
public:
    explicit AfxNoDisplayExit(const char* program);
    ~AfxNoDisplayExit();
    AfxNoDisplayExit(const AfxNoDisplayExit&) = delete;
    AfxNoDisplayExit& operator=(const AfxNoDisplayExit&) = delete;
    // The application exists: hands Qt's messages back to their usual handler.
    void done();
};

// Keeps setOwnWindowActive in step with the application's activation.
void AfxTrackOwnFocus();
