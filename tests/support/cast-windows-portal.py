#!/usr/bin/python3
"""A ScreenCast portal backend that offers windows, for the window-pick tests
of the headless Wayland session (wayland-session.sh, WS_CAST_WINDOWS).

    cast-windows-portal.py share|cancel|refuse|stall|hold

xdg-desktop-portal-wlr shares whole outputs only. This backend stands in
front of it on the same bus: it declares monitor and window sources
(AvailableSourceTypes 3) and forwards every call to the wlr backend, which
does the real work, so the stream is a real PipeWire stream that the
frontend opens itself. When the caller asks for a window, the wlr backend
is asked for its output instead (the "person" picks that output's only
window, the desktop), and Start describes the stream as a window: source
type 2, its size, no place in the layout.

share: Start answers as the wlr backend does; cancel: Start answers 1 (the
person closed the chooser); refuse: Start answers 2; stall: SelectSources
never answers (a backend stuck before any chooser is shown); hold: Start
never answers (the chooser stays open, the person never picks).

Every call is written to stdout as one JSON line with sorted keys, e.g.
{"method": "SelectSources", "session": "/org/...", "types": 2}, so a test
can check what it was asked.
"""
import json
import sys

from gi.repository import Gio, GLib

PATH = '/org/freedesktop/portal/desktop'
NAME = 'org.freedesktop.impl.portal.desktop.castwindows'
WLR = 'org.freedesktop.impl.portal.desktop.wlr'
CAST = 'org.freedesktop.impl.portal.ScreenCast'
SESSION = 'org.freedesktop.impl.portal.Session'
REQUEST = 'org.freedesktop.impl.portal.Request'
MONITOR, WINDOW = 1, 2
CALL_TIMEOUT_MS = 30000

XML = '''
<node>
  <interface name="org.freedesktop.impl.portal.ScreenCast">
    <method name="CreateSession">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="SelectSources">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <property name="AvailableSourceTypes" type="u" access="read"/>
    <property name="AvailableCursorModes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.impl.portal.Session">
    <method name="Close"/>
    <signal name="Closed"/>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.impl.portal.Request">
    <method name="Close"/>
  </interface>
</node>'''

mode = sys.argv[1] if len(sys.argv) > 1 else ''
if mode not in ('share', 'cancel', 'refuse', 'stall', 'hold'):
    sys.exit('usage: cast-windows-portal.py share|cancel|refuse|stall|hold')

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
node = Gio.DBusNodeInfo.new_for_xml(XML)
interfaces = {info.name: info for info in node.interfaces}
# session path -> {'registration': id, 'window': bool, 'subscription': id}
sessions = {}
# Calls left unanswered on purpose (stall, hold), kept so they are never answered.
stalled = []


def log(entry):
    print(json.dumps(entry, sort_keys=True), flush=True)


def wlr_property(name):
    reply = bus.call_sync(WLR, PATH, 'org.freedesktop.DBus.Properties', 'Get', GLib.Variant('(ss)', (CAST, name)),
                          GLib.VariantType('(v)'), Gio.DBusCallFlags.NONE, CALL_TIMEOUT_MS, None)
    return reply.unpack()[0]


# The wlr backend's own answers, read once: it is running before this starts.
properties = {
    'AvailableSourceTypes': MONITOR | WINDOW,
    'AvailableCursorModes': wlr_property('AvailableCursorModes'),
    'version': wlr_property('version'),
}


def forward(method, parameters, done):
    """Calls the wlr backend's ScreenCast; done(reply or None, error or None)."""
    def finished(connection, result):
        try:
            done(connection.call_finish(result), None)
        except GLib.Error as error:
            done(None, error)
    bus.call(WLR, PATH, CAST, method, parameters, GLib.VariantType('(ua{sv})'), Gio.DBusCallFlags.NONE,
             CALL_TIMEOUT_MS, None, finished)


def close_on_wlr(path, interface):
    bus.call(WLR, path, interface, 'Close', None, None, Gio.DBusCallFlags.NONE, CALL_TIMEOUT_MS, None, None)


def on_request_call(connection, sender, path, interface, method, parameters, invocation):
    log({'method': 'Request.Close', 'request': path})
    close_on_wlr(path, REQUEST)
    invocation.return_value(None)


def export_request(handle):
    """The Request object of one call, until the call answers."""
    try:
        return bus.register_object(handle, interfaces[REQUEST], on_request_call, None, None)
    except GLib.Error:
        return 0


def unexport(registration):
    if registration:
        bus.unregister_object(registration)


def forget_session(path):
    entry = sessions.pop(path, None)
    if not entry:
        return
    unexport(entry['registration'])
    bus.signal_unsubscribe(entry['subscription'])


def on_session_call(connection, sender, path, interface, method, parameters, invocation):
    log({'method': 'Session.Close', 'session': path})
    close_on_wlr(path, SESSION)
    forget_session(path)
    invocation.return_value(None)


def on_session_property(connection, sender, path, interface, name):
    return GLib.Variant('u', 1)


def on_wlr_session_closed(connection, sender, path, interface, signal, parameters):
    # The wlr backend ended the session (its output went away): say so as ours.
    log({'signal': 'Session.Closed', 'session': path})
    bus.emit_signal(None, path, SESSION, 'Closed', None)
    forget_session(path)


def as_window(results):
    """Start's results with each stream described as a window."""
    streams = []
    for node_id, stream in results.get('streams', []):
        described = {'source_type': GLib.Variant('u', WINDOW)}
        if 'size' in stream:
            described['size'] = GLib.Variant('(ii)', stream['size'])
        if 'id' in stream:
            described['id'] = GLib.Variant('s', stream['id'])
        streams.append((node_id, described))
    return {'streams': GLib.Variant('a(ua{sv})', streams)}


def answer(invocation, registration, reply, error, rewrite=None):
    unexport(registration)
    if error is not None:
        log({'error': error.message})
        invocation.return_gerror(error)
        return
    response, results = reply.get_child_value(0).get_uint32(), reply.get_child_value(1)
    if rewrite and response == 0:
        out = rewrite(results.unpack())
    else:
        # Passed on as they came, each value in its own type.
        out = {}
        for i in range(results.n_children()):
            entry = results.get_child_value(i)
            out[entry.get_child_value(0).get_string()] = entry.get_child_value(1).get_variant()
    log({'answer': response, 'results': sorted(out.keys())})
    invocation.return_value(GLib.Variant('(ua{sv})', (response, out)))


def create_session(parameters, invocation):
    handle, session, app_id, options = parameters.unpack()
    log({'method': 'CreateSession', 'session': session})
    try:
        registration = bus.register_object(session, interfaces[SESSION], on_session_call, on_session_property, None)
    except GLib.Error as error:
        invocation.return_gerror(error)
        return
    subscription = bus.signal_subscribe(WLR, SESSION, 'Closed', session, None, Gio.DBusSignalFlags.NONE,
                                        on_wlr_session_closed)
    sessions[session] = {'registration': registration, 'window': False, 'subscription': subscription}
    request = export_request(handle)

    def done(reply, error):
        if error is not None or reply.get_child_value(0).get_uint32() != 0:
            forget_session(session)
        answer(invocation, request, reply, error)
    forward('CreateSession', parameters, done)


def select_sources(parameters, invocation):
    handle, session, app_id, options = parameters.unpack()
    types = options.get('types', MONITOR)
    log({'method': 'SelectSources', 'session': session, 'types': types,
         'multiple': options.get('multiple', False), 'persist_mode': options.get('persist_mode', 0)})
    entry = sessions.get(session)
    if entry is None:
        invocation.return_dbus_error('org.freedesktop.portal.Error.NotFound', 'no such session')
        return
    if mode == 'stall':
        export_request(handle)
        stalled.append(invocation)
        return
    # A window is asked for: the wlr backend shares the output it shows.
    entry['window'] = not (types & MONITOR) and bool(types & WINDOW)
    forwarded = GLib.VariantDict.new(parameters.get_child_value(3))
    if entry['window']:
        forwarded.insert_value('types', GLib.Variant('u', MONITOR))
    request = export_request(handle)
    forward('SelectSources',
            GLib.Variant.new_tuple(parameters.get_child_value(0), parameters.get_child_value(1),
                                   parameters.get_child_value(2), forwarded.end()),
            lambda reply, error: answer(invocation, request, reply, error))


def start(parameters, invocation):
    handle, session, app_id, parent_window, options = parameters.unpack()
    entry = sessions.get(session)
    log({'method': 'Start', 'session': session, 'window': bool(entry and entry['window'])})
    if entry is None:
        invocation.return_dbus_error('org.freedesktop.portal.Error.NotFound', 'no such session')
        return
    if mode == 'hold':
        # The chooser is open: its Request is there to be closed.
        export_request(handle)
        stalled.append(invocation)
        return
    if mode != 'share':
        response = 1 if mode == 'cancel' else 2
        log({'answer': response, 'results': []})
        invocation.return_value(GLib.Variant('(ua{sv})', (response, {})))
        return
    request = export_request(handle)
    rewrite = as_window if entry['window'] else None
    forward('Start', parameters, lambda reply, error: answer(invocation, request, reply, error, rewrite))


def on_cast_call(connection, sender, path, interface, method, parameters, invocation):
    {'CreateSession': create_session, 'SelectSources': select_sources, 'Start': start}[method](parameters, invocation)


def on_cast_property(connection, sender, path, interface, name):
    return GLib.Variant('u', properties[name])


bus.register_object(PATH, interfaces[CAST], on_cast_call, on_cast_property, None)
Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE,
                               lambda *a: log({'owned': NAME, 'mode': mode, 'properties': properties}),
                               lambda *a: sys.exit('name lost: ' + NAME))
GLib.MainLoop().run()
