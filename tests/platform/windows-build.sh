#!/bin/sh
# Cross-builds for 64-bit Windows, with MinGW-w64, the parts that need neither
# Aravis nor OpenCV: the platform layer's Windows side, the runtime, the COM
# frame and the host-framework stand-ins, with their tests. Checks that
# Zendra.dll and Linquet.dll export DllCreateInstance and nothing else, then
# runs the tests under Wine. Exits 77 (skipped) without MinGW-w64 or Wine.
# Run it inside the test network namespace: the Linquet test opens sockets.
#
#   windows-build.sh SOURCE-FOLDER BUILD-FOLDER
set -u
source_dir=$1
build_dir=$2
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "SKIPPED: no MinGW-w64 (Debian package g++-mingw-w64-x86-64-posix)"
  exit 77
fi
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64.cmake" \
  -DOPTIVANE_PORTABLE_ONLY=ON >/dev/null || exit 1
cmake --build "$build_dir" || exit 1

"$source_dir/tests/check-exports.sh" "$build_dir/out/Zendra.dll" "$build_dir/out/Linquet.dll" "$build_dir/out/Mirvale.dll" || exit 1

wine=/usr/lib/wine/wine64
if [ ! -x "$wine" ]; then
  echo "SKIPPED: built, but the tests need Wine (Debian package wine64)"
  exit 77
fi
# No Mono or Gecko: the prefix is made without asking to fetch them.
export WINEPREFIX="$build_dir/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
status=0
ctest --test-dir "$build_dir" --output-on-failure || status=1
# Wine's server lingers after its last program; end it with the test.
/usr/lib/wine/wineserver64 -k 2>/dev/null
exit $status
