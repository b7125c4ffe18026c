#!/usr/bin/env bash
# Builds the Debian package from the build tree (CPack), then checks it as
# an installer meets it: its dependencies were computed from the shared
# libraries and apt can satisfy them, it holds the whole installed tree,
# dpkg installs it into a throwaway root where the program runs and the
# post-install registers the link handler, and lintian finds no error.
#   deb-test.sh <build dir> <source dir>
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
build=${1:?usage: $0 <build dir> <source dir>}
for tool in cpack dpkg dpkg-deb dpkg-shlibdeps lintian update-desktop-database update-mime-database; do require_tool "$tool"; done

(cd "$build" && cpack -G DEB -B "$tmp/package" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log" >&2; exit 1; }
deb=$(ls "$tmp"/package/tessarin_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || { echo "cpack made no .deb" >&2; exit 1; }

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$(dpkg-deb -f "$deb" Package)" = tessarin ] || fail "the package is not named tessarin"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libpng16-16 libtesseract5 libqt6widgets6 libcairo2 libavcodec; do
    [[ $depends == *"$library"* ]] || fail "Depends does not name $library (dpkg-shlibdeps): $depends"
done
[[ $depends == *qt6-qpa-plugins* ]] || fail "Depends does not name Qt's X11 platform plugin"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in usr/bin/tessarin \
    "usr/lib/$multiarch/tessarin/libtessarin-annotation.so" "usr/lib/$multiarch/tessarin/libtessarin-ocr.so" \
    "usr/lib/$multiarch/tessarin/libtessarin-media.so" "usr/lib/$multiarch/tessarin/libtessarin-desktop.so" \
    usr/share/applications/io.tessarin.Tessarin.desktop usr/share/metainfo/io.tessarin.Tessarin.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/io.tessarin.Tessarin.svg usr/share/icons/hicolor/48x48/apps/io.tessarin.Tessarin.png \
    usr/share/man/man1/tessarin.1.gz usr/share/bash-completion/completions/tessarin \
    usr/share/zsh/vendor-completions/_tessarin usr/share/fish/vendor_completions.d/tessarin.fish \
    usr/share/doc/tessarin/copyright usr/share/doc/tessarin/changelog.Debian.gz; do
    grep -qx "./$file" <<<"$contents" || fail "the package does not hold /$file"
done

# apt could install it here: every dependency is known and satisfiable.
apt-get install --simulate "$deb" >"$tmp/apt.log" 2>&1 && grep -q '^Inst tessarin ' "$tmp/apt.log" ||
    fail "apt cannot install the package: $(tail -n 5 "$tmp/apt.log")"

# Installed into a throwaway root by dpkg itself (its maintainer scripts run
# outside a chroot, on that root): the program runs from there and finds
# its modules, and the post-install has registered the link handler.
root=$tmp/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/usr/share/mime/packages"
touch "$root/var/lib/dpkg/status"
in_root() { dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless --log=/dev/null "$@" \
    >>"$tmp/dpkg.log" 2>&1; }
in_root --install "$deb" || fail "dpkg could not install the package: $(tail -n 5 "$tmp/dpkg.log")"
check_program_runs "$root/usr/bin/tessarin"
handler='x-scheme-handler/tessarin=io.tessarin.Tessarin.desktop;'
grep -qxF "$handler" "$root/usr/share/applications/mimeinfo.cache" 2>/dev/null ||
    fail "after the post-install the desktop database does not know the tessarin: link handler"
[ -f "$root/usr/share/mime/mime.cache" ] || fail "the post-install did not refresh the MIME database"
in_root --purge tessarin || fail "dpkg could not remove the package: $(tail -n 5 "$tmp/dpkg.log")"
[ ! -e "$root/usr/bin/tessarin" ] || fail "removing the package left the program"
! grep -q tessarin "$root/usr/share/applications/mimeinfo.cache" 2>/dev/null ||
    fail "after removal the desktop database still names the link handler"

# The maintainer scripts are executable, and succeed where the tools are missing.
dpkg-deb -e "$deb" "$tmp/control"
for script in postinst postrm; do
    [ "$(stat -c %a "$tmp/control/$script")" = 755 ] || fail "$script is not mode 755"
done
mkdir -p "$tmp/empty"
PATH=$tmp/empty /bin/sh "$tmp/control/postinst" configure || fail "postinst fails where the tools are missing"

# lintian: no errors (warnings and notes are listed, not fatal).
lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$tmp/lintian.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian reports errors"
grep -q '^E:' "$tmp/lintian.log" && fail "lintian reports errors"
finish
