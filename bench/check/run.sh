#!/usr/bin/env bash
# Builds and runs the mail check benchmark against a private Dovecot (run as
# root, as the test fixture needs). Arguments: [count] [rounds].
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${GLIMRA_BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_check >/dev/null
exec "$build/bench/check/bench_check" "$@"
