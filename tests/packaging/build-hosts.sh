#!/bin/sh
# Copies an installed tree to a temporary folder, so that only its relative
# paths can lead the way, and builds host/ against it twice: through
# find_package(Optivane CONFIG) and through pkg-config. Runs each host.
#
#   build-hosts.sh INSTALL-FOLDER LIBRARY-FOLDER CMAKE-GENERATOR
# LIBRARY-FOLDER is where the package files lie under the tree ("lib").
# CXXFLAGS and LDFLAGS reach both builds.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$1" "$work/optivane"
cp -R "$here/host" "$work/host"

echo "find_package(Optivane CONFIG):"
cmake -S "$work/host" -B "$work/cmake-build" -G "$3" -DCMAKE_PREFIX_PATH="$work/optivane" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/host"

echo "pkg-config optivane:"
export PKG_CONFIG_PATH="$work/optivane/$2/pkgconfig"
moduledir=$(pkg-config --variable=moduledir optivane)
# The flags are lists of words: unquoted on purpose.
c++ ${CXXFLAGS:-} $(pkg-config --cflags optivane) -DOPTIVANE_MODULE_DIR="\"$moduledir\"" "$work/host/Host.cpp" \
  -o "$work/pkg-config-host" ${LDFLAGS:-} -ldl
"$work/pkg-config-host"
