#!/usr/bin/env bash
# Frames per second that `optivane stream` receives from Aravis's fake GigE
# Vision camera (arv-fake-gv-camera-0.8) at 2048 x 2048 Mono8 and the highest
# frame rate the camera accepts, beside what arv-camera-test-0.8 receives from
# the same camera in the same settings, one after the other in one private
# network namespace. Needs the installed tool: run scripts/demo.sh first.
# Installs what it uses when missing: aravis-tools (the fake camera and
# arv-camera-test-0.8) and aravis-tools-cli (arv-tool-0.8).
#
#   scripts/measure-stream.sh [--seconds S] [--rounds N]   (default 10 s, 3 rounds)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
install="$root/build/install"
camera_id="Aravis-Fake-GV01"
seconds=10
rounds=3

# The part that runs inside the namespace.
if [ "${1:-}" = "--inside-namespace" ]; then
  seconds=$2
  rounds=$3
  work=$(mktemp -d)
  ip link set lo up
  ip addr add 127.0.0.2/8 dev lo
  arv-fake-gv-camera-0.8 -i 127.0.0.2 >"$work/camera.log" 2>&1 &
  camera_pid=$!
  trap 'kill "$camera_pid" 2>/dev/null || true; wait "$camera_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 1 100); do
    arv-tool-0.8 -a 127.0.0.2 control Width >/dev/null 2>&1 && break
    sleep 0.1
  done
  arv-tool-0.8 -a 127.0.0.2 control Width=2048 Height=2048 PixelFormat=Mono8 >/dev/null
  rate=$(arv-tool-0.8 -a 127.0.0.2 control AcquisitionFrameRate | sed -n 's/.*max:\([0-9.]*\).*/\1/p')
  [ -n "$rate" ] || { echo "cannot read the highest frame rate of the fake camera" >&2; exit 1; }
  echo "fake camera: 2048 x 2048 Mono8, frame rate set to its highest, $rate fps; $seconds s per run"
  echo "round  optivane stream  arv-camera-test-0.8"
  for round in $(seq 1 "$rounds"); do
    "$install/optivane" set "$camera_id" frame-rate="$rate" >/dev/null
    tool=$("$install/optivane" stream "$camera_id" --seconds "$seconds" |
      sed -n 's/.*: \([0-9.]*\) fps on average.*/\1/p')
    # arv-camera-test prints "NN frames/s - ..." once a second; the first
    # second holds the start and is left out, as the tool's average leaves
    # out the time before the first frame.
    reference=$(timeout $((seconds + 30)) arv-camera-test-0.8 -n "$camera_id" -w 2048 -h 2048 -f "$rate" \
        --duration "$seconds" 2>/dev/null |
      awk '/frames\/s/ { n++; if (n > 1) { sum += $1; m++ } } END { if (m > 0) printf "%.2f", sum / m }')
    printf '%5d  %15s  %19s\n' "$round" "${tool:-failed}" "${reference:-failed}"
  done
  exit 0
fi

while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    --help|-h) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
[ -x "$install/optivane" ] || { echo "no installed optivane in $install: run scripts/demo.sh first" >&2; exit 1; }
source "$root/scripts/lib/packages.sh"
ensure_packages aravis-tools aravis-tools-cli iproute2 util-linux
if [ "$(id -u)" = "0" ]; then
  namespace=(unshare -n)
else
  namespace=(unshare -rn)
fi
"${namespace[@]}" -- bash "$root/scripts/measure-stream.sh" --inside-namespace "$seconds" "$rounds"
