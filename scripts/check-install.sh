#!/usr/bin/env bash
# Checks what users of the library get, as they would use it:
#
#   check-install.sh prefix BUILD PREFIX
#       installs the Linux build BUILD elsewhere and moves it to PREFIX,
#       checks every file is in place, builds the example consumers (CMake:
#       shared and static; Makefile with pkg-config) against PREFIX and checks
#       that they correct the sample exactly as the installed voved does.
#   check-install.sh windows BUILD
#       packs the MinGW build BUILD into its zip, unpacks it, links the same
#       example through libVoved32.dll.a with the cross compiler and a
#       C-runtime-free program through Voved32.lib with clang and lld-link,
#       and runs both under wine; the picture must match the Linux one.
#       Run after "prefix", whose pictures it compares with.
#   check-install.sh debian
#       builds the Debian packages from a copy of the tree, runs lintian,
#       installs them, corrects the sample with the installed voved and
#       checks that the installed Python module corrects it the same way.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEDEBUG=-all

# The sample as PPM, and voved's correction of it: the examples must match.
sample=build/install-check/sample.ppm
reference=build/install-check/sample-voved.ppm

fail() {
  echo "install check: $*" >&2
  exit 1
}

same_as_reference() {
  cmp -s "$reference" "$1" || fail "$1 differs from voved's correction $reference"
}

check_prefix() {
  local build=$1 prefix
  prefix=$(realpath -m "$2")
  rm -rf "$prefix" "$prefix.staged" build/install-check
  mkdir -p build/install-check
  # Installed elsewhere and moved: everything below must find its files
  # relative to where it now is.
  cmake --install "$build" --prefix "$prefix.staged" >/dev/null
  mv "$prefix.staged" "$prefix"

  local file
  for file in include/voved32.h lib/libvoved32.so lib/libvoved32.so.1 lib/libvoved32.so.1.0.0 \
      lib/libvoved32.a lib/cmake/Voved32/Voved32Config.cmake \
      lib/cmake/Voved32/Voved32ConfigVersion.cmake lib/cmake/Voved32/Voved32Targets.cmake \
      lib/pkgconfig/voved32.pc bin/voved share/man/man1/voved.1 \
      share/bash-completion/completions/voved share/doc/Voved32/tone-table.json \
      share/doc/Voved32/examples/correct_picture.c; do
    [ -e "$prefix/$file" ] || fail "not installed: $file"
  done
  local soname
  soname=$(readelf -d "$prefix/lib/libvoved32.so.1.0.0" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = libvoved32.so.1 ] || fail "SONAME is '$soname', not libvoved32.so.1"

  # The README's C example is the examples' source, word for word.
  awk '/^```c$/ { body = 1; next } /^```$/ { body = 0 } body' README.md |
    diff -q - examples/correct_picture.c >/dev/null ||
    fail "the README's C example differs from examples/correct_picture.c"

  # The completion follows the tool's help.
  local words
  words=$(bash -c 'binary=$2; source "$1"; voved() { "$binary" "$@"; }
                   COMP_WORDS=(voved correct --fo); COMP_CWORD=2; _voved; echo "${COMPREPLY[*]}"' \
                 _ "$prefix/share/bash-completion/completions/voved" "$prefix/bin/voved")
  [ "$words" = "--format" ] || fail "completing 'voved correct --fo' gives '$words'"

  "$prefix/bin/voved" convert samples/chelsea.jpg "$sample" >/dev/null
  "$prefix/bin/voved" correct "$sample" -o "$reference" >/dev/null

  local strict="-Wall -Wextra -Werror"
  cmake -S examples/cmake -B build/install-check/cmake -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_FLAGS="$strict" >/dev/null
  cmake --build build/install-check/cmake >/dev/null
  mkdir -p build/install-check/make
  PKG_CONFIG_PATH="$prefix/lib/pkgconfig" make -s -C build/install-check/make \
    -f "$PWD/examples/pkg-config/Makefile" CFLAGS="-O2 $strict"
  local program
  for program in cmake/correct_ppm cmake/correct_ppm_static make/correct_ppm; do
    "build/install-check/$program" "$sample" "build/install-check/out.ppm" >/dev/null
    same_as_reference build/install-check/out.ppm
  done
  echo "install check: every file in place; three example builds correct the sample as voved does"
}

check_windows() {
  local build=$1
  [ -f "$reference" ] || fail "run 'prefix' first: $reference is missing"
  (cd "$build" && cpack -G ZIP >/dev/null)
  rm -rf build/bundle
  mkdir -p build/bundle
  local zip
  zip=$(realpath "$build"/Voved32-*-win32.zip)
  (cd build/bundle && cmake -E tar xf "$zip")
  local bundle
  bundle=$(echo build/bundle/Voved32-*-win32)
  local file
  for file in bin/Voved32.dll lib/libVoved32.dll.a lib/Voved32.lib lib/Voved32.def \
      include/voved32.h README.txt; do
    [ -e "$bundle/$file" ] || fail "not in the zip: $file"
  done

  # MinGW: the README's example with the header as it is, linked through the
  # import library, run beside the DLL; the same bytes as on Linux.
  i686-w64-mingw32-gcc -O2 -Wall -Wextra -Werror -I"$bundle/include" examples/correct_ppm.c \
    examples/correct_picture.c -L"$bundle/lib" -lVoved32 -o "$bundle/bin/correct_ppm.exe"
  wine "$bundle/bin/correct_ppm.exe" "$sample" build/bundle/out.ppm >/dev/null
  same_as_reference build/bundle/out.ppm

  # MSVC: every decorated name of the .def is in Voved32.lib, and a program
  # compiled for the MSVC ABI links through it and runs (no Windows SDK: no
  # C runtime either).
  local symbols name
  symbols=$(llvm-nm "$bundle/lib/Voved32.lib")
  for name in $(awk '$2 ~ /^@[0-9]+$/ { print $1 }' "$bundle/lib/Voved32.def"); do
    grep -q " T _$name\$" <<<"$symbols" || fail "Voved32.lib has no _$name"
  done
  clang --target=i686-pc-windows-msvc -ffreestanding -O2 -Wall -Wextra -Werror \
    -I"$bundle/include" -c tests/windows/msvc_link.c -o build/bundle/msvc_link.obj
  lld-link /nologo /nodefaultlib /entry:start /subsystem:console build/bundle/msvc_link.obj \
    "$bundle/lib/Voved32.lib" /out:"$bundle/bin/msvc_link.exe"
  wine "$bundle/bin/msvc_link.exe" || fail "the MSVC-linked program failed at call $?"
  echo "install check: the zip links with MinGW and MSVC import libraries and runs under wine"
}

check_debian() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  local project changelog
  project=$(sed -n 's/^project(Voved32 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  changelog=$(dpkg-parsechangelog -l debian/changelog -S Version)
  [ "${changelog%-*}" = "$project" ] ||
    fail "debian/changelog says $changelog, the project $project"

  # Built from a copy, so the checkout stays clean and the packages land in
  # build/debian.
  rm -rf build/debian
  mkdir -p build/debian/voved32
  git ls-files -co --exclude-standard -z | grep -zv '^build/' |
    tar --null -T - -cf - | tar -xf - -C build/debian/voved32
  (cd build/debian/voved32 &&
    DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" dpkg-buildpackage -us -uc -b -Pnocheck \
      >../build.log 2>&1) || { tail -n 40 build/debian/build.log; fail "dpkg-buildpackage failed"; }
  lintian --fail-on error build/debian/*.changes

  local package
  for package in libvoved32-1 libvoved32-dev voved python3-voved32; do
    [ -f "$(echo build/debian/${package}_*.deb)" ] || fail "no $package package"
  done
  dpkg-deb -f build/debian/voved_*.deb Depends | grep -q "libvoved32-1 (>= $project)" ||
    fail "voved does not depend on libvoved32-1 (>= $project)"
  local depends
  depends=$(dpkg-deb -f build/debian/python3-voved32_*.deb Depends)
  for package in python3 python3-numpy python3-pil; do
    grep -Eq "(^|, )$package( |,|$)" <<<"$depends" ||
      fail "python3-voved32 does not depend on $package: $depends"
  done
  $sudo apt-get install -y -qq ./build/debian/*.deb >/dev/null
  /usr/bin/voved correct samples/chelsea.jpg -o build/debian/chelsea-corrected.jpg
  check_debian_python "$project"
  echo "install check: four Debian packages, lintian clean of errors, the installed voved and" \
    "Python module correct the sample alike"
}

# The system's Python (isolated: neither the checkout nor PYTHONPATH on its
# path) imports the installed module, which must correct the sample as the
# installed voved does.
check_debian_python() {
  local project=$1 sample=build/debian/sample.ppm reference=build/debian/sample-voved.ppm
  /usr/bin/voved convert samples/chelsea.jpg "$sample" >/dev/null
  /usr/bin/voved correct "$sample" -o "$reference" >/dev/null
  /usr/bin/python3 -I - "$sample" "$reference" "$project" <<'EOF' ||
import sys

import numpy as np
import voved32
from PIL import Image

sample, reference, version = sys.argv[1:]
assert voved32.__file__.startswith("/usr/lib/python3/dist-packages/"), voved32.__file__
assert voved32.__version__ == version, voved32.__version__
pixels = np.asarray(Image.open(sample))
corrected = voved32.correct(pixels)
expected = np.asarray(Image.open(reference))
assert corrected.shape == expected.shape, (corrected.shape, expected.shape)
assert np.array_equal(corrected, expected), "differs from voved's correction"
assert not np.array_equal(corrected, pixels), "the sample came back unchanged"
EOF
    fail "the installed voved32 module does not correct the sample as voved does"
}

case "${1:-}" in
prefix) check_prefix "$2" "$3" ;;
windows) check_windows "$2" ;;
debian) check_debian ;;
*)
  echo "usage: $0 prefix BUILD PREFIX | windows BUILD | debian" >&2
  exit 2
  ;;
esac
