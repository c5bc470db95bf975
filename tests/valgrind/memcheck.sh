#!/usr/bin/env bash
# Runs one test command under Valgrind's memcheck. The build tree configured with
# -DPANELLE_VALGRIND=ON puts this script in front of every test of our own executables
# (CMake's CROSSCOMPILING_EMULATOR), so those tests fail on an invalid read or write, a use
# of uninitialised memory, or a definite or indirect leak. Programs the tests start (the
# reference tools, java) run natively: children are not traced.
set -u
here="$(cd "$(dirname "$0")" && pwd)"

# libjpeg-turbo's SIMD code (AVX2 colour conversion, upsampling) hands back pixels that
# memcheck cannot follow and reports as uninitialised, in djpeg as well as here; with this
# switch the library takes its plain C paths, which memcheck follows exactly.
export JSIMD_FORCENONE=1
# Qt compiles regular expressions to machine code with PCRE2's JIT, which memcheck cannot
# follow (every match reports jumps on uninitialised values in code of no object); Qt's own
# switch makes it interpret them instead.
export QT_ENABLE_REGEXP_JIT=0
log="$(mktemp "${TMPDIR:-/tmp}/memcheck.XXXXXX")"

valgrind --tool=memcheck -q --error-exitcode=86 --child-silent-after-fork=yes \
  --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
  --track-origins=no --suppressions="$here/suppressions.supp" --log-file="$log" "$@"
status=$?
[ -s "$log" ] && cat "$log" >&2
rm -f "$log"

if [ "$status" -eq 86 ]; then
  # Memcheck found errors. Dying by a signal fails the test even where it expects a failing
  # exit status (WILL_FAIL), which an exit status alone could not do.
  echo "memcheck: errors in: $*" >&2
  trap - ABRT
  kill -ABRT $$
fi
exit "$status"
