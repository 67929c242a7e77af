#!/bin/bash
# Bounded fuzzing of the platform-free readers: builds the libFuzzer targets
# of fuzz/ natively with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# (into $VEXA_BUILD_ROOT/fuzz, default build/fuzz), then runs each target for
# TIME_PER_TARGET seconds, starting from its seed corpus in fuzz/corpus/.
#
#   fuzz/run.sh [TIME_PER_TARGET [TARGET...]]
#
#   fuzz/run.sh                       10 s per target, about a minute in all
#   fuzz/run.sh 8                     what the test command runs
#   fuzz/run.sh 1800                  a longer session: half an hour per target
#   fuzz/run.sh 600 FtpReplies_fuzz   one target only
#
# Exits non-zero when any target crashes, leaks, hangs, breaks one of its
# checks or gets a sanitizer report; the input that did it is kept under
# build/fuzz/artifacts/TARGET/ and the run's log under build/fuzz/logs/.
# Replay an input with: build/fuzz/build/TARGET INPUT. Inputs that reach new
# code are kept in build/fuzz/corpus/TARGET, so later runs go on from there;
# the committed seeds in fuzz/corpus/ are only read.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
shift || true
build_root=${VEXA_BUILD_ROOT:-$root/build}
out=$build_root/fuzz

# The largest input of each target: a few line buffers' worth of FTP or HTTP
# text, SOCKS and registry fields somewhat beyond what fits their buffers,
# a registry script a few times the control's own; URLs and chunk size or
# trailer lines up to twice their limits; host names and certificate names
# up to twice the longest DNS name.
declare -A max_len=(
    [FtpReplies_fuzz]=4096
    [HttpMessages_fuzz]=4096
    [SocksMessages_fuzz]=1024
    [RegistryValues_fuzz]=1024
    [RegistryScript_fuzz]=4096
    [Url_fuzz]=4096
    [Http11_fuzz]=8192
    [HostNameMatch_fuzz]=1024
    [Proxy_fuzz]=4096
)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(FtpReplies_fuzz HttpMessages_fuzz SocksMessages_fuzz RegistryValues_fuzz RegistryScript_fuzz
             Url_fuzz Http11_fuzz HostNameMatch_fuzz Proxy_fuzz)
fi

if ! { cmake -S "$root/fuzz" -B "$out/build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null &&
       cmake --build "$out/build" -j "$(nproc)" --target "${targets[@]}" >"$out/build.log" 2>&1; }; then
    cat "$out/build.log" >&2 2>/dev/null
    echo "fuzz: build FAILED" >&2
    exit 1
fi

# Leaks count as findings; undefined behaviour already stops the run (the
# targets are built with -fno-sanitize-recover).
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1
export UBSAN_OPTIONS=${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:halt_on_error=1

failed=0
for target in "${targets[@]}"; do
    corpus=$out/corpus/$target
    artifacts=$out/artifacts/$target
    log=$out/logs/$target.log
    mkdir -p "$corpus" "$artifacts" "$out/logs"
    before=$(find "$corpus" -type f | wc -l)
    dict=()
    [ -f "$root/fuzz/dict/$target.dict" ] && dict=(-dict="$root/fuzz/dict/$target.dict")

    "$out/build/$target" "$corpus" "$root/fuzz/corpus/$target" "${dict[@]}" \
        -max_total_time="$seconds" -max_len="${max_len[$target]:-4096}" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1
    status=$?

    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    coverage=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
    after=$(find "$corpus" -type f | wc -l)
    if [ "$status" -eq 0 ]; then
        printf 'fuzz %-20s ok      %s s, %s runs, %s, corpus %s (+%s)\n' "$target" "$seconds" "${runs:-?}" \
            "${coverage:-cov ?}" "$after" "$((after - before))"
    else
        failed=$((failed + 1))
        finding=$(grep -m 1 -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|check failed:' "$log")
        input=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
        tail -n 60 "$log" >&2
        printf 'fuzz %-20s FAILED  (exit %s) %s\n' "$target" "$status" "${finding:-see $log}"
        printf 'fuzz %-20s         input %s, log %s\n' "$target" "${input:-none saved}" "$log"
    fi
done

if [ "$failed" -ne 0 ]; then
    echo "fuzz: $failed of ${#targets[@]} targets FAILED"
    exit 1
fi
echo "fuzz: all ${#targets[@]} targets ok, $seconds s each"
