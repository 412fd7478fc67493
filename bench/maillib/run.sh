#!/usr/bin/env bash
# Builds and runs the mail layer benchmark: a private Dovecot (run as root, as
# the test fixture needs), 1,000 messages direct and 200 through a relay that
# delays every chunk by 25 ms each way. Arguments: [count] [slow count] [delay ms] [rounds].
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${GLIMRA_BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bench_maillib >/dev/null
exec "$build/bench/maillib/bench_maillib" "$@"
