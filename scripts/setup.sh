# Shared by scripts/run and scripts/test: installs the Debian packages the build needs when they
# are missing, then configures and builds. Source it; it defines qm_install and qm_build.

QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QM_PACKAGES="cmake g++ ninja-build libgtest-dev libbenchmark-dev qt6-base-dev qt6-webengine-dev
  qt6-webengine-dev-tools libqt6webenginecore6-bin libjs-leaflet xvfb xauth xdotool imagemagick
  libgl1-mesa-dri fonts-dejavu-core libgdal-dev gdal-bin nlohmann-json3-dev ccache dpkg-dev"

qm_install() {
  local missing=() p
  for p in $QM_PACKAGES "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# A compiler cache, where installed, makes a build of sources compiled before (a fresh clone on the
# same machine, the sanitizer builds of an unchanged tree) quick. Paths are hashed relative to the
# checkout, so clones in other folders share it.
export CCACHE_BASEDIR="$QM_ROOT" CCACHE_NOHASHDIR=1
qm_cache_flag() {
  command -v ccache >/dev/null 2>&1 && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
  return 0
}

# qm_build BUILD_DIR BUILD_TYPE [cmake options...]
qm_build() {
  local dir=$1 type=$2
  shift 2
  cmake -S "$QM_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" $(qm_cache_flag) "$@"
  cmake --build "$dir" --parallel "$(nproc 2>/dev/null || echo 2)"
}
