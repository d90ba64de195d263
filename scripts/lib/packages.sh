# Installs the Debian packages that are missing, and only those.
# Usage: ensure_packages NAME...
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building the module and its tools needs.
OPTIVANE_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libaravis-dev libusb-1.0-0-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  librapidxml-dev libcli11-dev
)
# What the tests need besides: GoogleTest, Aravis' fake GigE Vision camera,
# and the tools that make private network namespaces.
# MinGW-w64 and Wine build and run the Windows side of the platform layer.
OPTIVANE_TEST_PACKAGES=(libgtest-dev aravis-tools iproute2 util-linux g++-mingw-w64-x86-64-posix wine64)
