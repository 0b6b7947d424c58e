#!/usr/bin/env bash
# Converts a folder tree of small tape images the way the README shows, and reports images per
# second: every image extracted into a folder of its own in parallel, then one JSON report
# gathered from `r38 list --json`.
#
#   bench/archive_throughput.sh [BUILD_DIR] [IMAGES]    (defaults: build/default, 1000)
set -euo pipefail
build_dir=$(cd "${1:-build/default}" && pwd)
count=${2:-1000}
export PATH="$build_dir:$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# An archive of `count` images in 10 folders, each image holding a BASIC program and a data file.
for ((i = 0; i < count; i++)); do
  dir="archive/box$((i % 10))"
  mkdir -p "$dir" src
  printf '10 PRINT "TAPE %d"\r\n20 END\r\n' "$i" >src/PROG.BAS
  head -c $((200 + i % 300)) /dev/urandom >src/DATA.TXT
  r38 build -o "$dir/tape$i.r38" src/PROG.BAS src/DATA.TXT
done
bytes=$(du -sb archive | cut -f1)

start=$(date +%s.%N)
find archive -name '*.r38' -print0 |
  xargs -0 -P "$(nproc)" -I{} sh -c 'mkdir -p "out/$1" && r38 extract -C "out/$1" "$1" >"out/$1/files.txt"; r38 list --json "$1" >"out/$1/list.json"' _ {}
find out -name list.json -print0 | xargs -0 cat | jq -s '{images: length, files: (map(.totals.files) | add), damaged: [.[] | select(.totals.checksum_errors > 0) | .image]}' >report.json
end=$(date +%s.%N)

extracted=$(find out -type f ! -name files.txt ! -name list.json | wc -l)
seconds=$(echo "$end - $start" | bc -l)
printf '%d images (%d bytes) on %d cores: %.2f s, %.0f images/s; %d files extracted\n' \
  "$count" "$bytes" "$(nproc)" "$seconds" "$(echo "$count / $seconds" | bc -l)" "$extracted"
jq -c . report.json
