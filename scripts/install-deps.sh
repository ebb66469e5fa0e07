#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing kelto need, and only those
# that are missing. Usage: scripts/install-deps.sh [run|test]
set -euo pipefail

packages=(cmake ninja-build g++-mingw-w64-x86-64-win32 wine64)
if [ "${1:-test}" = test ]; then
  packages+=(g++ googletest libgtest-dev libbenchmark-dev g++-mingw-w64-i686-win32
             clang libclang-rt-dev binutils-mingw-w64-i686 binutils-mingw-w64-x86-64)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "kelto: installing ${missing[*]}" >&2
$SUDO apt-get update -q >&2
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
