#!/usr/bin/env bash
# Installs what is needed, builds, installs the program into its program
# folder and starts it there.
#   ./scripts/run.sh          the program folder ${XDG_DATA_HOME:-~/.local/share}/GlimraMail
#                             (or $GLIMRA_PROGRAM_DIR); your mail lives there, outside the source tree
#   ./scripts/run.sh --demo   a demo folder with its own POP3 and SMTP servers and sample mail
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ "${1:-}" = "--demo" ]; then
  exec ./scripts/demo.sh
fi
PROGRAM_DIR=${GLIMRA_PROGRAM_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/GlimraMail}
./scripts/install-program.sh "$PROGRAM_DIR"
echo "GlimraMail: program folder $PROGRAM_DIR"
cd "$PROGRAM_DIR"
exec ./glimramail "$@"
