#!/usr/bin/env bash
# Installs the Debian packages Glimpses builds, tests and runs with, when any
# is missing. Works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libminizip-dev libpng-dev libjpeg62-turbo-dev libicu-dev libtiff-dev libssl-dev libre2-dev libsqlite3-dev libisal-dev
  libcairo2-dev libpango1.0-dev poppler-utils
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-tools-dev qt6-l10n-tools libgl-dev
  plocate libimage-exiftool-perl libexempi-dev
  xvfb xauth fonts-noto-cjk
  librsvg2-bin help2man dpkg-dev file lintian
  desktop-file-utils appstream shared-mime-info libglib2.0-bin
  python3-gi gir1.2-gnomedesktop-3.0 bubblewrap dbus evince tumbler
  libkf5kio-dev extra-cmake-modules kio-extras
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}" >&2
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
