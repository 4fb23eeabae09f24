#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when missing.
set -euo pipefail

packages=(cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb xauth
          googletest libbenchmark-dev clang libclang-rt-14-dev python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "bootstrap: installing ${missing[*]}"
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
