#!/usr/bin/env bash
# Installs, on Debian or Ubuntu, whatever the build and the tests need and is missing.
# Quick when everything is present: it only asks dpkg.
set -euo pipefail

packages=(
  make cmake g++ clang libclang-rt-14-dev googletest python3
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 xvfb xauth x11-apps x11-utils imagemagick zip unzip nsis
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
