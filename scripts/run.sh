#!/usr/bin/env bash
# Installs what is needed, builds, and starts GlimraMail from its program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
PROGRAM_DIR=${GLIMRA_BUILD_DIR:-build}/GlimraMail
cd "$PROGRAM_DIR"
exec ./glimramail "$@"
