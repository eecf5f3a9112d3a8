# Shared set-up of ./run and ./test: installs the Debian packages that are
# missing, then configures and builds into build/. Sourced, not run.

TARVELO_PACKAGES=(cmake ninja-build g++ pkg-config libicu-dev libgtest-dev libgmock-dev libbenchmark-dev
                  nlohmann-json3-dev
                  qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core)

tarvelo_install_missing() {
  local missing=()
  local package
  for package in "${TARVELO_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
}

tarvelo_build() {
  local jobs
  jobs=$(nproc 2>/dev/null || echo 2)
  if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build build -j "$jobs" "$@"
}

tarvelo_install_missing
