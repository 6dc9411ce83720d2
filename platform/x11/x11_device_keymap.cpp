// The XTest sink's keymap: the XTest device's keymap read through XKB, the keysyms the layout
// lacks bound on its spare keys and given back, and layout changes noticed.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include "platform/x11/x11_xtest_sink.h"

namespace platform::x11 {

namespace {

Keymap snapshotOf(XkbDescPtr xkb) {
    Keymap m;
    m.minKeycode = xkb->min_key_code;
    m.maxKeycode = xkb->max_key_code;
    for (int i = 0; i < xkb->map->num_types; ++i) {
        const XkbKeyTypeRec& t = xkb->map->types[i];
        x11::KeyType type;
        type.mask = t.mods.mask;
        for (int j = 0; j < t.map_count; ++j) {
            if (!t.map[j].active) {
                continue;
            }
            type.entries.push_back(
                {t.map[j].mods.mask, t.map[j].level, t.preserve ? t.preserve[j].mask : 0u});
        }
        m.types.push_back(std::move(type));
    }
    for (int kc = m.minKeycode; kc <= m.maxKeycode; ++kc) {
        x11::Key key;
        const int groups = XkbKeyNumGroups(xkb, kc);
        for (int g = 0; g < groups; ++g) {
            x11::KeyGroup group;
            group.type = XkbKeyKeyTypeIndex(xkb, kc, g);
            const int width = XkbKeyGroupWidth(xkb, kc, g);
            for (int level = 0; level < width; ++level) {
                group.levels.push_back(static_cast<Keysym>(XkbKeySymEntry(xkb, kc, level, g)));
            }
            key.groups.push_back(std::move(group));
        }
        const unsigned info = XkbKeyGroupInfo(xkb, kc);
        switch (XkbOutOfRangeGroupAction(info)) {
            case XkbClampIntoRange:
                key.outOfRange = x11::OutOfRange::Clamp;
                break;
            case XkbRedirectIntoRange:
                key.outOfRange = x11::OutOfRange::Redirect;
                key.redirectGroup = XkbOutOfRangeGroupNumber(info);
                break;
            default:
                break;
        }
        key.modifiers = xkb->map->modmap ? xkb->map->modmap[kc] : 0u;
        m.keys.push_back(std::move(key));
    }
    return m;
}

int groupCountOf(const Keymap& m) {
    std::size_t count = 1;
    for (const x11::Key& k : m.keys) {
        count = std::max(count, k.groups.size());
    }
    return static_cast<int>(count);
}

}  // namespace

std::optional<Keymap> X11KeySink::readDeviceKeymap() {
    XkbDescPtr xkb = XkbGetMap(m_dpy, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask,
                               static_cast<unsigned>(m_xtestId));
    if (xkb == nullptr) {
        return std::nullopt;
    }
    Keymap m = snapshotOf(xkb);
    XkbFreeKeyboard(xkb, 0, True);
    return m;
}

std::vector<std::uint32_t> X11KeySink::readRows(int first, int count, int& perKeycode) {
    perKeycode = 0;
    KeySym* syms =
        XGetDeviceKeyMapping(m_dpy, m_device, static_cast<KeyCode>(first), count, &perKeycode);
    std::vector<std::uint32_t> out;
    if (syms != nullptr) {
        const auto* words = reinterpret_cast<const std::uint32_t*>(syms);
        out.assign(words, words + static_cast<std::ptrdiff_t>(perKeycode) * count);
        XFree(syms);
    }
    return out;
}

void X11KeySink::writeRows(int first, int perKeycode, std::vector<std::uint32_t> rows) {
    const int count = static_cast<int>(rows.size()) / perKeycode;
    rows.resize(rows.size() * sizeof(KeySym) / sizeof(std::uint32_t));  // room as KeySym[]
    XChangeDeviceKeyMapping(m_dpy, m_device, first, perKeycode,
                            reinterpret_cast<KeySym*>(rows.data()), count);
}

bool X11KeySink::stillBound(int keycode, const OwnedKey& owned) {
    int per = 0;
    const std::vector<std::uint32_t> now = readRows(keycode, 1, per);
    return now.size() >= 2 && owned.bound.size() >= 2 && now[0] == owned.bound[0] &&
           now[1] == owned.bound[1];
}

void X11KeySink::bindSpareKeys() {
    for (auto it = m_owned.begin(); it != m_owned.end();) {
        it = stillBound(it->first, it->second) ? std::next(it) : m_owned.erase(it);
    }
    std::optional<Keymap> map = readDeviceKeymap();
    if (!map) {
        return;
    }
    const int groups = groupCountOf(*map);
    const std::vector<Keysym> missing = x11::missingKeysyms(*map, groups);
    const std::vector<x11::SpareBinding> spares = x11::assignSpareKeys(*map, missing, groups);
    int perKeycode = 0;
    const std::vector<std::uint32_t> rows =
        readRows(map->minKeycode, map->maxKeycode - map->minKeycode + 1, perKeycode);
    const std::size_t keyCount = static_cast<std::size_t>(map->maxKeycode - map->minKeycode + 1);
    if (perKeycode < 2 || rows.size() < keyCount * static_cast<std::size_t>(perKeycode)) {
        return;
    }
    for (const x11::SpareBinding& b : spares) {
        const auto first =
            rows.begin() + static_cast<std::ptrdiff_t>(b.keycode - map->minKeycode) * perKeycode;
        OwnedKey owned;
        owned.original.assign(first, first + perKeycode);
        owned.bound.assign(static_cast<std::size_t>(perKeycode), NoSymbol);
        owned.bound[0] = b.lower;
        owned.bound[1] = b.upper;
        m_owned[b.keycode] = owned;
    }
    std::set<int> fresh;
    for (const x11::SpareBinding& b : spares) {
        fresh.insert(b.keycode);
    }
    writeKeys(fresh, perKeycode, false);
    m_copyPending = true;
    XSync(m_dpy, False);
    m_keymap = readDeviceKeymap();
    m_planned = false;
    drainEvents();
    if (m_keymap) {
        m_shiftKeycode = findShiftKey(*m_keymap);
        reportUntypable();
    }
}

void X11KeySink::writeKeys(const std::set<int>& keycodes, int perKeycode, bool original) {
    std::vector<std::uint32_t> run;
    int runStart = -1;
    int previous = -2;
    for (int kc : keycodes) {
        if (kc != previous + 1 && !run.empty()) {
            writeRows(runStart, perKeycode, std::move(run));
            run.clear();
        }
        if (run.empty()) {
            runStart = kc;
        }
        std::vector<std::uint32_t> syms = original ? m_owned[kc].original : m_owned[kc].bound;
        syms.resize(static_cast<std::size_t>(perKeycode), NoSymbol);
        run.insert(run.end(), syms.begin(), syms.end());
        previous = kc;
    }
    if (!run.empty()) {
        writeRows(runStart, perKeycode, std::move(run));
    }
}

int X11KeySink::findShiftKey(const Keymap& m) {
    for (int kc = m.minKeycode; kc <= m.maxKeycode; ++kc) {
        const x11::Key* key = m.key(kc);
        if (key == nullptr || (key->modifiers & x11::kShiftMask) == 0 || key->groups.empty()) {
            continue;
        }
        const std::vector<Keysym>& levels = key->groups[0].levels;
        if (!levels.empty() && (levels[0] == 0xffe1 || levels[0] == 0xffe2)) {
            return kc;
        }
    }
    return 0;
}

void X11KeySink::reportUntypable() {
    std::string list;
    for (std::uint16_t c = 1; c <= 0xff; ++c) {
        const std::optional<Keysym> k = x11::keysymForCodeUnit(c);
        if (k && !x11::findStroke(*m_keymap, *k, 0, 0)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, " %02X", c);
            list += buf;
        }
    }
    if (!list.empty()) {
        warn(("no key types these characters (hex):" + list).c_str());
    }
}

bool X11KeySink::drainEvents() {
    bool changed = false;
    while (XPending(m_dpy) > 0) {
        XEvent ev;
        XNextEvent(m_dpy, &ev);
        if (ev.type == m_xkbEvent) {
            const int kind = reinterpret_cast<XkbAnyEvent*>(&ev)->xkb_type;
            changed = changed || kind == XkbNewKeyboardNotify || kind == XkbMapNotify;
        }
    }
    return changed;
}

bool X11KeySink::sameKeys(const Keymap& a, const Keymap& b) {
    if (a.minKeycode != b.minKeycode || a.maxKeycode != b.maxKeycode ||
        a.keys.size() != b.keys.size() || a.types.size() != b.types.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.keys.size(); ++i) {
        const x11::Key& x = a.keys[i];
        const x11::Key& y = b.keys[i];
        if (x.groups.size() != y.groups.size() || x.modifiers != y.modifiers) {
            return false;
        }
        for (std::size_t g = 0; g < x.groups.size(); ++g) {
            if (x.groups[g].levels != y.groups[g].levels || x.groups[g].type != y.groups[g].type) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace platform::x11
