#!/usr/bin/env bash
# Builds and runs the whole suite: a normal build, then one with AddressSanitizer and
# UBSan, then the threaded tests under ThreadSanitizer, then the fuzz targets for a
# bounded time. Exits non-zero on any failure.
set -euo pipefail
shopt -s lastpipe
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
start=$(date +%s)

"$root/scripts/install-deps.sh"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/pelmora-ccache}"
# Paths relative to the checkout, so that another clone reuses the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
jobs="$(nproc)"
status=0
passed=0
failed=0
summary="$(mktemp)"
trap 'rm -f "$summary"' EXIT

run_suite() {  # <name> <folder> <ctest args...> -- <cmake options...>
  local name="$1" dir="$2"; shift 2
  local ctest_args=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  echo "=== $name build"
  "$root/scripts/build.sh" "$dir" -DPELMORA_WERROR=ON "$@"
  echo "=== $name tests"
  if ! ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${ctest_args[@]}" | tee "$summary"; then
    status=1
  fi
  # "N% tests passed, F tests failed out of T"
  local line total fails
  line=$(grep -E "tests failed out of [0-9]+" "$summary" | tail -n 1 || true)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    fails=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - fails))
    failed=$((failed + fails))
  else
    status=1
  fi
}

run_suite "normal" build/ci-normal --
# Under the sanitizers the programs run several times slower, and a test that waits
# on the realtime clock can miss its bound on a loaded machine: a failed test is run
# once more there, so that only a failure that repeats fails the run.
run_suite "address+undefined sanitizers" build/ci-asan --repeat until-pass:2 -- \
  -DPELMORA_SANITIZE=address,undefined -DPELMORA_BENCH=OFF
# Qt is not built for ThreadSanitizer, and no desktop-program test is threaded: the
# program is left out of this build.
run_suite "thread sanitizer" build/ci-tsan -L threads --repeat until-pass:2 -- \
  -DPELMORA_SANITIZE=thread -DPELMORA_BENCH=OFF -DPELMORA_APP=OFF

if [ -x "$root/scripts/fuzz.sh" ]; then
  echo "=== fuzzing"
  "$root/scripts/fuzz.sh" || status=1
fi

echo "=== finished in $(( $(date +%s) - start )) s"
if [ $status -ne 0 ] && [ $failed -eq 0 ]; then failed=1; fi  # a build or fuzz failure
echo "tests: $passed passed, $failed failed"
exit $status
