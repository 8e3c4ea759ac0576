#!/usr/bin/env bash
# No program or library in the build folder has an empty entry in its library
# search path: the loader would search the current folder, so a library
# planted there would run inside `component --version`.
set -u
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
check "the programs and the module have a search path to look at" test \
  "$(readelf -d "$COMPONENT" "$TALHAZ" "$TESSIK" | grep -c 'Library runpath')" = 3
check "no empty entry in any search path under $BUILD_DIR" test -z "$(runpath_holes "$BUILD_DIR" | tee /dev/stderr)"
report
