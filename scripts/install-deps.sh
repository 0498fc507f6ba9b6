#!/usr/bin/env bash
# Installs the Debian packages that building and testing ciflash need, and any others given,
# when they are missing. --build-only leaves out what only the tests need (GoogleTest, tmux,
# pgrep from procps).
# Usage: scripts/install-deps.sh [--build-only] [EXTRA-PACKAGE]...
set -euo pipefail
packages=(cmake ninja-build g++ libncurses-dev)
if [ "${1-}" = --build-only ]; then
    shift
else
    packages+=(libgtest-dev tmux procps strace libcap2-bin)
fi
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
