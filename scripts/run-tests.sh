#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test (the command CI runs).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
WERROR=OFF; [ "${CI:-}" = "true" ] && WERROR=ON
scripts/build.sh build -DHV_WERROR=$WERROR
status=0
ctest --test-dir build --output-on-failure --timeout 300 -j2 || status=1
# A second build with AddressSanitizer and UndefinedBehaviorSanitizer over the unit tests.
if [ "${HV_SKIP_SANITIZE:-0}" != "1" ]; then
  # GCC's bounds warnings misfire on sanitizer-instrumented code: warnings stay, but only the
  # plain build treats them as errors.
  scripts/build.sh build-asan -DHV_SANITIZE=ON -DHV_BUILD_BENCHMARKS=OFF -DHV_WERROR=OFF
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure --timeout 300 -j2 -LE e2e || status=1
fi
exit $status
