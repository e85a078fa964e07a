#!/usr/bin/env bash
# Times the bundled rar against zstd and GNU tar on the same file.
#
#   bench/rar/bench_rar.sh [BIN_DIR]      (BIN_DIR defaults to build/bin)
#
# BIN_DIR must hold the built rar and rar_bench_data; nothing is built here.
# One file of SIZE_MB MiB (default 200) of mixed text-like and random data
# is packed and unpacked RUNS times (default 5) by each tool; the medians,
# the rar/zstd and rar/tar ratios, the compressed sizes and rar's peak
# resident memory (from /usr/bin/time -v) are printed, and rar's peak memory
# is measured again on a SMALL_MB MiB file (default 20) to show it does not
# grow with the file.
#
# Note: rar syncs what it writes (archive, extracted file, folders) before
# it reports success; zstd and tar do not, so their plain times exclude that
# cost. The durable yardstick is zstd followed by a sync of the file it wrote.
set -euo pipefail

bin=$(realpath "${1:-build/bin}")
rar="$bin/rar"
gen="$bin/rar_bench_data"
runs=${RUNS:-5}
size_mb=${SIZE_MB:-200}
small_mb=${SMALL_MB:-20}

for tool in "$rar" "$gen"; do
    [[ -x $tool ]] || { echo "missing $tool: build the rar and rar_bench_data targets" >&2; exit 2; }
done
for tool in zstd tar; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "missing /usr/bin/time (Debian package time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/rar-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p r rx zx tx small smallx

now() { date +%s%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
peak_kb() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"; }

# Runs "$@" under /usr/bin/time -v; prints elapsed seconds, keeps the report in $report.
report=$work/time.txt
# Each command starts on a settled disk: the copy of the input made just
# before it, and what the command before it wrote, are on the disk, so that
# their write-back does not fall into its flushes.
timed() {
    local t0 t1
    sync
    t0=$(now)
    /usr/bin/time -v -o "$report" "$@"
    t1=$(now)
    seconds "$t0" "$t1"
}

echo "making a ${size_mb} MiB test file (half text-like, half random, 1 MiB chunks)"
"$gen" X "$size_mb"

declare -a rar_c rar_x zstd_c zstd_x zstd_cs zstd_xs tar_c tar_x
rar_c_rss=0 rar_x_rss=0
for ((i = 1; i <= runs; ++i)); do
    rm -f r/X.rar # rar never makes an archive over a file
    cp X r/X.rr
    rar_c+=("$(cd r && timed "$rar" a -os X.rar 'X.r?' -df)")
    rar_c_rss=$(( $(peak_kb "$report") > rar_c_rss ? $(peak_kb "$report") : rar_c_rss ))
    [[ ! -e r/X.rr ]] || { echo "rar -df left r/X.rr behind" >&2; exit 1; }
    rm -f rx/X.rr
    rar_x+=("$(cd rx && timed "$rar" e ../r/X.rar)")
    rar_x_rss=$(( $(peak_kb "$report") > rar_x_rss ? $(peak_kb "$report") : rar_x_rss ))
    cmp -s X rx/X.rr || { echo "rar round trip differs" >&2; exit 1; }

    zstd_c+=("$(timed zstd -3 -T2 -q -f X -o X.zst)")
    zstd_x+=("$(timed zstd -d -q -f X.zst -o zx/X)")
    cmp -s X zx/X || { echo "zstd round trip differs" >&2; exit 1; }
    zstd_cs+=("$(timed sh -c 'zstd -3 -T2 -q -f X -o X.zst && sync X.zst')")
    zstd_xs+=("$(timed sh -c 'zstd -d -q -f X.zst -o zx/X && sync zx/X')")

    tar_c+=("$(timed tar --zstd -cf X.tar.zst X)")
    rm -f tx/X
    tar_x+=("$(timed tar --zstd -xf X.tar.zst -C tx)")
    cmp -s X tx/X || { echo "tar round trip differs" >&2; exit 1; }
    echo "run $i: rar a ${rar_c[-1]}s e ${rar_x[-1]}s | zstd ${zstd_c[-1]}s -d ${zstd_x[-1]}s | tar c ${tar_c[-1]}s x ${tar_x[-1]}s"
done

"$gen" small/S.rr "$small_mb"
cp small/S.rr S.orig
(cd small && timed "$rar" a -os S.rar 'S.r?' -df >/dev/null)
small_c_rss=$(peak_kb "$report")
(cd smallx && timed "$rar" e ../small/S.rar >/dev/null)
small_x_rss=$(peak_kb "$report")
cmp -s S.orig smallx/S.rr || { echo "rar round trip (small) differs" >&2; exit 1; }

m_rar_c=$(median "${rar_c[@]}") m_rar_x=$(median "${rar_x[@]}")
m_zstd_c=$(median "${zstd_c[@]}") m_zstd_x=$(median "${zstd_x[@]}")
m_zstd_cs=$(median "${zstd_cs[@]}") m_zstd_xs=$(median "${zstd_xs[@]}")
m_tar_c=$(median "${tar_c[@]}") m_tar_x=$(median "${tar_x[@]}")

echo
echo "medians of $runs runs on a ${size_mb} MiB file ($(stat -c %s X) bytes)"
printf '  %-32s %8s s\n' "rar a -os X.rar X.r? -df" "$m_rar_c" \
    "zstd -3 -T2" "$m_zstd_c" "zstd -3 -T2 + sync" "$m_zstd_cs" "tar --zstd -cf" "$m_tar_c" \
    "rar e X.rar" "$m_rar_x" "zstd -d" "$m_zstd_x" "zstd -d + sync" "$m_zstd_xs" \
    "tar --zstd -xf" "$m_tar_x"
echo "ratios"
printf '  %-32s %8s\n' "compress rar/(zstd+sync)" "$(ratio "$m_rar_c" "$m_zstd_cs")" \
    "extract rar/(zstd+sync)" "$(ratio "$m_rar_x" "$m_zstd_xs")" \
    "compress rar/zstd" "$(ratio "$m_rar_c" "$m_zstd_c")" \
    "compress rar/tar" "$(ratio "$m_rar_c" "$m_tar_c")" \
    "extract rar/zstd" "$(ratio "$m_rar_x" "$m_zstd_x")" \
    "extract rar/tar" "$(ratio "$m_rar_x" "$m_tar_x")"
echo "compressed sizes (bytes)"
printf '  %-32s %12s\n' "X.rar" "$(stat -c %s r/X.rar)" "X.zst" "$(stat -c %s X.zst)" \
    "X.tar.zst" "$(stat -c %s X.tar.zst)"
echo "rar peak resident memory (/usr/bin/time -v, Maximum resident set size)"
printf '  %-32s %8s KiB\n' "compress ${size_mb} MiB (max of runs)" "$rar_c_rss" \
    "extract ${size_mb} MiB (max of runs)" "$rar_x_rss" \
    "compress ${small_mb} MiB" "$small_c_rss" "extract ${small_mb} MiB" "$small_x_rss"
