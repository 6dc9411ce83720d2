// What the tests check on the X server before and after typing: keys down, locks, keymaps.
#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace xtest {

struct XState {
    std::vector<KeySym> coreMap;          // the core keyboard's keysyms
    std::vector<std::uint32_t> xtestMap;  // the XTest keyboard device's keysyms
    unsigned lockedMods = 0;
    int lockedGroup = 0;
    int keysDown = 0;
    bool operator==(const XState&) const = default;
};

class XClient {
public:
    explicit XClient(const std::string& display) {
        int major = XkbMajorVersion;
        int minor = XkbMinorVersion;
        m_dpy = XkbOpenDisplay(display.c_str(), nullptr, nullptr, &major, &minor, nullptr);
    }
    ~XClient() {
        if (m_dpy != nullptr) {
            XCloseDisplay(m_dpy);
        }
    }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;
    Display* dpy() const { return m_dpy; }

    int xtestKeyboard() const {
        int count = 0;
        XIDeviceInfo* info = XIQueryDevice(m_dpy, XIAllDevices, &count);
        int id = -1;
        for (int i = 0; i < count; ++i) {
            if (info[i].use == XISlaveKeyboard && std::strstr(info[i].name, "XTEST") != nullptr) {
                id = info[i].deviceid;
            }
        }
        XIFreeDeviceInfo(info);
        return id;
    }

    XState state() const {
        XState s;
        int minKc = 0;
        int maxKc = 0;
        XDisplayKeycodes(m_dpy, &minKc, &maxKc);
        int per = 0;
        KeySym* core =
            XGetKeyboardMapping(m_dpy, static_cast<KeyCode>(minKc), maxKc - minKc + 1, &per);
        s.coreMap.assign(core, core + static_cast<std::ptrdiff_t>(per) * (maxKc - minKc + 1));
        XFree(core);
        XDevice* dev = XOpenDevice(m_dpy, static_cast<XID>(xtestKeyboard()));
        if (dev != nullptr) {
            KeySym* syms = XGetDeviceKeyMapping(m_dpy, dev, static_cast<KeyCode>(minKc),
                                                maxKc - minKc + 1, &per);
            // libXi returns the protocol's 32-bit words, packed.
            const auto* words = reinterpret_cast<const std::uint32_t*>(syms);
            s.xtestMap.assign(words,
                              words + static_cast<std::ptrdiff_t>(per) * (maxKc - minKc + 1));
            XFree(syms);
            XCloseDevice(m_dpy, dev);
        }
        XkbStateRec st{};
        XkbGetState(m_dpy, XkbUseCoreKbd, &st);
        s.lockedMods = st.locked_mods;
        s.lockedGroup = st.locked_group;
        char keys[32];
        XQueryKeymap(m_dpy, keys);
        for (char k : keys) {
            s.keysDown += __builtin_popcount(static_cast<unsigned char>(k));
        }
        return s;
    }

    void lockModifiers(unsigned mask, bool on) {
        XkbLockModifiers(m_dpy, XkbUseCoreKbd, mask, on ? mask : 0);
        XSync(m_dpy, False);
    }
    // As if a key of the physical keyboard went down or up (through the core XTest device).
    void pressKey(KeySym keysym, bool down) {
        XTestFakeKeyEvent(m_dpy, XKeysymToKeycode(m_dpy, keysym), down ? True : False, CurrentTime);
        XSync(m_dpy, False);
    }
    void lockGroup(int group) {
        XkbLockGroup(m_dpy, XkbUseCoreKbd, static_cast<unsigned>(group));
        XSync(m_dpy, False);
    }

private:
    Display* m_dpy = nullptr;
};

}  // namespace xtest
