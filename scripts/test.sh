#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#  1. the suite through CTest (build/), the crash harness and the fault
#     injection (as root) included;
#  2. the suite again under AddressSanitizer and UndefinedBehaviorSanitizer
#     (build-asan/), failing on any report, with a short crash harness;
#  3. a short run of each libFuzzer target (build-fuzz/, clang).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$here/scripts/build.sh"
(cd "$here/build" && ctest --output-on-failure --timeout 1800 -j2)

bash "$here/scripts/sanitize.sh"

bash "$here/scripts/fuzz.sh" 20
