// The tray program's command line, read before any window or display is touched.
#pragma once

#include <string>

struct PelmoraCommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    std::string error;  // Action::Error: what was wrong
};

PelmoraCommandLine parsePelmoraCommandLine(int argc, const char* const* argv);

// --help's text, and the two lines of usage that follow a command-line error.
std::string pelmoraHelp();
std::string pelmoraUsage();
std::string pelmoraVersion();

// Answers --help, --version and a bad command line on the standard streams; the exit status
// when the program ends there, -1 when it is to run.
int answerPelmoraCommandLine(int argc, const char* const* argv);
