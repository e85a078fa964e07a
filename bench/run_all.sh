#!/usr/bin/env bash
# Prints every performance figure of the program against its yardstick,
# measured in the same run, as medians:
#
#   bash bench/run_all.sh [BIN_DIR]        (BIN_DIR defaults to build/bin)
#
#   1. the archiver's run on a 1 KB file as the engine starts it, against a
#      bare start of /bin/true (in turns, bench_datapath);
#   2. the archiver's start alone, `rar -?`;
#   3. a compress pass and 4. an extract pass over FILES small files
#      (default 500 of 2048 bytes) against a shell loop of `tar --zstd` and
#      `mv` on the same files (bench_engine, RUNS times, default 3). The
#      compress pass takes files it has seen once and that stayed quiet
#      since; the same pass on files it meets for the first time, which waits
#      out their quiet period (2 s) once, is printed beside it;
#   5. a 200 MiB file: `rar a` against `zstd -3 -T2` and a sync of the file,
#      `rar e` against `zstd -d` and a sync of the file (bench_rar.sh);
#   6. the processor time of a pass over 200 pairs whose folders are empty.
#
# The build must hold rar, bench_datapath, bench_engine and rar_bench_data
# (all built by scripts/build.sh). Files go under TMPDIR (default /tmp): put
# it on the disk the program will use, not on a tmpfs, or the syncs cost
# nothing. Nothing is asserted; the goals are printed beside the figures.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=$(realpath "${1:-build/bin}")
runs=${RUNS:-3}
files=${FILES:-500}
bytes=${BYTES:-2048}

for tool in rar bench_datapath bench_engine rar_bench_data; do
    [[ -x $bin/$tool ]] || { echo "missing $bin/$tool: build it first" >&2; exit 2; }
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# median_of PREFIX FILE: the number after "median" on the line that starts with PREFIX.
median_of() { awk -v p="$1" 'index($0, p) == 1 { sub(/.*median/, ""); print $1 + 0; exit }' "$2"; }

out=$(mktemp -d "${TMPDIR:-/tmp}/velmorado-bench.XXXXXX")
trap 'rm -rf "$out"' EXIT

# What an earlier run wrote is on the disk before this one starts (its
# write-back would otherwise fall into the first rows' flushes).
sync
echo "== 1, 2: one small file, and the archiver's start (bench_datapath 300)"
"$bin/bench_datapath" "${SPAWN_RUNS:-300}" | tee "$out/datapath.txt"
rar_a=$(median_of "rar a -os" "$out/datapath.txt")
spawn=$(median_of "posix_spawn" "$out/datapath.txt")
help=$(median_of "RunRarConsole" "$out/datapath.txt")

echo
echo "== 3, 4, 6: bench_engine $files $bytes, $runs runs"
declare -a ec ef ex sc sx idle
for ((i = 1; i <= runs; ++i)); do
    "$bin/bench_engine" "$files" "$bytes" | tee "$out/engine.txt"
    ec+=("$(awk '/^engine compress pass :/ { print $(NF-3) }' "$out/engine.txt")")
    ef+=("$(awk '/^engine compress pass, files first seen/ { print $9 }' "$out/engine.txt")")
    ex+=("$(awk '/^engine extract pass/ { print $(NF-3) }' "$out/engine.txt")")
    sc+=("$(awk '/^shell tar\+mv compress/ { print $(NF-1) }' "$out/engine.txt")")
    sx+=("$(awk '/^shell tar\+mv extract/ { print $(NF-3) }' "$out/engine.txt")")
    idle+=("$(awk '/^pass over 200 empty pairs/ { print $6 }' "$out/engine.txt")")
done

echo
echo "== 5: a 200 MiB file (bench_rar.sh)"
RUNS=$runs bash "$here/rar/bench_rar.sh" "$bin" | tee "$out/rar.txt"
big_c=$(awk '/compress rar\/\(zstd\+sync\)/ { print $NF }' "$out/rar.txt")
big_x=$(awk '/extract rar\/\(zstd\+sync\)/ { print $NF }' "$out/rar.txt")

m_ec=$(median "${ec[@]}") m_ef=$(median "${ef[@]}") m_ex=$(median "${ex[@]}")
m_sc=$(median "${sc[@]}") m_sx=$(median "${sx[@]}")
m_idle=$(median "${idle[@]}")

echo
echo "== Summary (medians)"
printf '%-44s %-32s %-10s %s\n' "figure" "measured" "ratio" "goal"
printf '%-44s %-32s %-10s %s\n' \
    "rar a, 1 KB file / start of /bin/true" "${rar_a} us / ${spawn} us" "$(ratio "$rar_a" "$spawn")x" "<= 3x" \
    "rar -? (start-up only)" "${help} us" "-" "<= 1500 us" \
    "compress pass / shell tar+mv (files/s)" "${m_ec} / ${m_sc}" "$(ratio "$m_ec" "$m_sc")x" ">= 2x" \
    "  the same, files first seen (2 s quiet)" "${m_ef} / ${m_sc}" "$(ratio "$m_ef" "$m_sc")x" "-" \
    "extract pass / shell tar+mv (files/s)" "${m_ex} / ${m_sx}" "$(ratio "$m_ex" "$m_sx")x" ">= 2x" \
    "200 MiB rar a / zstd -3 -T2 + sync" "-" "${big_c}x" "<= 1.0x" \
    "200 MiB rar e / zstd -d + sync" "-" "${big_x}x" "<= 1.0x" \
    "pass over 200 empty pairs, CPU" "${m_idle} ms" "-" "<= 1 ms"
