# Shared set-up of ./run, ./test and fuzz/run: installs the Debian packages
# that are missing, then configures and builds. Sourced, not run. Every step
# can be run again after any failure: a configure that did not finish is
# started afresh, and packages left half installed are installed again.

TARVELO_PACKAGES=(cmake ninja-build g++ pkg-config libicu-dev libgtest-dev libgmock-dev libbenchmark-dev
                  nlohmann-json3-dev clang-format
                  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev fonts-dejavu-core)
# What ./test needs beside them to check the HTML page: a browser to load
# and print it (headless), a reader of the printed PDF, an HTML validator.
TARVELO_TEST_PACKAGES=(chromium poppler-utils tidy python3)
# What fuzzing needs beside them: clang with its sanitizer and libFuzzer
# runtimes.
TARVELO_FUZZ_PACKAGES=(clang libclang-rt-dev)
# What the Windows build needs (./test --windows, tools/package_windows):
# the MinGW-w64 cross compiler, Wine to run its programs here, GoogleTest's
# sources, zip for the folder users download, wixl and msitools for the
# Windows Installer package (python3-olefile for what make_msi writes in it
# after them), osslsigncode to sign it (openssl and unzip for its test), and
# a virtual X server (with xauth for xvfb-run) and Wine's own fonts (among
# them "MS Sans Serif") for the window's tests and screenshot.
TARVELO_WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64 wine wine64 googletest nlohmann-json3-dev zip
                          wixl msitools python3-olefile osslsigncode openssl unzip xvfb xauth fonts-wine)

# Installs those of the given packages that are not fully installed (as
# root), or prints the apt-get line to run and exits (as anyone else).
tarvelo_install_missing() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # Finishes whatever an interrupted install left unconfigured.
    dpkg --configure -a
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
}

# Configures the build folder dir (with the given cmake options) unless a
# configure of it has already succeeded. A configure that failed or was
# interrupted leaves a cache that records what it did not find (a package,
# even the compiler); the next configure starts without it.
tarvelo_configure() {
  local dir=$1
  shift
  local stamp="$dir/.tarvelo-configured"
  [ -f "$stamp" ] && [ -f "$dir/build.ninja" ] && return 0
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles" "$stamp"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  touch "$stamp"
}

# Configures (see tarvelo_configure) and builds dir with the given cmake
# options: tarvelo_build_in DIR [OPTIONS...]. Builds with as many jobs as
# there are cores.
tarvelo_build_in() {
  local dir=$1
  shift
  tarvelo_configure "$dir" "$@"
  cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"
}

# Fails, naming them, when tracked C++ files are not formatted as
# .clang-format says (clang-format -i FILE formats one). Outside a git
# checkout there is nothing tracked to check.
tarvelo_check_format() {
  git rev-parse --is-inside-work-tree >/dev/null 2>&1 || return 0
  local report
  if ! report=$(git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>&1); then
    echo "Not formatted as .clang-format says (clang-format -i FILE formats one):" >&2
    local files
    files=$(sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/  \1/p' <<<"$report" | sort -u)
    echo "${files:-$report}" >&2
    exit 1
  fi
}

# The build of ./run and ./test, in build/.
tarvelo_build() {
  tarvelo_build_in build
}

# Builds tarvelo-cli at the git revision given (a commit, a branch, HEAD...)
# in a detached worktree build/against/<short hash>, with its build folder
# beside it (<short hash>-build); both are kept, so the next call with the
# same revision only builds what changed. Sets TARVELO_AGAINST_CLI to the
# program and TARVELO_AGAINST_NAME to "REF (hash)". Run from the project's
# top folder.
tarvelo_build_against() {
  local against=$1
  local revision tree out
  revision=$(git rev-parse --verify --short "$against^{commit}")
  tree=build/against/$revision
  out=build/against/$revision-build
  if [ ! -d "$tree" ]; then
    git worktree prune
    git worktree add --detach "$tree" "$revision" >/dev/null
  fi
  if [ ! -f "$out/.tarvelo-configured" ] || [ ! -f "$out/build.ninja" ]; then
    rm -rf "$out"
    cmake -S "$tree" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVELO_BENCH=OFF >/dev/null
    touch "$out/.tarvelo-configured"
  fi
  echo "Building tarvelo-cli at $against ($revision) in $out ..."
  cmake --build "$out" -j "$(nproc 2>/dev/null || echo 2)" --target tarvelo-cli >/dev/null
  TARVELO_AGAINST_CLI=$out/bin/tarvelo-cli
  TARVELO_AGAINST_NAME="$against ($revision)"
}

# The Windows build, cross-compiled into build-windows/ (see
# cmake/mingw-w64-x86_64.cmake), with the given cmake options; builds the
# given targets, or all.
tarvelo_build_windows() {
  tarvelo_install_missing "${TARVELO_WINDOWS_PACKAGES[@]}"
  local options=() targets=()
  local arg
  for arg in "$@"; do
    case "$arg" in
      -D*) options+=("$arg") ;;
      *) targets+=(--target "$arg") ;;
    esac
  done
  tarvelo_configure build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "${options[@]}"
  cmake --build build-windows -j "$(nproc 2>/dev/null || echo 2)" "${targets[@]}"
}

# The Windows tests run under Wine in the Brazilian settings, which Wine
# takes from LC_ALL; it writes file names in UTF-8 then only when the C
# library has that locale too: makes it when it is missing.
tarvelo_windows_test_locale() {
  locale -a 2>/dev/null | grep -qi '^pt_BR\.utf-\?8$' && return 0
  tarvelo_install_missing locales
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i pt_BR -f UTF-8 pt_BR.UTF-8
  else
    echo "The pt_BR.UTF-8 locale is missing. Run as root:" >&2
    echo "  localedef -i pt_BR -f UTF-8 pt_BR.UTF-8" >&2
    exit 1
  fi
}

# A script that builds only for Windows sets TARVELO_WINDOWS_ONLY and needs
# none of the Linux build's packages.
[ -n "${TARVELO_WINDOWS_ONLY:-}" ] || tarvelo_install_missing "${TARVELO_PACKAGES[@]}"
