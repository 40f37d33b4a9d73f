#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine (windows under Xvfb).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
source scripts/wine-env.sh
trap kn_cleanup EXIT

kn_build
kn_ensure_display
kn_wine_init
ctest --test-dir "$KN_BUILD" --output-on-failure "$@"
