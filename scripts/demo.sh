#!/usr/bin/env bash
# Builds the module and its command-line host, then streams from a simulated
# GigE Vision camera: inside a private network namespace that has only
# loopback, optivane-fake-camera answers on 127.0.0.2 and the installed
# optivane program shows the camera, sets its frame rate and exposure, takes a
# snapshot and streams 100 frames, saving a few; then the virtual camera reads
# optivane-frame-source on 127.0.0.1:45000, and optivane-fake-phone on
# 127.0.0.3 gets the same steps as a phone, and optivane-fake-camera's IDS
# peak preset on 127.0.0.4 is streamed and snapshotted as an IDS peak camera.
# Pictures go to demo-out/.
# Installs the Debian packages that are missing.
#
#   scripts/demo.sh          build in build/, install into build/install, run
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
install="$root/build/install"
out="$root/demo-out"
camera_id="Aravis-Fake-GV01"

step() {
  if [ -t 1 ]; then printf '\n\033[1m== %s\033[0m\n' "$*"; else printf '\n== %s\n' "$*"; fi
}

# The part that runs inside the namespace: $2 is the install folder, $3 the
# folder for pictures.
if [ "${1:-}" = "--inside-namespace" ]; then
  install=$2
  out=$3
  ip link set lo up
  ip addr add 127.0.0.2/8 dev lo
  "$install/optivane-fake-camera" --address 127.0.0.2 >"$out/fake-camera.log" 2>&1 &
  camera_pid=$!
  trap 'kill "$camera_pid" 2>/dev/null || true; wait "$camera_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    grep -q "listening on 127.0.0.2" "$out/fake-camera.log" && break
    kill -0 "$camera_pid" 2>/dev/null || { cat "$out/fake-camera.log" >&2; exit 1; }
    sleep 0.1
  done
  grep -q "listening on 127.0.0.2" "$out/fake-camera.log" || { echo "the fake camera did not start" >&2; exit 1; }
  echo "simulated camera $camera_id answers on 127.0.0.2 (private network namespace)"

  tool="$install/optivane"
  step "optivane info $camera_id"
  "$tool" info "$camera_id"
  step "optivane set $camera_id frame-rate=30 exposure=20ms"
  "$tool" set "$camera_id" frame-rate=30 exposure=20ms
  step "optivane snapshot $camera_id demo-out/snapshot.png"
  "$tool" snapshot "$camera_id" "$out/snapshot.png"
  step "optivane stream $camera_id --frames 100 --save demo-out --every 25"
  "$tool" stream "$camera_id" --frames 100 --save "$out" --every 25

  # The virtual camera: a frame source with the moving pattern on 127.0.0.1:45000.
  "$install/optivane-frame-source" --pattern moving --size 640x480 --fps 30 >"$out/frame-source.log" 2>&1 &
  source_pid=$!
  trap 'kill "$camera_pid" "$source_pid" 2>/dev/null || true; wait "$camera_pid" "$source_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    grep -q "listening on 127.0.0.1:45000" "$out/frame-source.log" && break
    kill -0 "$source_pid" 2>/dev/null || { cat "$out/frame-source.log" >&2; exit 1; }
    sleep 0.1
  done
  grep -q "listening on 127.0.0.1:45000" "$out/frame-source.log" || { echo "the frame source did not start" >&2; exit 1; }
  virtual_id=127.0.0.1:45000
  step "optivane info $virtual_id"
  "$tool" info "$virtual_id"
  step "optivane snapshot $virtual_id demo-out/virtual-snapshot.png"
  "$tool" snapshot "$virtual_id" "$out/virtual-snapshot.png"
  mkdir -p "$out/virtual"
  step "optivane stream $virtual_id --frames 60 --save demo-out/virtual --every 20"
  "$tool" stream "$virtual_id" --frames 60 --save "$out/virtual" --every 20

  # A simulated phone on 127.0.0.3: one photograph per frame, about one a second.
  "$install/optivane-fake-phone" --address 127.0.0.3 >"$out/fake-phone.log" 2>&1 &
  phone_pid=$!
  trap 'kill "$camera_pid" "$source_pid" "$phone_pid" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    grep -q "listening on 127.0.0.3" "$out/fake-phone.log" && break
    sleep 0.1
  done
  grep -q "listening on 127.0.0.3" "$out/fake-phone.log" || { echo "the fake phone did not start" >&2; exit 1; }
  phone_id="phone:127.0.0.3"
  mkdir -p "$out/phone"
  step "optivane info $phone_id"
  "$tool" info "$phone_id"
  step "optivane set $phone_id exposure-step=16 iso=400"
  "$tool" set "$phone_id" exposure-step=16 iso=400
  step "optivane snapshot $phone_id demo-out/phone-snapshot.png"
  "$tool" snapshot "$phone_id" "$out/phone-snapshot.png"
  step "optivane stream $phone_id --frames 3 --save demo-out/phone --every 1"
  "$tool" stream "$phone_id" --frames 3 --save "$out/phone" --every 1

  # A simulated IDS peak camera on 127.0.0.4, at most about 20 frames a second.
  ip addr add 127.0.0.4/8 dev lo
  "$install/optivane-fake-camera" --address 127.0.0.4 --serial P1 --preset ids-peak >"$out/fake-ids.log" 2>&1 &
  ids_pid=$!
  trap 'kill "$camera_pid" "$source_pid" "$phone_pid" "$ids_pid" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    grep -q "listening on 127.0.0.4" "$out/fake-ids.log" && break
    sleep 0.1
  done
  grep -q "listening on 127.0.0.4" "$out/fake-ids.log" || { echo "the IDS peak camera did not start" >&2; exit 1; }
  ids_id="IDS/IdsSim/P1"
  mkdir -p "$out/ids"
  step "optivane info $ids_id"
  "$tool" info "$ids_id"
  step "optivane snapshot $ids_id demo-out/ids-snapshot.png"
  "$tool" snapshot "$ids_id" "$out/ids-snapshot.png"
  step "optivane stream $ids_id --frames 40 --save demo-out/ids --every 20"
  "$tool" stream "$ids_id" --frames 40 --save "$out/ids" --every 20
  exit 0
fi

case "${1:-}" in
  "") ;;
  --help|-h) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
(cd "$out" && ls -1 ./*.png ./virtual/*.png | sed 's|^\./|  demo-out/|')
