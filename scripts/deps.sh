#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only those missing.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev ccache pkg-config patch
          libgtest-dev libgmock-dev qt6-base-dev libgl-dev)
if [ "${1:-}" = "--run" ]; then
    packages+=(xvfb)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi
