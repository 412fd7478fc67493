#!/usr/bin/env bash
# Installs the built program into a program folder of the user's own:
# the program file and the pictures are copied in; the folders the program
# needs are created when missing. Nothing else in the folder (the received
# mail, the address book, the profile, the credentials, the account file,
# attachments and quick saves) is ever touched.
# usage: scripts/install-program.sh <program folder>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILT=${GLIMRA_BUILD_DIR:-build}/GlimraMail
TARGET=${1:?usage: install-program.sh <program folder>}
[ -x "$BUILT/glimramail" ] || { echo "install-program: nothing built in $BUILT (run scripts/build.sh)" >&2; exit 1; }
mkdir -p "$TARGET/★MailData/Adata" "$TARGET/添付フォルダ" "$TARGET/■TextQuickSave"
# Replaced through a new name, so that a running copy keeps its file.
install -m 755 "$BUILT/glimramail" "$TARGET/.glimramail.new"
mv -f "$TARGET/.glimramail.new" "$TARGET/glimramail"
for picture in Back.jpg Kan.gif Kami.gif Tabako.gif; do
  cp -f "$BUILT/★MailData/Adata/$picture" "$TARGET/★MailData/Adata/$picture"
done
