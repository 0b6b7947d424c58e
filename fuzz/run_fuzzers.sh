#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset's build for a bounded time each, starting from its
# seed corpus, and fails on the first finding (crash, sanitizer report, leak, timeout or failed
# check). Inputs that caused a finding and each target's log are kept in build/fuzz/findings/.
#
#   fuzz/run_fuzzers.sh [SECONDS_EACH] [TARGET...]     (default: 60 s each, every target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
build=$PWD/build/fuzz
targets=("$@")
if ((${#targets[@]} == 0)); then
  for t in "$build"/fuzz/fuzz_*; do targets+=("$(basename "$t")"); done
fi

mkdir -p "$build/findings"
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  echo "== $target: ${seconds}s"
  # New inputs go to the corpus directory, seeds are only read. -close_fd_mask=1 keeps the
  # code's report away; its error messages, the sanitizers' and the checks' go to the log.
  log=$build/findings/$name.log
  # Each target runs in an empty directory of its own, which it checks stays unchanged.
  scratch=$build/scratch/$name
  rm -rf "$scratch" && mkdir -p "$scratch"
  status=0
  (cd "$scratch" && exec "$build/fuzz/$target" "$corpus" "$build/seeds/$name" \
    -max_total_time="$seconds" -max_len=4096 -timeout=30 -rss_limit_mb=2048 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$build/findings/$name-") \
    >"$log" 2>&1 || status=$?
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$log" || true
  if ((status != 0)); then
    # The report: the sanitizer's or the check's message and the stack, and the saved input.
    grep -v -E '^(#[0-9]+|INFO:)' "$log" | head -60 >&2
    echo "$target: finding (exit status $status), input kept in $build/findings/" >&2
    exit 1
  fi
done
echo "fuzzing: ${#targets[@]} passed, 0 failed"
