#!/usr/bin/env bash
# Installs what the project needs from Debian's archive (only what is missing),
# then configures and builds into build/. Sourced by run.sh and test.sh.
set -euo pipefail

TAV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TAV_BUILD="${TAV_BUILD:-$TAV_ROOT/build}"

TAV_PACKAGES=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-image-formats-plugins libgl-dev libglx-dev libopengl-dev
    libgtest-dev libgmock-dev
    libcurl4-openssl-dev libpcre2-dev
    jhead libimage-exiftool-perl libexiv2-dev zlib1g-dev
    xvfb xauth fonts-dejavu-core xdotool
    python3
    exfat-fuse exfatprogs ntfs-3g
    desktop-file-utils appstream bash-completion man-db dpkg-dev
)
# Added by ./test.sh --sanitize: clang for the fuzz targets (libFuzzer).
TAV_SANITIZE_PACKAGES=(clang)

tav_missing_packages() {
    local p missing=()
    for p in "${TAV_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]:-}"
}

tav_install() {
    local missing
    missing="$(tav_missing_packages)"
    [ -z "$missing" ] && return 0
    echo "Installing missing packages: $missing"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Need root or sudo to install: $missing" >&2; exit 1; }
        sudo="sudo"
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
}

# Photos from real cameras, for the test that compares the built-in reader
# with ExifTool on them: the sample JPEG files that a Debian package of a Go
# EXIF library and an npm package of a JavaScript one ship (about 1.5 MB in
# all), fetched once into the build folder without installing anything.
# Offline, nothing is fetched and that test says it skipped.
tav_fetch_camera_photos() {
    local dest="$TAV_BUILD/test-data/camera"
    [ -f "$dest/.complete" ] && return 0
    local tmp
    tmp="$(mktemp -d)"
    mkdir -p "$tmp/deb" "$tmp/npm" "$tmp/files"
    local got=0
    if (cd "$tmp/deb" && timeout 120 apt-get download -qq golang-github-rwcarlsen-goexif-dev >/dev/null 2>&1 ||
        { [ "$(id -u)" -eq 0 ] && timeout 300 apt-get update -qq >/dev/null 2>&1 &&
            timeout 120 apt-get download -qq golang-github-rwcarlsen-goexif-dev >/dev/null 2>&1; }); then
        dpkg-deb -x "$tmp"/deb/*.deb "$tmp/deb/x" &&
            find "$tmp/deb/x" -path '*/goexif/exif/*' -name '*.jpg' -not -path '*/corrupt/*' \
                -exec cp {} "$tmp/files/" \; && got=$((got + 1))
    fi
    if command -v npm >/dev/null &&
        (cd "$tmp/npm" && timeout 120 npm pack --silent exif-parser@0.1.12 >/dev/null 2>&1); then
        tar -xzf "$tmp"/npm/*.tgz -C "$tmp/npm" &&
            cp "$tmp/npm/package/test/"*.jpg "$tmp/files/" && got=$((got + 1))
    fi
    if [ "$got" -eq 2 ]; then
        rm -rf "$dest" && mkdir -p "$dest" && cp "$tmp"/files/* "$dest/" && touch "$dest/.complete"
    else
        echo "Could not fetch the camera sample photos (offline?): the test comparing them will skip." >&2
    fi
    rm -rf "$tmp"
}

# ccache, when installed, makes a second build of the same sources on this
# machine (another clone, a CI runner) mostly cache hits; CCACHE_DISABLE=1
# measures a cold build. TAV_CMAKE_ARGS naming a launcher wins.
tav_launcher_args() {
    case "${TAV_CMAKE_ARGS:-}" in *COMPILER_LAUNCHER*) return 0 ;; esac
    command -v ccache >/dev/null || return 0
    echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
}

tav_build() {
    if [ ! -f "$TAV_BUILD/build.ninja" ]; then
        # shellcheck disable=SC2046
        cmake -S "$TAV_ROOT" -B "$TAV_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(tav_launcher_args) \
            ${TAV_CMAKE_ARGS:-}
    fi
    cmake --build "$TAV_BUILD" -j "$(nproc)"
}
