#!/usr/bin/env bash
# Installs what building, testing and running Voved32 needs on Debian.
# Run as root (or through sudo). Set VOVED_WINDOWS=1 to add the 32-bit
# Windows cross-compiler and wine, VOVED_PEERS=1 to add the tools that
# scripts/measure-speed.sh measures the voved tool against.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

packages=(
  build-essential cmake ninja-build pkg-config clang clang-format
  libclang-rt-14-dev  # libFuzzer and clang's sanitizer runtimes
  libgtest-dev googletest libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libcli11-dev nlohmann-json3-dev
  valgrind
)
if [ "${VOVED_PEERS:-0}" = "1" ]; then
  packages+=(libvips-tools graphicsmagick imagemagick libjpeg-turbo-progs time)
fi
if [ "${VOVED_WINDOWS:-0}" = "1" ]; then
  $SUDO dpkg --add-architecture i386
  packages+=(g++-mingw-w64-i686 wine wine32:i386)
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}"
