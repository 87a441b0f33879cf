#!/bin/sh
# Runs a solver program on one case folder in a scratch copy and compares its
# standard output (every line but "Total CPU Time") and "solucao.txt" byte for
# byte with the expected files, and the exit status with 1.
# Usage: run_case.sh PROGRAM CASE_DIR
prog=$1
case_dir=$2
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
cp "$case_dir/pmeddata.dat" "$work/" 2>/dev/null
cp "$case_dir/pmedmtrx.dat" "$work/" 2>/dev/null
(cd "$work" && "$prog" > stdout.txt 2> stderr.txt)
rc=$?
status=0
if [ "$rc" -ne 1 ]; then
    echo "exit status $rc, expected 1"
    status=1
fi
# Compares two files; on a mismatch prints the first differing line of both.
compare() {
    cmp -s "$1" "$2" && return 0
    awk -v label="$3" '
        NR == FNR { a[FNR] = $0; na = FNR; next }
        { b[FNR] = $0; nb = FNR }
        END {
            m = na > nb ? na : nb
            for (i = 1; i <= m; i++)
                if (!(i in a) || !(i in b) || a[i] != b[i]) {
                    printf "%s differs at line %d\n  expected: %s\n  actual:   %s\n", label, i,
                           (i in a) ? a[i] : "<end of file>", (i in b) ? b[i] : "<end of file>"
                    exit
                }
            printf "%s differs in its line endings or final bytes\n", label
        }' "$1" "$2"
    return 1
}
grep -v 'Total CPU Time' "$case_dir/expected_stdout.txt" > "$work/expected.txt"
grep -v 'Total CPU Time' "$work/stdout.txt" > "$work/actual.txt"
compare "$work/expected.txt" "$work/actual.txt" "standard output" || status=1
if [ -f "$case_dir/expected_solucao.txt" ]; then
    if [ ! -f "$work/solucao.txt" ]; then
        echo "solucao.txt was not written"
        status=1
    else
        compare "$case_dir/expected_solucao.txt" "$work/solucao.txt" "solucao.txt" || status=1
    fi
fi
exit $status
