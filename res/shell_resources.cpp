#include "res/shell_resources.h"

namespace res {

namespace {

// The framework's standard command identifiers, as the resource script writes them.
constexpr unsigned kEditCopy = 0xE122;
constexpr unsigned kEditCut = 0xE123;
constexpr unsigned kEditPaste = 0xE125;
constexpr unsigned kEditUndo = 0xE12B;
constexpr unsigned kAppAbout = 0xE140;
constexpr unsigned kNextPane = 0xE150;
constexpr unsigned kPrevPane = 0xE151;

}  // namespace

const platform::MenuTemplate& mainFrameMenu() {
    static const platform::MenuTemplate menu{{
        {"&File",
         0,
         {
             {"&Hide main window", ID_HIDE_MAIN_WINDOW, {}},
             {"&Options", ID_OPTIONS, {}},
             {},
             {"E&xit", ID_EXIT, {}},
         }},
        {"&Help", 0, {{"&About scanner...", kAppAbout, {}}}},
    }};
    return menu;
}

const platform::MenuTemplate& trayMenu() {
    static const platform::MenuTemplate menu{{
        {"File",
         0,
         {
             {"&Show Main Window", ID_SHOW_MAIN_WINDOW, {}},
             {"&Options", ID_OPTIONS, {}},
             {},
             {"&About scanner...", kAppAbout, {}},
             {},
             {"E&xit", ID_EXIT, {}},
         }},
    }};
    return menu;
}

const std::vector<platform::Accelerator>& mainFrameAccelerators() {
    namespace vk = platform::vk;
    // key, control, shift, alt, command
    static const std::vector<platform::Accelerator> table{
        {'C', true, false, false, kEditCopy},      {vk::kInsert, true, false, false, kEditCopy},
        {'X', true, false, false, kEditCut},       {vk::kDelete, false, true, false, kEditCut},
        {'V', true, false, false, kEditPaste},     {vk::kInsert, false, true, false, kEditPaste},
        {'Z', true, false, false, kEditUndo},      {vk::kBack, false, false, true, kEditUndo},
        {vk::kF6, false, false, false, kNextPane}, {vk::kF6, false, true, false, kPrevPane},
    };
    return table;
}

const std::vector<std::pair<unsigned, std::string>>& strings() {
    static const std::vector<std::pair<unsigned, std::string>> table{
        {IDR_MAINFRAME, "Pelmora Utility"},
    };
    return table;
}

}  // namespace res
