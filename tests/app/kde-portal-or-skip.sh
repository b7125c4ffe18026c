#!/usr/bin/env bash
# kde-portal-or-skip.sh CMD [ARGS...]: runs CMD when KDE's portal back end
# (the only Debian 12 back end with GlobalShortcuts) and kglobalaccel5 are
# installed; otherwise says so and exits 77, which CTest reports as skipped.
service=/usr/share/dbus-1/services/org.freedesktop.impl.portal.desktop.kde.service
if [ ! -f "$service" ] || ! command -v kglobalaccel5 >/dev/null; then
    echo "skipped: the GlobalShortcuts portal needs xdg-desktop-portal-kde (and its kglobalaccel5);" \
         "scripts/install-deps.sh installs it" >&2
    exit 77
fi
exec "$@"
