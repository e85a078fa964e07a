#!/usr/bin/env bash
# Runs each libFuzzer target of fuzz/ for a while, from its committed seed
# corpus. Builds them first (clang, build-fuzz/). Fails when one finds a
# crash, a leak or a failed check; the input is kept in build-fuzz/findings/.
#
#   bash scripts/fuzz.sh                 (20 s each, as scripts/test.sh runs it)
#   bash scripts/fuzz.sh 3600            (an hour each)
#   bash scripts/fuzz.sh 600 fuzz_rar_extract
#   FUZZ_CORPUS=/some/folder bash scripts/fuzz.sh 3600   (keeps what it learns)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$here/build-fuzz}
seconds=${1:-20}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_private_profile fuzz_folder_pairs fuzz_hex_text fuzz_name_file fuzz_rar_extract)
fi

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORADO_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_all -j"$(nproc)"

# Scratch space in memory where there is some: the targets write files.
scratch=/tmp
[ -d /dev/shm ] && scratch=/dev/shm
work=$(mktemp -d "$scratch/velmorado-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
export VELMORADO_FUZZ_SCRATCH=$work
findings="$build/findings"
status=0
for t in "${targets[@]}"; do
    corpus=${FUZZ_CORPUS:+$FUZZ_CORPUS/$t}
    corpus=${corpus:-$work/$t}
    mkdir -p "$corpus" "$findings"
    log="$work/$t.log"
    # Through a pipe, not straight into the log: fuzz_rar_extract limits the
    # size of the files it writes (a small disk), and its archiver's complaint
    # about each input filled the log past that limit, so that the final
    # figures, or a crash's report, were not written. Those lines are dropped
    # on the way.
    code=0
    "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/$t-" \
        "$corpus" "$here/fuzz/corpus/$t" 2>&1 | { grep -av '^rar: ' || true; } >"$log" || code=$?
    if [ "$code" -eq 0 ]; then
        result=ok
    else
        result=FAILED
        status=1
        tail -n 80 "$log"
    fi
    execs=$(sed -n 's/.*stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
    echo "fuzz: $t: ${execs:-?} executions in $seconds s, $(ls "$corpus" | wc -l) new inputs: $result"
done
exit $status
