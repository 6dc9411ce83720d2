// res/pelmora.rc against res/dialog_templates.cpp: the two descriptions of dialogs 100 and 102
// must agree control by control (order, which is the tab order; id; class; text; style;
// extended style; position), as must the dialogs' caption, font, size and styles. Likewise the
// menus, the accelerator table and the strings against res/shell_resources.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "res/dialog_templates.h"
#include "res/shell_resources.h"

namespace {

using platform::ControlKind;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Names a resource script may use: the Windows headers' values, written out here rather than
// taken from our own constants, and the #defines of res/resource.h.
class Names {
public:
    Names() {
        m_values = {{"WS_POPUP", 0x80000000},
                    {"WS_CHILD", 0x40000000},
                    {"WS_VISIBLE", 0x10000000},
                    {"WS_CAPTION", 0x00C00000},
                    {"WS_BORDER", 0x00800000},
                    {"WS_VSCROLL", 0x00200000},
                    {"WS_SYSMENU", 0x00080000},
                    {"WS_GROUP", 0x00020000},
                    {"WS_TABSTOP", 0x00010000},
                    {"DS_MODALFRAME", 0x80},
                    {"DS_SETFONT", 0x40},
                    {"DS_FIXEDSYS", 0x08},
                    {"WS_EX_TRANSPARENT", 0x20},
                    {"WS_EX_APPWINDOW", 0x40000},
                    {"BS_PUSHBUTTON", 0},
                    {"BS_DEFPUSHBUTTON", 1},
                    {"BS_AUTOCHECKBOX", 3},
                    {"ES_LEFT", 0},
                    {"ES_AUTOHSCROLL", 0x80},
                    {"CBS_DROPDOWNLIST", 3},
                    {"SS_LEFT", 0},
                    {"SS_CENTER", 1},
                    {"SS_NOPREFIX", 0x80},
                    {"SS_CENTERIMAGE", 0x200},
                    {"IDOK", 1},
                    {"IDCANCEL", 2},
                    {"VK_BACK", 0x08},
                    {"VK_INSERT", 0x2D},
                    {"VK_DELETE", 0x2E},
                    {"VK_F6", 0x75}};
        // The script's own #defines (the framework's command ids) and the header's.
        for (const char* file : {PELMORA_RES_DIR "/resource.h", PELMORA_RES_DIR "/pelmora.rc"}) {
            std::istringstream header(readFile(file));
            std::string line;
            while (std::getline(header, line)) {
                std::istringstream words(line);
                std::string directive, name, value;
                if (words >> directive >> name >> value && directive == "#define")
                    m_values[name] =
                        std::stoll(value.front() == '(' ? value.substr(1) : value, nullptr, 0);
            }
        }
    }

    // `A | B | 0x10`; an unknown name fails the test rather than counting as zero.
    std::uint32_t eval(const std::string& expression) const {
        std::uint32_t value = 0;
        std::istringstream terms(expression);
        std::string term;
        while (std::getline(terms, term, '|')) {
            term = trim(term);
            if (!term.empty() &&
                (std::isdigit(static_cast<unsigned char>(term[0])) || term[0] == '-')) {
                value |= static_cast<std::uint32_t>(std::stoll(term, nullptr, 0));
                continue;
            }
            const auto found = m_values.find(term);
            if (found == m_values.end())
                throw std::runtime_error("unknown name in the resource script: " + term);
            value |= static_cast<std::uint32_t>(found->second);
        }
        return value;
    }

private:
    std::map<std::string, long long> m_values;
};

// Splits at commas outside double quotes; quoted fields keep their quotes.
std::vector<std::string> fields(const std::string& text) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == ',' && !quoted) {
            out.emplace_back();
            continue;
        }
        out.back() += c;
    }
    for (auto& field : out)
        field = trim(field);
    return out;
}

std::string unquote(const std::string& field) {
    if (field.size() < 2 || field.front() != '"' || field.back() != '"')
        throw std::runtime_error("expected a quoted text: " + field);
    return field.substr(1, field.size() - 2);
}

struct RcControl {
    std::string text, className;
    int id;
    std::uint32_t style, exStyle;
    int x, y, cx, cy;
};

struct RcDialog {
    std::uint32_t style = 0, exStyle = 0;
    std::string caption, fontFace;
    int fontPointSize = 0, cx = 0, cy = 0;
    std::vector<RcControl> controls;
};

// The DIALOGEX resource `id` of the script, or a failure.
RcDialog readDialog(unsigned id) {
    const Names names;
    std::istringstream script(readFile(PELMORA_RES_DIR "/pelmora.rc"));
    std::string line;
    RcDialog dialog;
    bool inside = false, body = false;
    while (std::getline(script, line)) {
        line = trim(line);
        if (!inside) {
            const auto at = line.find(" DIALOGEX ");
            if (at != std::string::npos && names.eval(line.substr(0, at)) == id) {
                const auto size = fields(line.substr(at + 10));
                dialog.cx = std::stoi(size.at(2));
                dialog.cy = std::stoi(size.at(3));
                inside = true;
            }
            continue;
        }
        auto keyword = [&](const char* word) {
            return line.rfind(word, 0) == 0 ? trim(line.substr(std::string(word).size())) : "";
        };
        if (line == "BEGIN") {
            body = true;
        } else if (line == "END") {
            return dialog;
        } else if (!body && !keyword("STYLE").empty()) {
            dialog.style = names.eval(keyword("STYLE"));
        } else if (!body && !keyword("EXSTYLE").empty()) {
            dialog.exStyle = names.eval(keyword("EXSTYLE"));
        } else if (!body && !keyword("CAPTION").empty()) {
            dialog.caption = unquote(keyword("CAPTION"));
        } else if (!body && !keyword("FONT").empty()) {
            const auto font = fields(keyword("FONT"));
            dialog.fontPointSize = std::stoi(font.at(0));
            dialog.fontFace = unquote(font.at(1));
        } else if (body && !keyword("CONTROL").empty()) {
            const auto f = fields(keyword("CONTROL"));
            if (f.size() != 8 && f.size() != 9)
                throw std::runtime_error("a CONTROL needs 8 or 9 fields: " + line);
            dialog.controls.push_back({unquote(f[0]), unquote(f[2]),
                                       static_cast<int>(names.eval(f[1])), names.eval(f[3]),
                                       f.size() == 9 ? names.eval(f[8]) : 0u, std::stoi(f[4]),
                                       std::stoi(f[5]), std::stoi(f[6]), std::stoi(f[7])});
        } else if (body && !line.empty() && line.rfind("//", 0) != 0) {
            throw std::runtime_error("only CONTROL statements are read: " + line);
        }
    }
    throw std::runtime_error("no complete DIALOGEX " + std::to_string(id) + " in the script");
}

// Window class and type bits of each kind; for statics the type bits are the template's own.
struct KindInScript {
    const char* className;
    std::uint32_t typeMask;
    std::uint32_t type;
};

KindInScript inScript(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
            return {"Button", 0xF, 0};
        case ControlKind::DefPushButton:
            return {"Button", 0xF, 1};
        case ControlKind::AutoCheckBox:
            return {"Button", 0xF, 3};
        case ControlKind::Edit:
            return {"Edit", 0, 0};
        case ControlKind::DropDownList:
            return {"ComboBox", 0x3, 3};
        case ControlKind::Static:
            return {"Static", 0, 0};
    }
    return {"?", 0, 0};
}

void expectSameDialog(unsigned id) {
    SCOPED_TRACE("dialog " + std::to_string(id));
    const platform::DialogTemplate* data = res::findDialogTemplate(id);
    ASSERT_NE(data, nullptr);
    const RcDialog rc = readDialog(id);
    EXPECT_EQ(rc.caption, data->caption);
    EXPECT_EQ(rc.fontFace, data->fontFace);
    EXPECT_EQ(rc.fontPointSize, data->fontPointSize);
    EXPECT_EQ(rc.cx, data->cx);
    EXPECT_EQ(rc.cy, data->cy);
    EXPECT_EQ(rc.style, data->style);
    EXPECT_EQ(rc.exStyle, data->exStyle);
    ASSERT_EQ(rc.controls.size(), data->controlCount);
    constexpr std::uint32_t kChild = 0x40000000;
    for (std::size_t i = 0; i < data->controlCount; ++i) {
        const platform::DialogControl& want = data->controls[i];
        const RcControl& got = rc.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (" + got.text + ")");
        const KindInScript kind = inScript(want.kind);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.className, kind.className);
        EXPECT_EQ(got.text, want.text != nullptr ? want.text : "");
        EXPECT_EQ(got.style & kind.typeMask, kind.type);
        EXPECT_TRUE(got.style & kChild);
        EXPECT_EQ(got.style & ~kind.typeMask & ~kChild, want.style);
        EXPECT_EQ(got.exStyle, want.exStyle);
        EXPECT_EQ((std::vector<int>{got.x, got.y, got.cx, got.cy}),
                  (std::vector<int>{want.x, want.y, want.cx, want.cy}));
    }
}

TEST(ResourceScript, DialogsMatchTheTemplatesControlByControl) {
    expectSameDialog(res::kOptionsDialogId);
    expectSameDialog(res::kAboutDialogId);
}

// The lines between BEGIN and the matching END after the line `header`, nesting kept.
std::vector<std::string> block(const std::string& header) {
    std::istringstream script(readFile(PELMORA_RES_DIR "/pelmora.rc"));
    std::string line;
    while (std::getline(script, line)) {
        if (trim(line) == header)
            break;
    }
    std::vector<std::string> lines;
    int depth = 0;
    while (std::getline(script, line)) {
        line = trim(line);
        if (line.empty() || line.rfind("//", 0) == 0)
            continue;
        if (line == "BEGIN" && depth++ == 0)
            continue;
        if (line == "END" && --depth == 0)
            return lines;
        lines.push_back(line);
    }
    throw std::runtime_error("no complete block after " + header);
}

// The MENU resource as the same structure as the data.
std::vector<platform::MenuItem> readMenu(const std::string& name) {
    const Names names;
    std::vector<std::vector<platform::MenuItem>*> open;
    std::vector<platform::MenuItem> items;
    open.push_back(&items);
    for (const std::string& line : block(name + " MENU")) {
        if (line == "BEGIN") {
            open.push_back(&open.back()->back().popup);
        } else if (line == "END") {
            open.pop_back();
        } else if (line == "MENUITEM SEPARATOR") {
            open.back()->push_back({});
        } else if (line.rfind("POPUP ", 0) == 0) {
            open.back()->push_back({unquote(trim(line.substr(6))), 0, {}});
        } else if (line.rfind("MENUITEM ", 0) == 0) {
            const auto f = fields(line.substr(9));
            open.back()->push_back({unquote(f.at(0)), names.eval(f.at(1)), {}});
        } else {
            throw std::runtime_error("unexpected in a menu: " + line);
        }
    }
    return items;
}

void expectSameItems(const std::vector<platform::MenuItem>& got,
                     const std::vector<platform::MenuItem>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i) + " (" + want[i].text + ")");
        EXPECT_EQ(got[i].text, want[i].text);
        EXPECT_EQ(got[i].id, want[i].id);
        expectSameItems(got[i].popup, want[i].popup);
    }
}

TEST(ResourceScript, MenusAcceleratorsAndStringsMatchTheData) {
    expectSameItems(readMenu("IDR_MAINFRAME"), res::mainFrameMenu().items);
    expectSameItems(readMenu("IDR_TRAYMENU"), res::trayMenu().items);

    const Names names;
    std::vector<std::string> got, want;
    for (const std::string& line : block("IDR_MAINFRAME ACCELERATORS")) {
        const auto f = fields(line);
        const unsigned key =
            f.at(0).front() == '"' ? unsigned(unquote(f[0]).at(0)) : names.eval(f[0]);
        std::string flags;
        for (std::size_t i = 2; i < f.size(); ++i)
            flags += f[i] + " ";
        got.push_back(std::to_string(key) + " " + std::to_string(names.eval(f.at(1))) + " " +
                      flags);
    }
    for (const platform::Accelerator& a : res::mainFrameAccelerators()) {
        std::string flags = "VIRTKEY ";
        flags += a.control ? "CONTROL " : "";
        flags += a.shift ? "SHIFT " : "";
        flags += a.alt ? "ALT " : "";
        want.push_back(std::to_string(a.key) + " " + std::to_string(a.command) + " " + flags +
                       "NOINVERT ");
    }
    EXPECT_EQ(got, want);

    std::vector<std::pair<unsigned, std::string>> strings;
    for (const std::string& line : block("STRINGTABLE")) {
        const auto space = line.find(' ');
        strings.emplace_back(names.eval(line.substr(0, space)), unquote(trim(line.substr(space))));
    }
    EXPECT_EQ(strings, res::strings());
}

TEST(ResourceScript, AboutPictureIsTheCommittedJpeg) {
    const std::string script = readFile(PELMORA_RES_DIR "/pelmora.rc");
    EXPECT_NE(script.find("IDR_ABOUT_PICTURE JPG \"about_picture.jpg\""), std::string::npos);
    const std::string jpeg = readFile(PELMORA_RES_DIR "/about_picture.jpg");
    ASSERT_GE(jpeg.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
}

}  // namespace
