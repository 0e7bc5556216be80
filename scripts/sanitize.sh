#!/usr/bin/env bash
# Builds with each sanitizer into build-<sanitizer>/ and runs the tests there.
# Usage: scripts/sanitize.sh [address|undefined|thread ...] [-- ctest arguments]
# Without names, all three run in turn; the first failing one ends the script.
set -euo pipefail
cd "$(dirname "$0")/.."
sans=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do sans+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift
[ ${#sans[@]} -gt 0 ] || sans=(address undefined thread)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
for san in "${sans[@]}"; do
  case "$san" in
    address|undefined|thread) ;;
    *) echo "unknown sanitizer: $san (address, undefined or thread)" >&2; exit 2 ;;
  esac
  echo "== $san"
  BUILD_DIR="build-$san" BUILD_TYPE=Debug scripts/build.sh -DPORLINEX_SANITIZE="$san"
  ctest --test-dir "build-$san" --output-on-failure -j "${JOBS:-4}" "$@"
done
