#!/usr/bin/env bash
# Builds the suite with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs it through CTest. Any report fails the run, even one
# from a program that a test starts (velmorado, rar) and whose exit status it
# ignores: AddressSanitizer and LeakSanitizer write their reports to a folder;
# UndefinedBehaviorSanitizer (which with gcc ignores log_path) ends the
# process and its report is looked for in the tests' output.
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
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:suppressions=$supp/asan.supp"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
# The crash harness kills its programs, which the sanitizers cannot watch
# over anyway: a short run here, the full one in build/.
export VELMORADO_CRASH_SECONDS=${VELMORADO_CRASH_SECONDS_ASAN:-36}

status=0
(cd "$build" && ctest --output-on-failure --timeout 1800 -j2 "$@") || status=1
# Two kinds of report file hold no finding, and are shown, not counted. The
# crash harness kills its programs with SIGKILL at random moments: a runtime
# opens its log as it starts to write (one empty file seen once), and the
# leak check that runs as a program ends stops when a thread of it is killed
# under it ("Unable to get registers from thread N", and nothing else, seen
# once). Any other line counts.
cutShort='^==[0-9]+==Unable to get registers from thread [0-9]+\.$'
found=0
for r in "$reports"/*; do
    if [ -s "$r" ] && grep -qvE "$cutShort" "$r"; then
        echo "==== $r"
        cat "$r"
        found=$((found + 1))
    elif [ -s "$r" ]; then
        echo "==== $r: no finding, a leak check cut short by a kill:"
        cat "$r"
    elif [ -e "$r" ]; then
        echo "==== $r: empty"
    fi
done
printed=$(grep -cE 'runtime error:|ERROR: (Address|Leak)Sanitizer' \
    "$build/Testing/Temporary/LastTest.log" || true)
if [ "$found" -ne 0 ] || [ "$printed" -ne 0 ]; then
    echo "sanitizers: $found report file(s), $printed report(s) in the tests' output"
    status=1
else
    echo "sanitizers: no report"
fi
exit $status
