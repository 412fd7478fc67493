#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Quick when everything is already there: apt is only called for what is missing.
set -euo pipefail

PACKAGES=(
  # build
  cmake g++ make pkg-config
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

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
