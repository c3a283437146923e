# Shared by the project's scripts: installing what is missing and building.
QUILLON_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the build, the tests and the app need.
QUILLON_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-svg-dev libgl-dev fonts-dejavu-core
  libcli11-dev nlohmann-json3-dev
  sox sndfile-programs mediainfo
  fuse3 libfuse3-dev
)
# What scripts/package needs besides: manual pages, the .deb and its dependencies.
QUILLON_PACKAGE_TOOLS=(help2man dpkg-dev file)
# What the package's test checks it with.
QUILLON_PACKAGE_CHECKS=(lintian desktop-file-utils appstream man-db)

quillon_install_missing() {
  local missing=()
  for pkg in "${QUILLON_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

# quillon_build DIR [cmake options...]
quillon_build() {
  local dir="$1"; shift
  cmake -S "$QUILLON_ROOT" -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$(nproc)"
}
