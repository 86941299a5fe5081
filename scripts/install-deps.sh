#!/usr/bin/env bash
# Installs what building, testing and running Voved32 needs on Debian.
# Run as root (or through sudo). Set VOVED_WINDOWS=1 to add the 32-bit
# Windows cross-compiler and wine, VOVED_AARCH64=1 the 64-bit ARM Linux
# cross-compiler and qemu-user, VOVED_PEERS=1 the tools that
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
  # the voved32 Python package: its build, its dependencies and its tests
  python3-dev python3-venv python3-setuptools python3-wheel python3-pybind11 pybind11-dev
  python3-numpy python3-pil python3-pytest python3-distributed
)
# Installing and packaging: the man page, the Debian packages, the tool's
# EXIF reading and rewriting; the MSVC import library (llvm-dlltool) and its link check.
packages+=(
  help2man libexif-dev git
  debhelper dh-python dpkg-dev fakeroot lintian
)
if [ "${VOVED_PEERS:-0}" = "1" ]; then
  packages+=(libvips-tools graphicsmagick imagemagick libjpeg-turbo-progs time)
fi
if [ "${VOVED_WINDOWS:-0}" = "1" ]; then
  $SUDO dpkg --add-architecture i386
  packages+=(g++-mingw-w64-i686 wine wine32:i386)
  packages+=(llvm lld)
fi
if [ "${VOVED_AARCH64:-0}" = "1" ]; then
  packages+=(g++-aarch64-linux-gnu qemu-user)
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}"
