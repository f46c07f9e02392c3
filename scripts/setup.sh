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
    libcurl4-openssl-dev
    jhead libimage-exiftool-perl libexiv2-dev
    xvfb xauth fonts-dejavu-core xdotool
    python3
    desktop-file-utils appstream bash-completion man-db dpkg-dev
)

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

tav_build() {
    if [ ! -f "$TAV_BUILD/build.ninja" ]; then
        cmake -S "$TAV_ROOT" -B "$TAV_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TAV_CMAKE_ARGS:-}
    fi
    cmake --build "$TAV_BUILD" -j "$(nproc)"
}
