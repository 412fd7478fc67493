#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test through ctest. The test
# servers (Dovecot, an SMTP sink) are started by the tests themselves on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
cd "${GLIMRA_BUILD_DIR:-build}"
ctest --output-on-failure --timeout 900 "$@"
