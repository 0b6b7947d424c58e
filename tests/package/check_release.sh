#!/usr/bin/env bash
# Checks what a release ships, from a finished build folder: the manual pages render without
# warnings, an installed tree lets another project link the decoder with find_package(r38), and
# the Debian package holds the tools, pages, completions and library, with its dependencies.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for page in r38dec r38; do
  warnings=$(MANWIDTH=80 man --warnings -l "$build_dir/man/$page.1" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "manual page $page(1) has warnings:"
    echo "$warnings"
    exit 1
  fi
done

# Completion: the scripts parse, and bash completes a subcommand.
bash -n "$source_dir/completions/r38.bash"
if command -v zsh >/dev/null; then zsh -n "$source_dir/completions/_r38"; fi
if [ -f /usr/share/bash-completion/bash_completion ]; then
  completed=$(bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"
    COMP_WORDS=(r38 li); COMP_CWORD=1; COMP_LINE="r38 li"; COMP_POINT=${#COMP_LINE}
    _r38; echo "${COMPREPLY[*]}"' _ "$source_dir/completions/r38.bash")
  [ "$completed" = "list" ] || { echo "bash completes 'r38 li' as '$completed'"; exit 1; }
fi

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
cmake -S "$source_dir/tests/package/consumer" -B "$work/consumer" \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
(cd "$work" && "$work/consumer/consumer" "$source_dir/samples/sample.r38") > "$work/listing"
grep -q "HELLO" "$work/listing" || { echo "consumer did not list the sample tape"; exit 1; }

(cd "$build_dir" && rm -f r38_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/r38_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for pattern in '^./usr/bin/r38dec$' '^./usr/bin/r38$' \
  '^./usr/share/man/man1/r38dec.1.gz$' '^./usr/share/man/man1/r38.1.gz$' \
  '^./usr/share/bash-completion/completions/r38$' '^./usr/share/zsh/vendor-completions/_r38$' \
  '^./usr/lib/.*cmake/r38/r38Config.cmake$' '^./usr/lib/.*libr38core.a$' \
  '^./usr/include/r38/decode/tape_decoder.h$'; do
  grep -Eq "$pattern" <<<"$contents" || { echo "missing from $deb: $pattern"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libsndfile1; do
  grep -q "$library" <<<"$depends" || { echo "Depends lacks $library: $depends"; exit 1; }
done
version=$(dpkg-deb -f "$deb" Version)
tool_version=$("$build_dir/r38" --version)
[ "$tool_version" = "r38 $version" ] || { echo "versions differ: $tool_version, package $version"; exit 1; }
echo "$(basename "$deb"): Depends: $depends"
