#!/usr/bin/env bash
# Builds the suite with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs it through CTest. Every report of the tests and of the
# programs they start (velmorado, rar) is written to a folder; any report
# fails the run, even one from a child whose exit status a test ignores.
#
#   bash scripts/sanitize.sh [ctest arguments, e.g. -R test_rar]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$here/build-asan
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORADO_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"

reports=$build/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
supp=$here/tests/sanitizers
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
# The crash harness kills its programs, which the sanitizers cannot watch
# over anyway: a short run here, the full one in build/.
export VELMORADO_CRASH_SECONDS=${VELMORADO_CRASH_SECONDS_ASAN:-36}

status=0
(cd "$build" && ctest --output-on-failure --timeout 1800 -j2 "$@") || status=1
if [ -n "$(ls -A "$reports")" ]; then
    for r in "$reports"/*; do
        echo "==== $r"
        cat "$r"
    done
    echo "sanitizers: $(ls "$reports" | wc -l) report(s), listed above"
    status=1
else
    echo "sanitizers: no report"
fi
exit $status
