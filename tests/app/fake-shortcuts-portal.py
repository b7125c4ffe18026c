#!/usr/bin/python3
"""A stand-in desktop portal with only org.freedesktop.portal.GlobalShortcuts,
for the application's shortcut tests on a private session bus.

    fake-shortcuts-portal.py answer|refuse LOG

answer: CreateSession and BindShortcuts answer 0 (the session handle,
the shortcuts); refuse: CreateSession answers 2. Every call is written to
LOG as one JSON line. The test-only interface io.tessarin.test.FakePortal
has Activate(s id), which emits Activated for the last session as the portal
itself, the way a desktop reports a key press.
"""
import json
import sys

from gi.repository import Gio, GLib

PATH = '/org/freedesktop/portal/desktop'
XML = '''
<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="BindShortcuts">
      <arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <signal name="Activated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="io.tessarin.test.FakePortal">
    <method name="Activate"><arg type="s" direction="in"/></method>
  </interface>
</node>'''

behaviour, log_path = sys.argv[1], sys.argv[2]
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
sessions = []


def log(entry):
    with open(log_path, 'a') as f:
        f.write(json.dumps(entry) + '\n')


def respond(request, code, results):
    bus.emit_signal(None, request, 'org.freedesktop.portal.Request', 'Response',
                    GLib.Variant('(ua{sv})', (code, results)))
    return False


def shortcut_list(variant):
    return [{'id': sid, **{k: v for k, v in props.items()}} for sid, props in variant]


def on_call(conn, sender, path, interface, method, params, invocation):
    sender_part = sender[1:].replace('.', '_')
    if interface == 'io.tessarin.test.FakePortal':
        sid = params.unpack()[0]
        bus.emit_signal(None, PATH, 'org.freedesktop.portal.GlobalShortcuts', 'Activated',
                        GLib.Variant('(osta{sv})', (sessions[-1], sid, 0, {})))
        invocation.return_value(None)
        return
    options = params.unpack()[-1]
    request = '%s/request/%s/%s' % (PATH, sender_part, options.get('handle_token', 'none'))
    if method == 'CreateSession':
        log({'method': method, 'shortcuts': shortcut_list(options.get('shortcuts', []))})
        session = '%s/session/%s/%s' % (PATH, sender_part, options.get('session_handle_token', 'none'))
        if behaviour == 'refuse':
            GLib.idle_add(respond, request, 2, {})
        else:
            sessions.append(session)
            GLib.idle_add(respond, request, 0, {'session_handle': GLib.Variant('s', session)})
    elif method == 'BindShortcuts':
        session, shortcuts = params.unpack()[0], params.unpack()[1]
        log({'method': method, 'session': session, 'shortcuts': shortcut_list(shortcuts)})
        GLib.idle_add(respond, request, 0, {})
    invocation.return_value(GLib.Variant('(o)', (request,)))


def on_property(conn, sender, path, interface, name):
    return GLib.Variant('u', 1)


node = Gio.DBusNodeInfo.new_for_xml(XML)
for info in node.interfaces:
    bus.register_object(PATH, info, on_call, on_property, None)
Gio.bus_own_name_on_connection(bus, 'org.freedesktop.portal.Desktop', Gio.BusNameOwnerFlags.NONE,
                               lambda *a: log({'owned': True}), lambda *a: sys.exit('name lost'))
GLib.MainLoop().run()
