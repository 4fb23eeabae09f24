#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when missing
# (qemu, debootstrap and e2fsprogs build and boot the emulated i386 system that
# runs the 32-bit programs: tools/i386/).
#   bootstrap.sh [--demo]
# --demo also tries the optional packages of the demo (a software synthesizer
# and a General MIDI sound font, to render the played phrase as sound); the
# demo runs without them, so failing to install them is not an error.
set -euo pipefail

packages=(cmake ninja-build g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb xauth
          googletest libbenchmark-dev clang libclang-rt-14-dev clang-tidy clang-format cppcheck
          python3 python3-mido zlib1g-dev ccache
          qemu-system-x86 debootstrap e2fsprogs)
optional=()
[ "${1:-}" = "--demo" ] && optional=(fluidsynth timgm6mb-soundfont)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
missing_optional=()
for p in "${optional[@]}"; do
    installed "$p" || missing_optional+=("$p")
done
if [ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
    exit 0
fi
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
updated=
if [ ${#missing[@]} -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    $SUDO apt-get update -qq
    updated=1
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ${#missing_optional[@]} -gt 0 ]; then
    echo "bootstrap: trying the optional ${missing_optional[*]}"
    { [ -n "$updated" ] || $SUDO apt-get update -qq; } 2>/dev/null || true
    $SUDO apt-get install -y -qq --no-install-recommends "${missing_optional[@]}" >/dev/null 2>&1 ||
        echo "bootstrap: ${missing_optional[*]} not installed; the demo will not render sound"
fi
exit 0
