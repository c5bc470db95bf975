#!/usr/bin/env bash
# Runs the codec benchmark (bench/codec_bench.cpp) and prints, per codec, the median decode
# and encode throughput through the engine and through the plain library, and the ratio of
# their CPU times: 1.00 is no overhead, 1.10 the target's limit. CPU time rather than wall
# time, and the median of several repetitions, keep the numbers steady on a busy machine.
#
#   bench/run-codec-bench.sh [REPETITIONS]       (default 9; BUILD=dir picks the build tree)
#
# Extra arguments after REPETITIONS go to the benchmark; a filter picks the codecs to run,
# e.g. --benchmark_filter='^(png|bmp)/'.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
repetitions=${1:-9}
shift || true

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target codec_bench >/dev/null

csv=$(mktemp)
out=$(mktemp)
err=$(mktemp)
codecs=$(mktemp)
trap 'rm -f "$csv" "$out" "$err" "$codecs"' EXIT
"$build/bin/codec_bench" --benchmark_list_tests=true "$@" | cut -d/ -f1 | uniq >"$codecs"

# One process per codec, so that what one codec leaves in the heap does not weigh on the
# next; within it the repetitions of the engine and the plain side are interleaved, so that
# both see the same load.
while read -r codec; do
  if ! "$build/bin/codec_bench" "$@" --benchmark_filter="^$codec/" --benchmark_repetitions="$repetitions" \
    --benchmark_min_time=0.2 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_out_format=csv --benchmark_out="$out" \
    >/dev/null 2>"$err"; then
    cat "$err"
    exit 1
  fi
  cat "$out" >>"$csv"
done <"$codecs"

echo "Codec throughput on a 1200 x 1800 comic page, megapixels per second of CPU time"
echo "(median of $repetitions repetitions); ratio = engine CPU time / plain library CPU time."
echo
# Codecs in the order the benchmark lists them, then the CSV rows:
# "name_median",iterations,real_time,cpu_time,time_unit,... with name codec/op/side.
awk -F, '
  FNR == NR { order[++n] = $0; next }
  /_median"/ {
    name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
    split(name, part, "/")
    codec = part[1]; op = part[2]; side = part[3]
    unit = $5; gsub(/"/, "", unit)
    seconds = $4 / (unit == "ns" ? 1e9 : unit == "us" ? 1e6 : unit == "ms" ? 1e3 : 1)
    time[codec, op, side] = seconds
  }
  function rate(t) { return t ? sprintf("%13.1f", 1200 * 1800 / 1e6 / t) : sprintf("%13s", "-") }
  function ratio(c, o) {
    if (!time[c, o, "engine"] || !time[c, o, "plain"]) return sprintf("%5s", "-")
    return sprintf("%5.2f", time[c, o, "engine"] / time[c, o, "plain"])
  }
  END {
    printf "| %-9s | %13s | %13s | %5s | %13s | %13s | %5s |\n", "codec", "decode engine", "decode plain",
      "ratio", "encode engine", "encode plain", "ratio"
    printf "|-----------|--------------:|--------------:|------:|--------------:|--------------:|------:|\n"
    for (i = 1; i <= n; ++i) {
      c = order[i]
      printf "| %-9s | %s | %s | %s | %s | %s | %s |\n", c,
        rate(time[c, "decode", "engine"]), rate(time[c, "decode", "plain"]), ratio(c, "decode"),
        rate(time[c, "encode", "engine"]), rate(time[c, "encode", "plain"]), ratio(c, "encode")
    }
  }' "$codecs" "$csv"

# A pair whose engine and plain outputs differ is reported as an error instead of a time.
if grep -q ',true,"' "$csv"; then
  echo
  echo "Benchmarks that did not run:"
  grep ',true,"' "$csv" | sed -E 's/^"([^"]*)".*,true,"(.*)"$/  \1: \2/'
  exit 1
fi
