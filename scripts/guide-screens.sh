#!/usr/bin/env bash
# Redraws the pictures of the user guide (docs/images/) with the project's
# own screenshot tools under a virtual X server, so that the guide shows the
# windows as they are now. Run after a change to a window; commit the result.
# usage: scripts/guide-screens.sh     (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
IMAGES=docs/images
work=$(mktemp -d /tmp/glimra-guide.XXXXXX)
trap 'rm -rf "$work"' EXIT

./scripts/main-screens.sh "$work/main" >/dev/null
./scripts/compose-screens.sh "$work/compose" >/dev/null
./scripts/reply-screens.sh "$work/reply" >/dev/null

mkdir -p "$IMAGES"
# guide name <- tool output
while read -r name source; do
  cp "$work/$source" "$IMAGES/$name"
done <<'LIST'
main.png main/main-clean.png
main-help.png main/main-help.png
main-litter.png main/main-litter.png
standby.png main/standby.png
setform.png main/setform.png
optionform.png main/optionform.png
idpassform.png main/idpassform.png
viewer.png main/viewer.png
viewer-help.png main/viewer-help.png
viewer-headercopy.png reply/tyakuform-headercopy.png
viewer-quicksave.png reply/tyakuform-quicksave.png
reply.png reply/backform.png
compose.png compose/writeform-full.png
compose-attachments.png compose/writeform-attachments.png
compose-bulk.png compose/writeform-bulk.png
addressbook.png compose/friendform.png
LIST
echo "guide-screens: $IMAGES"
