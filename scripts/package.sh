#!/usr/bin/env bash
# Builds the Debian package of the program and checks it.
#   cpack -G DEB in the build folder  -> build/glimramail_<version>_<arch>.deb
#   lintian (errors fail), desktop-file-validate and appstreamcli validate on
#   the desktop entry and the metainfo the package installs.
# Install it with: sudo apt install ./build/glimramail_*.deb
# usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
TOOLS=(dpkg-dev lintian desktop-file-utils appstream)
missing=()
for p in "${TOOLS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
./scripts/install-deps.sh
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD_DIR" --target glimramail -j"$(nproc)"
rm -f "$BUILD_DIR"/glimramail_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
deb=$(ls "$BUILD_DIR"/glimramail_*.deb)

check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
dpkg-deb -x "$deb" "$check"
desktop-file-validate "$check"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$check"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error "$deb"
echo "package: $deb"
dpkg-deb -f "$deb" Depends
