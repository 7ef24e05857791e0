#!/usr/bin/env bash
# Every test: style, the portable core under mingw-w64, the unit tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short run of every fuzz
# target, the Release build of every target (what users build), the ActiveX
# control (compared with the Release build's program) in its 64-bit build
# under 64-bit Wine and, where this machine runs 32-bit programs, in its
# 32-bit build under 32-bit Wine, then the Release build's unit and
# integration tests and its Debian package (made and checked by ctest's
# "package" tests). Every build here treats warnings
# as errors (IMPTHERM_WERROR, which a plain Release build leaves off).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)

bash scripts/setup.sh test

echo "== style (clang-format)"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

echo "== portable core, cross-compiled with mingw-w64 i686"
cmake -S . -B build-mingw -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-i686.cmake" -DIMPTHERM_CORE_ONLY=ON -DIMPTHERM_WERROR=ON >/dev/null
ninja -C build-mingw -j"$jobs"

echo "== unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DIMPTHERM_SANITIZE=ON -DIMPTHERM_WERROR=ON -DIMPTHERM_TESTS=ON >/dev/null
ninja -C build-asan -j"$jobs" unit_tests
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$top/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1 \
  ./build-asan/tests/unit_tests --gtest_brief=1

echo "== fuzz targets (short runs)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DIMPTHERM_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DIMPTHERM_WERROR=ON >/dev/null
ninja -C build-fuzz -j"$jobs"
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="fuzz/corpus/$name"
  mkdir -p "build-fuzz/corpus/$name"
  echo "-- $name"
  "$target" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 "build-fuzz/corpus/$name" \
    $( [ -d "$corpus" ] && echo "$corpus" ) 2>&1 | tail -n 2
done

echo "== Release build of every target"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DIMPTHERM_WERROR=ON -DIMPTHERM_TESTS=ON >/dev/null
ninja -C build -j"$jobs"

# The Windows control: both cross builds, then registration and the test
# host under Wine. Its job files are compared with those of the Linux program
# just built. The 64-bit build's x64 package also holds the 32-bit control.
for bits in 32 64; do
  arch=$([ "$bits" = 64 ] && echo x86_64 || echo i686)
  echo "== ActiveX control ImpThermOrvane.ocx, $bits-bit (mingw-w64 $arch)"
  cmake -S . -B "build-win$bits" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-$arch.cmake" -DIMPTHERM_WERROR=ON \
    $([ "$bits" = 64 ] && echo "-DIMPTHERM_OCX32=$top/build-win32/ImpThermOrvane.ocx") >/dev/null
  ninja -C "build-win$bits" -j"$jobs"
done
echo "== the 64-bit control under 64-bit Wine"
IMPTHERM_LINUX_PROGRAM="$top/build/impthermorvane" bash tests/win32/run_wine_tests.sh build-win64
if ! bash scripts/runs_32bit.sh; then
  echo "== 32-bit Windows tests skipped: this machine runs no 32-bit programs (the kernel refused a 32-bit test program)"
elif [ ! -x /usr/lib/wine/wine ]; then
  echo "== 32-bit Windows tests skipped: 32-bit Wine (wine32:i386) could not be installed (see the set-up's message above)"
else
  echo "== the 32-bit control under 32-bit Wine"
  IMPTHERM_LINUX_PROGRAM="$top/build/impthermorvane" bash tests/win32/run_wine_tests.sh build-win32
fi

echo "== Release build: unit and integration tests, the Debian package"
cd build && ctest --output-on-failure --timeout 600 -j1
