#!/usr/bin/env bash
# Installs the Debian 12 packages Tessarin needs to build, test and benchmark.
# Safe to run again: it only calls apt when something is missing.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config ccache
  # libraries
  libxcb1-dev libxcb-randr0-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-composite0-dev libxcb-xtest0-dev
  # global key grabs: XKB's auto-repeat and map events, keysym names
  libxcb-xkb-dev libxcb-xinput-dev libxkbcommon-dev
  # the capture sound: libcanberra, its PulseAudio (and PipeWire) driver and
  # the freedesktop sound theme's events
  libcanberra-dev libcanberra-pulse sound-theme-freedesktop
  # XCB's own dependencies, whose static archives the program links
  libxau-dev libxdmcp-dev
  nlohmann-json3-dev zlib1g-dev libdeflate-dev libpng-dev libjpeg62-turbo-dev
  libcairo2-dev libpango1.0-dev fonts-dejavu-core
  # GSettings (GIO), read for the desktop's own screenshot shortcuts
  libglib2.0-dev libglib2.0-bin
  # text recognition: the engine and its language data (English, simplified and traditional Chinese)
  libtesseract-dev libleptonica-dev tesseract-ocr-eng tesseract-ocr-chi-sim tesseract-ocr-chi-tra
  # a font with Han glyphs, for rendering Chinese test text
  fonts-wqy-microhei
  libgtest-dev libgmock-dev libbenchmark-dev
  # the desktop application: Qt Widgets and QtDBus (its X11 platform plugin
  # and the OpenGL headers its CMake package asks for), the session bus
  qt6-base-dev qt6-qpa-plugins libgl-dev dbus dbus-bin
  # X servers and real clients for the integration tests and the demonstration
  xvfb xauth xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils x11-utils x11-apps xterm
  # a GTK text view (zenity --text-info) for the scrolling capture's integration test
  zenity
  # bitmap fonts for terminals in the text-recognition corpus (misc-fixed 9x15)
  xfonts-base
  # the private desktop of the application's tests (tests/support/desktop-session.sh):
  # window manager, system tray, session bus, input and window tools, screenshots;
  # python3 asks libX11 who owns the tray selection
  openbox trayer xcompmgr dbus dbus-x11 xdotool xclip imagemagick python3 libx11-6
  # a sound server with a null sink, for the capture sound's test
  pulseaudio
  # tessarin:// links opened as a desktop opens them, and the desktop file checked
  xdg-utils desktop-file-utils
  # the stand-in file manager on the session bus of the history window's test
  python3-dbus python3-gi
  # the media engine: FFmpeg's libraries (libx264 comes with libavcodec) and
  # the PulseAudio client for the microphone; ffmpeg/ffprobe check recordings
  # in the tests and are the benchmark's peer
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libpulse-dev ffmpeg
  # installing and packaging: the bitmap icons rendered from the SVG, the
  # Debian package's tools (dpkg-shlibdeps comes with dpkg-dev, CPack reads
  # ELF files with file, the post-install refreshes the MIME database), and
  # the checks of the installed tree: AppStream
  # metainfo, the manual page, each shell's completion
  librsvg2-bin dpkg-dev file lintian appstream man-db bash-completion zsh fish shared-mime-info
  # Wayland: the client library and the protocol descriptions the outputs are read with
  libwayland-dev libwayland-bin wayland-protocols
  # Wayland region streams (scrolling capture, recording): the ScreenCast portal's PipeWire stream
  libpipewire-0.3-dev
  # the headless Wayland session of the Wayland tests (tests/support/wayland-session.sh):
  # compositor, backgrounds, grim (also the benchmark's peer), the portals, PipeWire
  sway swaybg grim xdg-desktop-portal xdg-desktop-portal-wlr pipewire pipewire-bin wireplumber util-linux
  # a real Wayland client for the captures to show
  foot
  # the stand-in ScreenCast backend that offers windows (tests/support/cast-windows-portal.py)
  python3-gi
  # building the ScreenCast portal backend the tests use without a GPU (below)
  meson libpipewire-0.3-dev libinih-dev libgbm-dev libdrm-dev libsystemd-dev xz-utils
  # the desktop application on Wayland: Qt's Wayland platform plugin; the
  # GlobalShortcuts portal of the application's Wayland tests (KDE's portal
  # back end brings kglobalaccel5)
  qt6-wayland xdg-desktop-portal-kde
)
if [ "${1:-}" = "--bench" ]; then
  # peers the capture benchmark measures against, and a command timer;
  # flameshot's tray application is the application benchmark's peer
  packages+=(scrot maim imagemagick hyperfine time tesseract-ocr pango1.0-tools flameshot)
  # GStreamer's PipeWire recorder, the Wayland recording benchmark's peer
  packages+=(gstreamer1.0-tools gstreamer1.0-pipewire gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's xdg-desktop-portal-wlr 0.7 casts only with a GPU: the Wayland
# tests use a build from its source with a one-line patch, made once into a
# cache (a few seconds; tests/support/wayland-session.sh build-xdpw).
xdpw_dir=${TESSARIN_XDPW_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tessarin/xdpw}
if [ ! -x "$xdpw_dir/xdg-desktop-portal-wlr-continuous" ]; then
  echo "building the patched ScreenCast portal backend into $xdpw_dir" >&2
  "$(dirname "$0")/../tests/support/wayland-session.sh" build-xdpw "$xdpw_dir" >/dev/null ||
    echo "warning: the patched ScreenCast backend did not build; the ScreenCast tests will fail" >&2
fi
