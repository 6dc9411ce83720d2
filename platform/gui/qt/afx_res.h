// The program's resources (menus, accelerator tables, strings, icons, version information and
// any other typed resource), registered by the resource library at static initialisation and
// looked up by identifier, as a module's resource section would be.
#pragma once

#include <QIcon>
#include <QKeySequence>
#include <map>
#include <string>
#include <vector>

#include "platform/gui/afx_msgmap.h"
#include "platform/gui/menu_template.h"

using AfxMenuItem = platform::MenuItem;
using AfxMenuTemplate = platform::MenuTemplate;

struct AfxAccelerator {
    QKeySequence keys;
    UINT command;
};

struct AfxVersionInfo {
    WORD fileVersion[4];
    WORD productVersion[4];
    std::map<std::string, std::string> strings;  // "FileVersion", "CompanyName"...
};

// Registration, once per resource; a later registration of the same id replaces the earlier.
void AfxRegisterMenu(UINT id, AfxMenuTemplate menu);
void AfxRegisterAccelerators(UINT id, std::vector<AfxAccelerator> table);
// A table written as virtual-key codes.
void AfxRegisterAccelerators(UINT id, const std::vector<platform::Accelerator>& table);
void AfxRegisterString(UINT id, std::string text);
// Image files (any format Qt reads, e.g. ":/res/..." or a path), one per size.
void AfxRegisterIcon(UINT id, std::vector<std::string> imageFiles);
void AfxRegisterVersionInfo(AfxVersionInfo info);
// Any other resource: raw bytes of a named type ("JPG"...), or a pointer to a typed template.
void AfxRegisterResource(const std::string& type, UINT id, const void* data, std::size_t size);

// Null when there is no such resource.
const AfxMenuTemplate* AfxFindMenu(UINT id);
const std::vector<AfxAccelerator>* AfxFindAccelerators(UINT id);
const std::string* AfxFindString(UINT id);
const AfxVersionInfo* AfxFindVersionInfo();
const void* AfxFindResource(const std::string& type, UINT id, std::size_t* size = nullptr);
// A null icon when there is no such resource. Needs the application object.
QIcon AfxLoadIcon(UINT id);

// Runs `fn` during static initialisation of the resource library.
struct AfxResourceRegistrar {
    explicit AfxResourceRegistrar(void (*fn)()) { fn(); }
};
