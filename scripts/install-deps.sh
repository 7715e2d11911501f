#!/usr/bin/env bash
# Installs the Debian packages needed to build, run, test and benchmark the
# program (the benchmarks run two peer programs side by side with ours; the
# import-format tests make their files with sox; the end-to-end tests draw
# in the two font families named here).
# Does nothing when everything is already present.
set -euo pipefail
pkgs=(
  build-essential cmake pkg-config clang-format
  qtbase5-dev qtbase5-dev-tools libqt5svg5-dev
  libsndfile1-dev libboost-dev libeigen3-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libfftw3-dev
  libasound2-dev
  xvfb xauth xdotool python3-xlib fonts-liberation2 fonts-dejavu-core
  sox
  libjack-jackd2-dev jackd2
  rubberband-cli aubio-tools
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
