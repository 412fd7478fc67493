#!/usr/bin/env bash
# Installs what is needed, builds, installs the program into its program
# folder and starts it there.
#   ./scripts/run.sh          the program folder ${XDG_DATA_HOME:-~/.local/share}/GlimraMail
#                             (or $GLIMRA_PROGRAM_DIR); your mail lives there, outside the source tree
#   ./scripts/run.sh --demo   a demo folder with its own POP3 and SMTP servers and sample mail
#   ./scripts/run.sh 'mailto:hanako@example.jp?subject=...'   opens the composer with the link
# Run it as yourself: missing packages are installed through sudo and the
# program runs as you. Run as root through sudo, it installs and builds as
# root, as before, and starts the program as the user who called sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --desktop
./scripts/build.sh
if [ "${1:-}" = "--demo" ]; then
  shift
  # The demo's Dovecot runs as root.
  if [ "$(id -u)" -ne 0 ]; then
    exec sudo --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY,XDG_RUNTIME_DIR,GLIMRA_DEMO_DIR,GLIMRA_BUILD_DIR \
      ./scripts/demo.sh "$@"
  fi
  exec ./scripts/demo.sh "$@"
fi
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  user_home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
  user_id=$(id -u "$SUDO_USER")
  runtime=/run/user/$user_id
  [ -d "$runtime" ] || runtime=
  exec runuser -u "$SUDO_USER" -- env HOME="$user_home" USER="$SUDO_USER" LOGNAME="$SUDO_USER" \
    ${runtime:+XDG_RUNTIME_DIR="$runtime"} ./scripts/start.sh "$@"
fi
exec ./scripts/start.sh "$@"
