#!/usr/bin/env bash
# Redraws the program's pictures into assets/: builds the generator, runs it,
# and turns the litter pictures into GIF with ImageMagick (Qt writes no GIF).
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target glimra_pictures -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen "$BUILD_DIR/tools/pictures/glimra_pictures" "$work"
mkdir -p assets/habitat assets/icons
cp "$work/Back.jpg" "$work/fi.png" "$work/tetora.png" "$work/mozaiku.png" assets/habitat/
for name in Kan Kami Tabako; do
  # One transparent colour: GIF has no partial transparency, so soft edges
  # are cut at half opacity.
  convert "$work/$name.png" -channel A -threshold 50% +channel "assets/habitat/$name.gif"
done
for name in New Jyushin Tyakushin Set Address; do
  cp "$work/$name.png" assets/icons/
done
mkdir -p assets/icons/editor
cp "$work"/editor/*.png assets/icons/editor/
mkdir -p assets/viewer assets/compose
for name in Command3 Command4 Command5 Command6; do
  cp "$work/viewer/$name.png" assets/viewer/
done
for name in Command5 Command6 Command11 Command7; do
  cp "$work/compose/$name.png" assets/compose/
done
rm -rf assets/icons/hicolor
cp -r "$work/hicolor" assets/icons/
echo "pictures written to assets/"
