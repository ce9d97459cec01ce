#!/usr/bin/env bash
# Builds the libraries the Windows build of the program links against, from
# Debian's own sources, with the MinGW-w64 cross compiler, once per machine:
#
#   scripts/build-mingw-deps.sh qt     Qt (Core, Gui, Widgets, Test and the
#                                      windows and offscreen platform plugins)
#   scripts/build-mingw-deps.sh jpeg   libjpeg-turbo
#   scripts/build-mingw-deps.sh all    both
#
# Each library is installed into a cache outside the checkout,
# ${TARVIK_CACHE:-~/.cache/tarvikbackup}/<name>-<version>-mingw-<hash>, where
# the hash covers the Debian version, the compiler and every option below; a
# later run (or a later clone) with the same inputs finds it there and builds
# nothing. The last line the script prints for each library is its prefix.
#
# The sources come from a deb-src entry for bookworm main, which the script
# adds when the machine has none. Qt's own tools (moc, rcc, uic) are Debian's,
# from /usr: the source version is therefore the installed qt6-base-dev's.
set -euo pipefail

cache="${TARVIK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvikbackup}"
triple=x86_64-w64-mingw32
cc="$triple-gcc-posix"
cxx="$triple-g++-posix"
jobs="${TARVIK_JOBS:-$(nproc)}"

log() { echo "build-mingw-deps: $*" >&2; }

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)

# The options Qt is configured with. Debian's source lacks wintab.h, hence no
# tablet events; with OpenGL off, 6.4's windows plugin still reaches for the
# dynamic-GL classes unless dynamicgl is off as well. Direct2D would build a
# second copy of the windows plugin; the program decodes JPEG itself.
qt_options=(
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF
    -DQT_BUILD_MANUAL_TESTS=OFF
    -DBUILD_WITH_PCH=ON
    -DINPUT_opengl=no
    -DFEATURE_opengl=OFF
    -DFEATURE_dynamicgl=OFF
    -DFEATURE_vulkan=OFF
    -DFEATURE_sql=OFF
    -DFEATURE_network=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_icu=OFF
    -DFEATURE_tabletevent=OFF
    -DFEATURE_direct2d=OFF
    -DFEATURE_jpeg=OFF
    -DFEATURE_testlib=ON
    -DFEATURE_widgets=ON
)

jpeg_options=(
    -DENABLE_SHARED=ON
    -DENABLE_STATIC=OFF
    -DWITH_TURBOJPEG=OFF
    -DWITH_SIMD=OFF
    -DWITH_JPEG8=OFF
)

# Compiles for 64-bit Windows; shared by both libraries.
write_toolchain() {
    cat > "$1" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

# Adds a deb-src entry for bookworm main unless apt has one, and refreshes only
# that list.
ensure_deb_src() {
    if apt-get source --print-uris -qq "$1" >/dev/null 2>&1 &&
        [ -n "$(apt-get source --print-uris -qq "$1" 2>/dev/null)" ]; then
        return
    fi
    local list=/etc/apt/sources.list.d/tarvikbackup-deb-src.sources
    log "adding the deb-src entry $list"
    "${sudo[@]}" tee "$list" >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    "${sudo[@]}" apt-get update -qq -o Dir::Etc::sourcelist="$list" \
        -o Dir::Etc::sourceparts=- -o APT::Get::List-Cleanup=0
}

# Fetches and unpacks the Debian source of package $1 at version $2 (or the
# newest one apt knows) into $3 unless that was done already; prints the
# unpacked folder.
fetch_source() {
    local package=$1 version=$2 into=$3
    if [ ! -f "$into/unpacked/.complete" ]; then
        ensure_deb_src "$package"
        rm -rf "$into"
        mkdir -p "$into"
        (
            cd "$into"
            apt-get source --download-only -qq "$package=$version" >&2 ||
                apt-get source --download-only -qq "$package" >&2
            dpkg-source --no-check -x "$(ls "$package"_*.dsc | head -n1)" unpacked >&2
            touch unpacked/.complete
        )
    fi
    echo "$into/unpacked"
}

options_hash() {
    { printf '%s\n' "$@"; "$cxx" --version | head -n1; } | sha256sum | cut -c1-10
}

# Configures (once), builds and installs source $1 into prefix $2 through the
# build folder $3; a build that was cut off goes on where it stopped. The
# prefix counts as complete only when it holds .complete.
cmake_build() {
    local src=$1 prefix=$2 build=$3
    shift 3
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        # Precompiled headers are only reused with these.
        export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
    fi
    if [ ! -f "$build/CMakeCache.txt" ]; then
        rm -rf "$build"
        mkdir -p "$build"
        write_toolchain "$build/../toolchain.cmake"
        cmake -G Ninja -S "$src" -B "$build" \
            -DCMAKE_TOOLCHAIN_FILE="$build/../toolchain.cmake" \
            -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_INSTALL_PREFIX="$prefix" \
            "${launcher[@]}" "$@" >&2
    fi
    cmake --build "$build" --parallel "$jobs" >&2
    rm -rf "$prefix"
    cmake --install "$build" --prefix "$prefix" >&2
    touch "$prefix/.complete"
}

# Holds the lock of library $1 until the script ends: two lanes started at
# once build it only once.
lock() {
    local fd
    exec {fd}>"$cache/.lock-$1"
    flock "$fd"
}

# Applies scripts/qt6-base-mingw.patch to the unpacked source once.
patch_qt_source() {
    local src=$1 stamp="$1/.patched-$patch_sum"
    [ -f "$stamp" ] && return
    patch -d "$src" -p1 -N <"$qt_patch" >&2
    touch "$stamp"
}

build_qt() {
    local version
    version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
    local upstream=${version%%+*}
    # The build folder follows what Qt is configured with; the installed Qt
    # follows that and the patch.
    local configured key
    configured=$(options_hash "$version" "${qt_options[@]}")
    key=$(printf '%s %s\n' "$configured" "$patch_sum" | sha256sum | cut -c1-10)
    local prefix="$cache/qt-$upstream-mingw-$key"
    lock qt
    if [ -f "$prefix/.complete" ]; then
        echo "$prefix"
        return
    fi
    log "building Qt $version for MinGW into $prefix (about half an hour on 2 cores)"
    local work="$cache/work/qt-$configured"
    # A source patched otherwise (an older patch) is unpacked afresh.
    if compgen -G "$work/source/unpacked/.patched-*" >/dev/null &&
        [ ! -f "$work/source/unpacked/.patched-$patch_sum" ]; then
        rm -rf "$work"
    fi
    local src
    src=$(fetch_source qt6-base "$version" "$work/source")
    patch_qt_source "$src"
    # Qt's configure step looks for Debian's moc, rcc and uic through the
    # host's CMake packages.
    cmake_build "$src" "$prefix" "$work/build" "${qt_options[@]}" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    rm -rf "$work"
    echo "$prefix"
}

build_jpeg() {
    local version
    version=$(dpkg-query -W -f='${Version}' libjpeg62-turbo-dev)
    local upstream=${version%%-*}
    upstream=${upstream#*:}
    local key
    key=$(options_hash "$version" "${jpeg_options[@]}")
    local prefix="$cache/libjpeg-turbo-$upstream-mingw-$key"
    lock jpeg
    if [ -f "$prefix/.complete" ]; then
        echo "$prefix"
        return
    fi
    log "building libjpeg-turbo $version for MinGW into $prefix"
    local work="$cache/work/jpeg-$key"
    local src
    src=$(fetch_source libjpeg-turbo "$version" "$work/source")
    cmake_build "$src" "$prefix" "$work/build" "${jpeg_options[@]}"
    rm -rf "$work"
    echo "$prefix"
}

qt_patch="$(cd "$(dirname "$0")" && pwd)/qt6-base-mingw.patch"
patch_sum=$(sha256sum <"$qt_patch" | cut -c1-10)

what="${1:-all}"
mkdir -p "$cache"
case "$what" in
    qt) build_qt ;;
    jpeg) build_jpeg ;;
    all) build_jpeg; build_qt ;;
    *) echo "usage: $0 qt|jpeg|all" >&2; exit 2 ;;
esac
