#!/bin/bash
# The test command: installs what is missing, builds into build/ and runs every test.
# Arguments are passed on to ctest (for example -R archive).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

testdir=$(bash "$root/scripts/build.sh")

. "$root/scripts/wine-session.sh"
wine_session_start "$testdir"
ctest --test-dir "$testdir" --output-on-failure -j2 "$@"
