#!/bin/sh
# smoke.sh [BUILD_DIR] [SECONDS]: runs every fuzz target once over each committed
# regression input (fuzz/regressions/<target>/), then SECONDS (default 5) of fuzzing from
# its seed corpus. Any finding (crash, sanitizer report, leak, timeout, memory limit)
# fails the run; the input lands in BUILD_DIR/artifacts/<target>/ and the log is shown.
set -u
build=${1:-build-fuzz}
seconds=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
limits="-timeout=10 -rss_limit_mb=2048"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=0

report_failure() {
    echo "FAIL: $1 (log: $2)"
    tail -n 60 "$2"
    failed=1
}

for target in probe playlist settings module; do
    binary=$build/${target}_fuzz
    logs=$build/smoke-logs
    artifacts=$build/artifacts/$target
    scratch=$build/smoke-corpus/$target
    mkdir -p "$logs" "$artifacts"
    # A fresh corpus every time, so the run's length does not grow with earlier runs.
    rm -rf "$scratch" && mkdir -p "$scratch"
    if [ ! -x "$binary" ]; then
        echo "FAIL: $binary is missing (make fuzz)"
        failed=1
        continue
    fi

    regressions=$here/regressions/$target
    if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
        log=$logs/${target}_regressions.log
        # Given files rather than directories, libFuzzer runs each input once.
        if "$binary" $limits -artifact_prefix="$artifacts/" "$regressions"/* >"$log" 2>&1; then
            echo "$target: $(ls "$regressions" | wc -l) regression inputs pass"
        else
            report_failure "$target regression inputs" "$log"
        fi
    fi

    log=$logs/${target}.log
    if "$binary" $limits -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$scratch" "$build/seeds/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "$target: ${runs:-?} runs in ${seconds} s, no finding"
    else
        report_failure "$target fuzzing" "$log"
    fi
done
exit $failed
