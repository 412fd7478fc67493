#!/usr/bin/env bash
# Configures and builds GlimraMail into build/ and lays out the program folder
# build/GlimraMail (program file, "★MailData" with its pictures, the attachment
# and quick-save folders). Data already in the program folder is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${GLIMRA_BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  # Ninja when it is there (it schedules the 2-core build better than make);
  # line tables only for debugging (-g1: back traces keep functions and
  # lines, the build is much quicker than with full debug information).
  generator=()
  if command -v ninja >/dev/null; then generator=(-G Ninja); fi
  cmake -S . -B "$BUILD_DIR" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
fi
cmake --build "$BUILD_DIR" -j"$(nproc)"
