#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz/ and runs each in turn.
#   scripts/fuzz.sh [seconds-per-target [target...]]     default: 60 s, every target
# Seeds come from fuzz/corpus/<target>/; what a run adds stays in
# build-fuzz/corpus/<target>/, and a crash, leak, hang or report of undefined
# behaviour leaves its input in build-fuzz/artifacts/<target>/ and makes the
# script fail.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
all_targets=(fuzz_reply fuzz_query fuzz_report_project fuzz_data_file fuzz_width_file fuzz_ini)
targets=("$@")
((${#targets[@]})) || targets=("${all_targets[@]}")

# The fuzzing tool chain is not needed for the ordinary build and tests.
install_fuzz_tools() {
  local packages=(clang-14 libclang-rt-14-dev libfuzzer-14-dev) missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

bash scripts/setup.sh
install_fuzz_tools

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DPLIVORA_FUZZ=ON
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

failed=()
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  artifacts=build-fuzz/artifacts/$t
  mkdir -p "$corpus" "$artifacts"
  dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")
  echo "== $t: ${seconds}s"
  if ! "build-fuzz/fuzz/$t" "$corpus" "fuzz/corpus/$t" "${dict[@]}" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -artifact_prefix="$artifacts/" -print_final_stats=1; then
    failed+=("$t")
  fi
done

if ((${#failed[@]})); then
  echo "Findings in: ${failed[*]} (inputs under build-fuzz/artifacts/)" >&2
  exit 1
fi
echo "All targets ran clean."
