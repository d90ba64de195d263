# Installs the Debian packages that are missing, and only those, with one line
# per step. apt's own output goes to build/apt.log; when a step fails, its last
# lines are shown with the path of the whole log.
# Usage: ensure_packages NAME...
_optivane_apt_log="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/apt.log"

ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  local log=$_optivane_apt_log
  mkdir -p "$(dirname "$log")"
  : >"$log"
  echo "Updating package lists..."
  # Another install running at the same time holds apt's lock: wait for it.
  local wait_for_lock=(-o DPkg::Lock::Timeout=300)
  _apt_step "$log" "updating the package lists" $sudo apt-get "${wait_for_lock[@]}" update || return 1
  local noun=packages
  [ ${#missing[@]} -eq 1 ] && noun=package
  echo "Installing ${#missing[@]} $noun: ${missing[*]}"
  _apt_step "$log" "installing ${missing[*]}" \
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get "${wait_for_lock[@]}" install -y --no-install-recommends \
      "${missing[@]}" || return 1
}

# Runs one apt command with its output appended to LOG; on failure says what
# failed, shows the log's last lines and where the whole of it is.
# Usage: _apt_step LOG WHAT COMMAND...
_apt_step() {
  local log=$1 what=$2
  shift 2
  "$@" >>"$log" 2>&1 && return 0
  echo "Failed $what; the last lines of $log:" >&2
  tail -n 15 "$log" | sed 's/^/  /' >&2
  echo "The whole apt output is in $log" >&2
  return 1
}

# What building the module and its tools needs.
OPTIVANE_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libaravis-dev libusb-1.0-0-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libopencv-videoio-dev
  librapidxml-dev libcli11-dev
  nlohmann-json3-dev
)
# What the tests need besides: GoogleTest, Aravis' fake GigE Vision camera,
# and the tools that make private network namespaces.
# MinGW-w64 and Wine build and run the Windows side of the platform layer.
OPTIVANE_TEST_PACKAGES=(libgtest-dev aravis-tools iproute2 util-linux g++-mingw-w64-x86-64-posix wine64)
