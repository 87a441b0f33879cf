#!/bin/sh
# Builds the solver for other architectures and checks that every run there
# gives this machine's bits.  Each TRIPLE (a GNU triple of Debian's cross
# compilers, such as aarch64-linux-gnu) is configured from this source tree
# with cmake/cross.cmake into CROSS_DIR/TRIPLE, and its pmedian and
# pmedian-reference run, through qemu-user where this CPU cannot run them,
# on the conformance and end-to-end cases (against their expected files);
# its pmedian also on COUNT random instances (against this machine's
# pmedian, whose outputs become the expected files).  The straightforward
# routines, slow under emulation, meet the random instances in this
# machine's pmedian-reference.  Standard output but the "Total CPU Time"
# line, and solucao.txt, must match byte for byte (tests/run_case.sh).
#
# For 32-bit x86 it also checks that an x87 build is refused at compile time.
#
# Usage: cross_check.sh NATIVE_BUILD_DIR CROSS_DIR JOBS COUNT TRIPLE...
# Ends with "N passed, N failed" and status 0 only when every run matched.
set -eu
if [ $# -lt 5 ]; then
    echo "usage: cross_check.sh NATIVE_BUILD_DIR CROSS_DIR JOBS COUNT TRIPLE..." >&2
    exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "$1" && pwd)
mkdir -p "$2"
root=$(cd "$2" && pwd)
jobs=$3
count=$4
shift 4
# A run that takes longer than this (seconds, emulated) is taken for a hang.
run_limit=300

passed=0
failed=0

# lap sets seconds to the time since its previous call.
mark=$(date +%s)
lap() {
    now=$(date +%s)
    seconds=$((now - mark))
    mark=$now
}

# The argument in single quotes, for a line of shell.
quote() {
    printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"
}

# Runs PROGRAM on every case folder under the given folders, JOBS at a time;
# prints the first line of each mismatch and adds up the outcomes.
check_program() {
    program=$1
    label=$2
    shift 2
    report=$root/report.txt
    find "$@" -mindepth 1 -maxdepth 1 -type d -print0 | sort -z |
        xargs -0 -n 1 -P "$jobs" sh -c '
            if out=$(sh "$1" "$2" "$3" 2>&1); then echo pass
            else printf "FAIL %s: %s\n" "$3" "$(printf "%s\n" "$out" | head -n 1)"; fi' \
            sh "$src/tests/run_case.sh" "$program" > "$report"
    good=$(grep -c '^pass$' "$report" || true)
    bad=$(grep -c '^FAIL' "$report" || true)
    lap
    echo "$label: $good passed, $bad failed ($seconds s)"
    grep '^FAIL' "$report" | head -n 10 || true
    passed=$((passed + good))
    failed=$((failed + bad))
}

# The random instances and this machine's outputs for them.
cases=$root/random-cases
rm -rf "$cases"
"$native/random_cases" "$cases" "$count"
find "$cases" -mindepth 1 -maxdepth 1 -type d -print0 |
    xargs -0 -n 1 -P "$jobs" sh -c '
        cd "$2" && { "$1" > expected_stdout.txt 2> /dev/null; mv solucao.txt expected_solucao.txt; }' \
        sh "$native/pmedian"
lap
echo "$count random instances solved by $native/pmedian ($seconds s)"
check_program "$native/pmedian-reference" "native pmedian-reference" "$cases"

for triple in "$@"; do
    build=$root/$triple
    echo "--- $triple"
    case $triple in
    i?86-*)
        # The compile must stop where float expressions would keep excess
        # precision, and pass with the arithmetic the build selects.
        probe="#include \"arith.h\""
        if echo "$probe" | "$triple-g++" -std=c++20 -fsyntax-only -I"$src/src/instance" -x c++ - 2> /dev/null; then
            echo "FAIL: an x87 build of arith.h compiles"
            failed=$((failed + 1))
        elif ! echo "$probe" | "$triple-g++" -std=c++20 -fsyntax-only -msse2 -mfpmath=sse \
                -I"$src/src/instance" -x c++ - > /dev/null; then
            echo "FAIL: an SSE2 build of arith.h does not compile"
            failed=$((failed + 1))
        else
            echo "x87 build refused, SSE2 build accepted"
            passed=$((passed + 1))
        fi
        ;;
    esac
    if ! { cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/cross.cmake" \
               -DPMEDIAN_TRIPLE="$triple" -DCMAKE_BUILD_TYPE=Release -DPMEDIAN_TESTS=OFF &&
           cmake --build "$build" -j "$jobs" --target pmedian pmedian-reference; } > "$root/$triple.log" 2>&1; then
        tail -n 30 "$root/$triple.log"
        echo "FAIL: the $triple build failed (log: $root/$triple.log)"
        failed=$((failed + 1))
        continue
    fi
    lap
    echo "built pmedian and pmedian-reference ($seconds s)"
    for program in pmedian pmedian-reference; do
        printf '#!/bin/sh\nexec timeout %s sh %s %s "$@"\n' "$run_limit" \
            "$(quote "$build/run-on-target")" "$(quote "$build/$program")" > "$build/run-$program"
        chmod +x "$build/run-$program"
    done
    check_program "$build/run-pmedian" "$triple pmedian" "$src/tests/conformance" "$src/tests/e2e" "$cases"
    check_program "$build/run-pmedian-reference" "$triple pmedian-reference" \
        "$src/tests/conformance" "$src/tests/e2e"
done

echo "cross: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
