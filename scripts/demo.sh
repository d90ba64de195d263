#!/usr/bin/env bash
# Builds the module and its command-line host, then finds and streams from
# all four kinds of camera inside a private network namespace that has only
# loopback: optivane-frame-source on 127.0.0.1:45000 is listed alone as the
# virtual camera; then optivane-fake-camera answers as a GigE camera on
# 127.0.0.2 and, with its IDS peak preset, as an IDS peak camera on
# 127.0.0.3, and optivane-fake-phone as a phone on 127.0.0.5; the installed
# optivane program lists them (as a table and as JSON) in search order and
# streams about 3 s from each, saving pictures to demo-out/<kind>/.
# Installs the Debian packages that are missing. Everything started is
# stopped at the end.
#
#   scripts/demo.sh          build in build/, install into build/install, run
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
install="$root/build/install"
out="$root/demo-out"

step() {
  if [ -t 1 ]; then printf '\n\033[1m== %s\033[0m\n' "$*"; else printf '\n== %s\n' "$*"; fi
}

# The part that runs inside the namespace: $2 is the install folder, $3 the
# folder for pictures.
if [ "${1:-}" = "--inside-namespace" ]; then
  install=$2
  out=$3
  ip link set lo up
  for host in 2 3 5; do ip addr add "127.0.0.$host/8" dev lo; done
  started=()
  trap 'kill "${started[@]}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
  # Starts a simulator with its output in $out/NAME.log and waits for its
  # "listening on ADDRESS" line. Usage: start NAME ADDRESS PROGRAM ARGS...
  start() {
    local name=$1 address=$2
    shift 2
    "$@" >"$out/$name.log" 2>&1 &
    started+=($!)
    for _ in $(seq 1 100); do
      grep -q "listening on $address" "$out/$name.log" && return 0
      kill -0 "${started[-1]}" 2>/dev/null || break
      sleep 0.1
    done
    echo "$name did not start:" >&2
    cat "$out/$name.log" >&2
    exit 1
  }
  tool="$install/optivane"

  start frame-source 127.0.0.1:45000 "$install/optivane-frame-source" --pattern moving --size 640x480 --fps 30
  step "optivane list  (a frame source on 127.0.0.1:45000, nothing else)"
  "$tool" list

  start fake-camera 127.0.0.2 "$install/optivane-fake-camera" --address 127.0.0.2
  start fake-ids 127.0.0.3 "$install/optivane-fake-camera" --address 127.0.0.3 --serial P1 --preset ids-peak
  start fake-phone 127.0.0.5 "$install/optivane-fake-phone" --address 127.0.0.5
  echo "simulated: GigE camera on 127.0.0.2, IDS peak camera on 127.0.0.3, phone on 127.0.0.5"
  step "optivane list --network 127.0.0.1"
  "$tool" list --network 127.0.0.1
  step "optivane list --network 127.0.0.1 --json"
  "$tool" list --network 127.0.0.1 --json

  # One id of each kind, as the list shows them; the virtual camera is
  # unlisted beside the others and opens by its id all the same.
  for camera in "peak IDS/IdsSim/P1 20" "aravis Aravis-Fake-GV01 25" "phone SMPHCA00127.0.0.5:60000 1" \
                "virtual 127.0.0.1:45000 30"; do
    read -r kind id every <<<"$camera"
    mkdir -p "$out/$kind"
    step "optivane stream $id --seconds 3 --save demo-out/$kind --every $every"
    "$tool" stream "$id" --seconds 3 --save "$out/$kind" --every "$every"
  done
  exit 0
fi

case "${1:-}" in
  "") ;;
  --help|-h) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
esac

source "$root/scripts/lib/packages.sh"
# The build folder is the one scripts/test.sh uses, whose configuration takes
# in the tests: GoogleTest is needed to configure it, not aravis-tools.
ensure_packages "${OPTIVANE_BUILD_PACKAGES[@]}" libgtest-dev iproute2 util-linux

step "building into build/ and installing into build/install"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
# Only what is installed: the module, the host framework's stand-ins, the tools.
cmake --build "$root/build" --target Optivane Zendra Linquet optivane optivane-fake-camera optivane-fake-phone
cmake --build "$root/build" --target Mirvale optivane-frame-source
cmake --install "$root/build" --prefix "$install" >/dev/null
echo "installed into $install: $(cd "$install" && ls -d lib*.so optivane* | tr '\n' ' ')"

rm -rf "$out"
mkdir -p "$out"
if [ "$(id -u)" = "0" ]; then
  namespace=(unshare -n)
else
  namespace=(unshare -rn)
fi
if ! "${namespace[@]}" true 2>/dev/null; then
  echo "cannot make a private network namespace here (${namespace[*]} refused); the demo runs only inside one" >&2
  exit 1
fi
"${namespace[@]}" -- bash "$root/scripts/demo.sh" --inside-namespace "$install" "$out"

step "done"
echo "Pictures are in $out:"
(cd "$out" && ls -1 ./*/*.png | sed 's|^\./|  demo-out/|')
