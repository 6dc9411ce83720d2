'''A stand-in for xdg-desktop-portal's RemoteDesktop interface (python3-dbusmock template).

Parameters: version (2), start-response (0 granted, 1 declined), start-delay-ms (50: how long
the "user" takes), restore-token prefix ("token"): Start hands out PREFIX-1, PREFIX-2, ...;
refuse-key (a key code whose press fails with an error), key-delay-ms (0: how long each key
call takes to answer).
Every call is in the dbusmock log (-l), NotifyKeyboardKeycode with its key code and state.
'''
import time

import dbus
from gi.repository import GLib

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.RemoteDesktop'
SYSTEM_BUS = False

REQUEST_IFACE = 'org.freedesktop.portal.Request'


def respond(mock, options, code, results, delay_ms=20):
    path = MAIN_OBJ + '/request/mock/' + str(options.get('handle_token', 'anon'))

    def emit():
        mock._emit_signal(REQUEST_IFACE, 'Response', 'ua{sv}',
                          (dbus.UInt32(code), dbus.Dictionary(results, signature='sv')),
                          {'path': path})
        return False
    GLib.timeout_add(delay_ms, emit)
    return dbus.ObjectPath(path)


def create_session(self, options):
    handle = MAIN_OBJ + '/session/mock/' + str(options.get('session_handle_token', 's'))
    return respond(self, options, 0, {'session_handle': dbus.String(handle)})


def select_devices(self, session, options):
    return respond(self, options, 0, {})


def start(self, session, parent, options):
    self.starts += 1
    results = {}
    if self.start_response == 0:
        results['devices'] = dbus.UInt32(1)
        if self.version >= 2:
            results['restore_token'] = dbus.String('%s-%d' % (self.token_prefix, self.starts))
    return respond(self, options, self.start_response, results, self.start_delay_ms)


def keycode(self, session, options, key, state):
    if self.key_delay_ms:
        time.sleep(self.key_delay_ms / 1000.0)
    if key == self.refuse_key and state == 1:
        raise dbus.exceptions.DBusException('key refused',
                                            name='org.freedesktop.DBus.Error.InvalidArgs')


def load(mock, parameters):
    mock.version = int(parameters.get('version', 2))
    mock.start_response = int(parameters.get('start-response', 0))
    mock.start_delay_ms = int(parameters.get('start-delay-ms', 50))
    mock.token_prefix = str(parameters.get('restore-token', 'token'))
    mock.starts = 0
    mock.refuse_key = int(parameters.get('refuse-key', -1))
    mock.key_delay_ms = int(parameters.get('key-delay-ms', 0))
    mock.AddProperties(MAIN_IFACE, {'version': dbus.UInt32(mock.version),
                                    'AvailableDeviceTypes': dbus.UInt32(7)})
    mock.AddMethods(MAIN_IFACE, [
        ('CreateSession', 'a{sv}', 'o', create_session),
        ('SelectDevices', 'oa{sv}', 'o', select_devices),
        ('Start', 'osa{sv}', 'o', start),
        ('NotifyKeyboardKeycode', 'oa{sv}iu', '', keycode),
    ])
