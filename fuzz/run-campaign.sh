#!/usr/bin/env bash
# Fuzzes every target for a while under AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   fuzz/run-campaign.sh [seconds per target, default 60] [target ...]
#
# Targets: bmp and detect (decode_fuzzer.cpp), and one per other fuzz/<name>_fuzzer.cpp;
# by default all of them.
#
# Builds with clang into build-fuzz (or $BUILD), with the engine instrumented for coverage,
# runs each target from its corpus fuzz/corpus/<target>/, then merges the inputs that
# reached new code back into that corpus. Crashing inputs are left in
# build-fuzz/artifacts/<target>/; make each one a regression row or corpus file once fixed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift $(($# > 0 ? 1 : 0))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(bmp detect)
  for source in "$root"/fuzz/*_fuzzer.cpp; do
    name=$(basename "$source" _fuzzer.cpp)
    [ "$name" = decode ] || targets+=("$name")
  done
fi
build=${BUILD:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPANELLE_SANITIZE=ON -DPANELLE_FUZZ_COVERAGE=ON -DPANELLE_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]/%/_fuzzer}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for target in "${targets[@]}"; do
  corpus=$root/fuzz/corpus/$target
  found=$build/fuzz-found/$target
  artifacts=$build/artifacts/$target
  mkdir -p "$corpus" "$found" "$artifacts"
  echo "== $target: ${seconds}s"
  # New inputs go to a scratch directory first; the committed corpus is only read.
  # Detection sees every format: it starts from every corpus.
  seeds=("$corpus")
  if [ "$target" = detect ]; then
    for dir in "$root"/fuzz/corpus/*/; do
      [ "${dir%/}" = "$corpus" ] || seeds+=("${dir%/}")
    done
  fi
  if ! "$build/bin/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$found" "${seeds[@]}"; then
    echo "== $target: crashed; inputs in $artifacts" >&2
    status=1
  fi
  # Keep only what adds coverage to everything the target started from: merge into a copy
  # of its seeds, and move what the merge added into its corpus.
  merged=$build/fuzz-merged/$target
  rm -rf "$merged" && mkdir -p "$merged"
  for dir in "${seeds[@]}"; do
    find "$dir" -maxdepth 1 -type f -exec cp -t "$merged" {} +
  done
  list() { find "$merged" -maxdepth 1 -type f -printf '%f\n' | sort; }
  list >"$merged.before"
  "$build/bin/${target}_fuzzer" -merge=1 "$merged" "$found" 2>&1 | grep -E 'MERGE-OUTER: [0-9]+ new files' || true
  list | comm -13 "$merged.before" - | while read -r name; do cp -- "$merged/$name" "$corpus/"; done
done
exit $status
