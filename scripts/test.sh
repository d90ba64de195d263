#!/usr/bin/env bash
# Builds the module, the host-framework stand-ins, the tools and the tests, and
# runs every test through CTest. Installs the Debian packages that are missing.
#
#   scripts/test.sh                     build/ , plain build
#   scripts/test.sh --sanitize=address  build-address/ , AddressSanitizer + UBSan
#   scripts/test.sh --sanitize=thread   build-thread/ , ThreadSanitizer
# Further arguments after -- go to ctest (for example -- -R video).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib/packages.sh"

sanitize=""
ctest_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize=address|--sanitize=thread) sanitize=${1#--sanitize=} ;;
    --help|-h) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    --) shift; ctest_args=("$@"); break ;;
    *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

ensure_packages "${OPTIVANE_BUILD_PACKAGES[@]}" "${OPTIVANE_TEST_PACKAGES[@]}"

build="$root/build${sanitize:+-$sanitize}"
cmake -S "$root" -B "$build" -G Ninja -DOPTIVANE_SANITIZE="$sanitize" >/dev/null
cmake --build "$build"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=0:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
ctest --test-dir "$build" --output-on-failure "${ctest_args[@]}"
