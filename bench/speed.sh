#!/usr/bin/env bash
# Times the converter on generated images, side by side with `cat` and with the tick-by-tick
# reference decoder:
#   - `cat IMAGE >/dev/null`, `r38dec -d IMAGE` and `r38dec IMAGE` on a 512 MiB realistic image;
#   - `r38dec` on a 1 MiB realistic image, for its peak memory;
#   - the reference converter (r38_reference_dump) and `r38dec -d` on a 16 MiB pathological one.
# Prints the CPU time (user + sys, the median of the runs, so that other work on a shared machine
# counts little), the throughput, the ratios and the peak resident memory (the largest of the
# runs). The images live in a temporary directory that is deleted at the end. r38dec takes an
# argument that starts with "/" for an option, so the images are named relative to the
# directory it runs in.
#
#   cmake --preset bench && cmake --build --preset bench && bench/speed.sh [RUNS]
#
# RUNS defaults to 5 (at most 3 for the reference, which takes about 20 seconds a run).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
reference_runs=$((runs < 3 ? runs : 3))
bin=$PWD/build/bench
for tool in r38dec bench/r38_make_tape bench/r38_reference_dump bench/r38_cpu_time; do
  if [[ ! -x $bin/$tool ]]; then
    echo "speed.sh: $bin/$tool is missing; build the bench preset first:" >&2
    echo "  cmake --preset bench && cmake --build --preset bench" >&2
    exit 2
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/r38-speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
realistic=$work/realistic.r38
small=$work/small.r38
pathological=$work/pathological.r38
echo "generating images in $work ..."
"$bin/bench/r38_make_tape" realistic 512 "$realistic"
"$bin/bench/r38_make_tape" realistic 1 "$small"
"$bin/bench/r38_make_tape" pathological 16 "$pathological"
cat "$realistic" "$small" "$pathological" >/dev/null  # into the page cache

# measure RUNS COMMAND...: runs the command in an empty output directory each time and prints
# the median CPU seconds and the largest peak RSS in KiB.
measure() {
  local n=$1
  shift
  for ((i = 0; i < n; i++)); do
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$work/out" && "$bin/bench/r38_cpu_time" "$@")
  done | sort -n | awk '{ cpu[NR] = $1; if ($2 > rss) rss = $2 }
                        END { printf "%s %d\n", cpu[int((NR + 1) / 2)], rss }'
}

mib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.0f", b / 1048576 }'; }

# row IMAGE LABEL CPU RSS BASE_CPU
row() {
  awk -v bytes="$(stat -c %s "$1")" -v label="$2" -v cpu="$3" -v rss="$4" -v base="$5" \
    -v image="$(basename "$1" .r38) $(mib "$1") MiB" 'BEGIN {
      cpu_shown = cpu < 0.001 ? 0.001 : cpu
      ratio = base > 0 ? sprintf("%.2f", cpu_shown / base) : "-"
      printf "%-22s %-22s %9.4f %10.1f %9s %9.1f\n", image, label, cpu, bytes / 1e6 / cpu_shown,
             ratio, rss / 1024 }'
}

read -r cat_cpu cat_rss < <(measure "$runs" cat "$realistic")
read -r dump_cpu dump_rss < <(measure "$runs" "$bin/r38dec" ../realistic.r38 -d)
read -r extract_cpu extract_rss < <(measure "$runs" "$bin/r38dec" ../realistic.r38)
read -r small_cpu small_rss < <(measure "$runs" "$bin/r38dec" ../small.r38)
read -r reference_cpu reference_rss < <(measure "$reference_runs" "$bin/bench/r38_reference_dump" "$pathological")
read -r patho_cpu patho_rss < <(measure "$runs" "$bin/r38dec" ../pathological.r38 -d)

echo
echo "CPU seconds (user + sys): median of $runs runs ($reference_runs for the reference); ratio to the row's base"
printf "%-22s %-22s %9s %10s %9s %9s\n" image program "cpu s" "MB/s" ratio "peak MiB"
row "$realistic" "cat >/dev/null" "$cat_cpu" "$cat_rss" "$cat_cpu"
row "$realistic" "r38dec -d" "$dump_cpu" "$dump_rss" "$cat_cpu"
row "$realistic" "r38dec" "$extract_cpu" "$extract_rss" "$cat_cpu"
row "$small" "r38dec" "$small_cpu" "$small_rss" 0
row "$pathological" "r38dec -d" "$patho_cpu" "$patho_rss" "$patho_cpu"
row "$pathological" "r38_reference_dump" "$reference_cpu" "$reference_rss" "$patho_cpu"
