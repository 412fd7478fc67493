#!/usr/bin/env bash
# Kill trials of the mail check against a private Dovecot (run as root, as the
# test fixture needs): [trials] [messages per trial] [time limit in seconds].
# Each trial delivers fresh messages, starts a check and kills it with SIGKILL
# at a random moment; a clean check follows the last trial, and every message
# delivered is looked for in the store and on the server. Prints the lost
# (must be 0) and the extra copies in the store.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${GLIMRA_BUILD_DIR:-build}
trials=${1:-50}
messages=${2:-100}
limit=${3:-1800}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# GLIMRA_BUILD_LOCK: a lock file that serialises builds on a shared machine.
if [ -n "${GLIMRA_BUILD_LOCK:-}" ]; then
    flock "$GLIMRA_BUILD_LOCK" cmake --build "$build" -j2 --target bench_check >/dev/null
else
    cmake --build "$build" -j2 --target bench_check >/dev/null
fi
exec timeout --signal=TERM "$limit" "$build/bench/check/bench_check" --crash-trials "$trials" "$messages"
