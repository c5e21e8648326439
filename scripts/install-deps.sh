#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what building, testing and running CorvexLink needs (Debian/Ubuntu, apt-get),
# skipping packages that are already there. Run as root or with sudo available.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  qt6-multimedia-dev
  libqt6svg6
  xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core
  libcli11-dev nlohmann-json3-dev help2man bash-completion python3 python3-pytest
  python3-venv python3-build python3-setuptools python3-wheel python3-sphinx
  doxygen lintian
  libtango-dev python3-tango
  clang-14 libfuzzer-14-dev libclang-rt-14-dev clang-format
  ser2net libnss-wrapper
  libcivetweb-dev civetweb libssl-dev libjs-chart.js nginx openssl chromium chromium-driver
  python3-selenium python3-requests python3-websocket python3-jsonschema
)

# scripts/install-deps.sh windows: the cross compiler and Wine for the Windows build instead.
if [ "${1:-}" = windows ]; then
  packages=(cmake ninja-build ccache googletest binutils g++-mingw-w64-x86-64-posix wine64 wine ser2net)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  # libtango's tango-common asks for the database host (TANGO_HOST) through debconf: answer
  # it beforehand, so the install stays silent (the device server runs without a database).
  if [[ " ${missing[*]} " == *" libtango-dev "* ]]; then
    echo "tango-common tango-common/tango-host string localhost:10000" | $SUDO debconf-set-selections
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
