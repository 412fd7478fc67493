#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Quick when everything is already there: apt is only called for what is missing.
# With --desktop it also installs what a desktop user wants beside the
# program: Japanese input (ibus-mozc). Not root: apt runs through sudo.
#   usage: scripts/install-deps.sh [--desktop]
set -euo pipefail

PACKAGES=(
  # build
  cmake g++ make ninja-build pkg-config
  qt6-base-dev libgl-dev libgmime-3.0-dev libcurl4-openssl-dev libssl-dev libicu-dev
  # running the program: Japanese fonts, a serif close to Book Antiqua, an X server for screenshots
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-urw-base35 fontconfig
  # Qt's own texts (dialog buttons, file and print dialogs, text box menus) in Japanese
  qt6-translations-l10n
  xvfb xauth x11-apps x11-utils imagemagick xdotool
  # test servers and tools
  dovecot-pop3d python3-aiosmtpd python3 openssl mpop
  ca-certificates
)

# Japanese input: IBus with Mozc. Qt 6 talks to IBus through the input
# context plug-in that comes with Qt itself (libqt6gui6), and Debian's
# default desktop switches IBus input sources by itself.
DESKTOP_PACKAGES=(
  ibus ibus-mozc
)
if [ "${1:-}" = "--desktop" ]; then
  PACKAGES+=("${DESKTOP_PACKAGES[@]}")
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
