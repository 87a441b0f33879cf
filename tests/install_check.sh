#!/bin/sh
# Installs the build into a scratch prefix, builds examples/library against
# it with CMake and with pkg-config, and has each build solve two cases at
# once in two threads: their solution files and summaries must be the
# classic program's, byte for byte (but for the CPU time line).
# usage: install_check.sh BUILD_DIR SOURCE_DIR CASE1 CASE2
set -eu
build=$1 source=$2 case1=$3 case2=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/examples/library" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" 
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
c++ -std=c++17 -o "$work/solve_two_pc" "$source/examples/library/solve_two.cpp" $(pkg-config --cflags --libs pmedian) -pthread
for program in "$work/cmake-build/solve_two" "$work/solve_two_pc"; do
    for c in "$case1" "$case2"; do
        rm -rf "$work/$(basename "$c")"
        mkdir "$work/$(basename "$c")"
        cp "$c/pmeddata.dat" "$c/pmedmtrx.dat" "$work/$(basename "$c")/"
    done
    "$program" "$work/$(basename "$case1")" "$work/$(basename "$case2")" >/dev/null
    for c in "$case1" "$case2"; do
        out="$work/$(basename "$c")"
        cmp "$out/solucao.txt" "$c/expected_solucao.txt"
        grep -v "Total CPU Time" "$out/summary.txt" >"$work/got"
        grep -v "Total CPU Time" "$c/expected_stdout.txt" >"$work/want"
        cmp "$work/got" "$work/want"
    done
done
echo "installed library: both builds match the classic program"
