#include "app/command_line.h"

#include <cstdio>
#include <cstring>

#include "settings/product_info.h"
#include "support/vl_app_config.h"

namespace {

// The windowing toolkit's own options (X toolkit conventions, Qt's -platform); it takes them
// out of the command line itself. True when `arg` is one; `takesValue` when a value follows.
bool isToolkitOption(const std::string& arg, bool& takesValue) {
    static const char* const withValue[] = {"-platform",
                                            "-platformpluginpath",
                                            "-platformtheme",
                                            "-plugin",
                                            "-display",
                                            "-geometry",
                                            "-qwindowgeometry",
                                            "-qwindowicon",
                                            "-qwindowtitle",
                                            "-style",
                                            "-stylesheet",
                                            "-session",
                                            "-name",
                                            "-title"};
    static const char* const alone[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    const std::string name = arg.substr(0, arg.find('='));
    for (const char* option : withValue) {
        if (name == option || name == std::string("-") + option) {
            takesValue = name.size() == arg.size();
            return true;
        }
    }
    for (const char* option : alone) {
        if (arg == option) {
            takesValue = false;
            return true;
        }
    }
    return false;
}

}  // namespace

PelmoraCommandLine parsePelmoraCommandLine(int argc, const char* const* argv) {
    PelmoraCommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool takesValue = false;
        if (arg == "-h" || arg == "--help") {
            line.action = PelmoraCommandLine::Action::Help;
            return line;
        }
        if (arg == "-V" || arg == "--version") {
            line.action = PelmoraCommandLine::Action::Version;
        } else if (arg == "-v" || arg == "--verbose") {
            continue;
        } else if (isToolkitOption(arg, takesValue)) {
            if (takesValue && ++i >= argc) {
                return {PelmoraCommandLine::Action::Error, arg + " needs a value"};
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return {PelmoraCommandLine::Action::Error, "unknown option '" + arg + "'"};
        } else {
            return {PelmoraCommandLine::Action::Error, "unexpected argument '" + arg + "'"};
        }
    }
    return line;
}

std::string pelmoraUsage() {
    return "Usage: pelmora [--verbose]\n"
           "       pelmora --help | --version\n";
}

std::string pelmoraHelp() {
    return pelmoraUsage() +
           "\n"
           "The tray program: reads the barcode scanner named in its Options and types every\n"
           "scan into the window that has the keyboard focus.\n"
           "\n"
           "  -v, --verbose  say why the scanner's port is not open, and each later connection\n"
           "                 event, on standard error\n"
           "  -h, --help     show this text\n"
           "  -V, --version  show the version\n"
           "\n"
           "It needs a desktop session; pelmorad reads the scanner without one.\n";
}

std::string pelmoraVersion() {
    const util::VLAppInfo info(kProductId, 0, kProductName, kVersionMajor, kVersionMinor,
                               kVersionRelease, kVersionBuild);
    return std::string("pelmora (") + kProductName + ") " +
           info.version("%m.%n.%r build %b").bytes() + "\n";
}

int answerPelmoraCommandLine(int argc, const char* const* argv) {
    const PelmoraCommandLine line = parsePelmoraCommandLine(argc, argv);
    switch (line.action) {
        case PelmoraCommandLine::Action::Run:
            return -1;
        case PelmoraCommandLine::Action::Help:
            std::fputs(pelmoraHelp().c_str(), stdout);
            return 0;
        case PelmoraCommandLine::Action::Version:
            std::fputs(pelmoraVersion().c_str(), stdout);
            return 0;
        case PelmoraCommandLine::Action::Error:
            std::fprintf(stderr, "pelmora: %s\n%s", line.error.c_str(), pelmoraUsage().c_str());
            return 2;
    }
    return -1;
}
