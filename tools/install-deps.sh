#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests and the demo need.
# Quick when everything is already there. Needs root (or sudo) and Debian's package registry.
set -euo pipefail

packages=(
    # build
    cmake make g++ pkg-config git
    juce-modules-source lv2-dev ccache python3
    # vector maths with runtime dispatch; the editor's embedded font
    libhwy-dev fonts-roboto-unhinted
    # what JUCE's modules include and link on Linux
    libasound2-dev libjack-jackd2-dev libfreetype-dev libfontconfig1-dev libcurl4-gnutls-dev
    libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxcursor-dev libxcomposite-dev libxrender-dev
    libgl-dev libgtk-3-dev libwebkit2gtk-4.0-dev libpng-dev libjpeg-dev
    # tests, benchmarks, sanitizers and fuzzing
    libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
    # the peer compressor the peer benchmark measures against (x42-darc's LV2)
    x42-plugins
    # running plug-ins without a desktop
    xvfb xauth jalv jackd2 lilv-utils
    # a DAW's own headless tools for the host tests (session building and export)
    ardour
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages are installed"
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks about real-time priority; answer it up front.
echo "jackd2 jackd/tweak_rt_limits boolean false" | "${sudo_cmd[@]}" debconf-set-selections 2>/dev/null || true
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
