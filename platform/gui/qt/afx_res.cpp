#include "platform/gui/qt/afx_res.h"

#include <mutex>
#include <utility>

namespace {

struct Raw {
    const void* data;
    std::size_t size;
};

// Function-local so registrations from other libraries' static initialisers find it built.
struct Table {
    std::mutex mutex;
    std::map<UINT, AfxMenuTemplate> menus;
    std::map<UINT, std::vector<AfxAccelerator>> accelerators;
    std::map<UINT, std::string> strings;
    std::map<UINT, std::vector<std::string>> icons;
    std::map<std::pair<std::string, UINT>, Raw> raw;
    bool haveVersion = false;
    AfxVersionInfo version{};
};

Table& table() {
    static Table t;
    return t;
}

template <class Map>
auto* find(Map& map, UINT id) {
    std::lock_guard<std::mutex> guard(table().mutex);
    auto it = map.find(id);
    return it == map.end() ? nullptr : &it->second;
}

}  // namespace

void AfxRegisterMenu(UINT id, AfxMenuTemplate menu) {
    std::lock_guard<std::mutex> guard(table().mutex);
    table().menus[id] = std::move(menu);
}

void AfxRegisterAccelerators(UINT id, std::vector<AfxAccelerator> accelerators) {
    std::lock_guard<std::mutex> guard(table().mutex);
    table().accelerators[id] = std::move(accelerators);
}

namespace {

// The Qt key of a virtual-key code the tables use; 0 for any other.
int qtKey(unsigned vk) {
    if (vk >= 'A' && vk <= 'Z')
        return Qt::Key_A + int(vk - 'A');
    if (vk >= platform::vk::kF1 && vk <= platform::vk::kF12)
        return Qt::Key_F1 + int(vk - platform::vk::kF1);
    switch (vk) {
        case platform::vk::kBack:
            return Qt::Key_Backspace;
        case platform::vk::kInsert:
            return Qt::Key_Insert;
        case platform::vk::kDelete:
            return Qt::Key_Delete;
        default:
            return 0;
    }
}

}  // namespace

void AfxRegisterAccelerators(UINT id, const std::vector<platform::Accelerator>& table) {
    std::vector<AfxAccelerator> keys;
    for (const platform::Accelerator& accel : table) {
        const int key = qtKey(accel.key);
        if (key == 0)
            continue;
        Qt::KeyboardModifiers modifiers;
        if (accel.control)
            modifiers |= Qt::ControlModifier;
        if (accel.shift)
            modifiers |= Qt::ShiftModifier;
        if (accel.alt)
            modifiers |= Qt::AltModifier;
        keys.push_back({QKeySequence(QKeyCombination(modifiers, Qt::Key(key))), accel.command});
    }
    AfxRegisterAccelerators(id, std::move(keys));
}

void AfxRegisterString(UINT id, std::string text) {
    std::lock_guard<std::mutex> guard(table().mutex);
    table().strings[id] = std::move(text);
}

void AfxRegisterIcon(UINT id, std::vector<std::string> imageFiles) {
    std::lock_guard<std::mutex> guard(table().mutex);
    table().icons[id] = std::move(imageFiles);
}

void AfxRegisterVersionInfo(AfxVersionInfo info) {
    std::lock_guard<std::mutex> guard(table().mutex);
    table().version = std::move(info);
    table().haveVersion = true;
}

void AfxRegisterResource(const std::string& type, UINT id, const void* data, std::size_t size) {
    std::lock_guard<std::mutex> guard(table().mutex);
    table().raw[{type, id}] = Raw{data, size};
}

const AfxMenuTemplate* AfxFindMenu(UINT id) {
    return find(table().menus, id);
}

const std::vector<AfxAccelerator>* AfxFindAccelerators(UINT id) {
    return find(table().accelerators, id);
}

const std::string* AfxFindString(UINT id) {
    return find(table().strings, id);
}

const AfxVersionInfo* AfxFindVersionInfo() {
    std::lock_guard<std::mutex> guard(table().mutex);
    return table().haveVersion ? &table().version : nullptr;
}

const void* AfxFindResource(const std::string& type, UINT id, std::size_t* size) {
    std::lock_guard<std::mutex> guard(table().mutex);
    auto it = table().raw.find({type, id});
    if (it == table().raw.end()) {
        return nullptr;
    }
    if (size != nullptr) {
        *size = it->second.size;
    }
    return it->second.data;
}

QIcon AfxLoadIcon(UINT id) {
    QIcon icon;
    if (const auto* files = find(table().icons, id)) {
        for (const std::string& file : *files) {
            icon.addFile(QString::fromStdString(file));
        }
    }
    return icon;
}
