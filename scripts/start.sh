#!/usr/bin/env bash
# Copies the built program into the program folder and starts it there, as
# the user who runs this script. scripts/run.sh calls it after the build.
# usage: scripts/start.sh [mailto link]
set -euo pipefail
cd "$(dirname "$0")/.."
PROGRAM_DIR=${GLIMRA_PROGRAM_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/GlimraMail}
./scripts/install-program.sh "$PROGRAM_DIR"
echo "GlimraMail: program folder $PROGRAM_DIR"
cd "$PROGRAM_DIR"
exec ./glimramail "$@"
