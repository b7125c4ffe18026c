#!/usr/bin/env bash
# The unit and store tests under AddressSanitizer with UndefinedBehaviorSanitizer,
# then under ThreadSanitizer, each in its own build folder (build-asan,
# build-tsan), building only the test programs that run here. The tests that
# need an X server, the engine modules and the program stay in build/.
#   scripts/sanitize.sh [address|thread]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."

# Unit and store tests: no X server, no engine module, no child program, no
# desktop session.
# ThreadSanitizer takes those with threads in them.
address_targets=(common_test capture_service_test capture_output_test scrolling_test recording_test recording_model_test
                 tessarin_preferences_tests tessarin_shell_tests platform_unit_test render_test)
thread_targets=(common_test capture_service_test capture_output_test scrolling_test recording_test recording_model_test
                platform_unit_test)

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Hits from a checkout in another folder too (CI clones afresh).
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi

run_sanitizer() {
  local kind=$1 folder flags targets
  case "$kind" in
    address) folder=build-asan; flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
             targets=("${address_targets[@]}") ;;
    thread) folder=build-tsan; flags="-fsanitize=thread"; targets=("${thread_targets[@]}") ;;
    *) echo "unknown sanitizer: $kind (expected address or thread)" >&2; return 2 ;;
  esac
  flags="$flags -fno-omit-frame-pointer -w"
  local generator=()
  [ -f "$folder/CMakeCache.txt" ] || generator=(-G Ninja)
  # -O1: the sanitizers' checks, at a fraction of an optimised build's
  # compile time. Warnings are the main build's job (the sanitizers' code
  # changes what the optimiser warns about).
  cmake -S . -B "$folder" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" \
    -DTESSARIN_STATIC_DEPENDENCIES=OFF -DTESSARIN_WARNINGS_AS_ERRORS=OFF >/dev/null
  cmake --build "$folder" --parallel "$(nproc)" --target "${targets[@]}"
  # Any report fails the run. Death tests fork, which ThreadSanitizer does
  # not support beside threads: they run in the other build only. Only the
  # targets built above have tests to run.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  local skipped="_NOT_BUILT$|^XServer[.]|^OcrModule[.]"
  [ "$kind" = thread ] && skipped="$skipped|DeathTest"
  # Sweeps of many pages through the composer run on one thread, where
  # ThreadSanitizer has nothing to watch and runs 25 times slower.
  [ "$kind" = thread ] && skipped="$skipped|^ScrollingDenseRetry[.]|^ScrollingComposerProperty[.]"
  # Tests of the program, the desktop application and X servers (labels
  # integration, app, xserver) need what only the main build makes.
  (cd "$folder" && ctest --output-on-failure --parallel "$(nproc)" --timeout 600 -E "$skipped" -LE "xserver|app|integration")
}

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(address thread)
status=0
for kind in "${kinds[@]}"; do
  run_sanitizer "$kind" || status=1
done
exit $status
