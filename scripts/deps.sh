#!/usr/bin/env bash
# Installs what the build, the program and the tests need on Debian 12, when missing.
set -euo pipefail

pacotes=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    xvfb xauth x11-utils fonts-wine
    xdotool imagemagick
    mingw-w64 wine64
)

faltam=()
for p in "${pacotes[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || faltam+=("$p")
done
if ((${#faltam[@]})); then
    sudo_=""
    [ "$(id -u)" -eq 0 ] || sudo_=sudo
    $sudo_ apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -q --no-install-recommends "${faltam[@]}"
fi
