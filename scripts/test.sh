#!/usr/bin/env bash
# Sets up, builds and runs every test (windows offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
# A test missing a sample file or a program of the build fails rather than skips; 0 lets it skip.
export CORVIDEL_TESTS_NO_SKIP="${CORVIDEL_TESTS_NO_SKIP:-1}"
ctest --test-dir build --output-on-failure -j2 --timeout 300
