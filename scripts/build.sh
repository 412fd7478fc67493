#!/usr/bin/env bash
# Configures and builds GlimraMail into build/ and lays out the program folder
# build/GlimraMail (program file, "★MailData" with its pictures, the attachment
# and quick-save folders). Data already in the program folder is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD_DIR" -j"$(nproc)"
