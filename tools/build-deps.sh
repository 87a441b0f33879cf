#!/bin/sh
# build-deps.sh - makes sure that what the build needs is installed, on
# Debian or Ubuntu.  The Makefile runs it before configuring.
#
# Usage: build-deps.sh [--programs | TRIPLE...]
#   without arguments: g++, CMake, CLI11, nlohmann-json, GoogleTest, Google
#     Benchmark and Python 3 (the programs, the tests and the benchmark
#     script);
#   --programs: g++, CMake, CLI11 and nlohmann-json only (a build without
#     the tests);
#   with GNU triples (aarch64-linux-gnu, s390x-linux-gnu, i686-linux-gnu...):
#     the cross compiler of each, and qemu-user for running their programs.
#
# Something counts as installed when its Debian package is, or when it is
# found where the build looks for it (a compiler on PATH, a header under
# /usr/include or /usr/local/include).  What is missing is installed with
# apt-get when run as root; otherwise the script prints the one apt-get line
# to run, and fails.
set -eu

missing=""

# need PACKAGE PROBE: PACKAGE is missing unless dpkg has it installed or the
# shell command PROBE succeeds.
need() {
    if command -v dpkg-query > /dev/null 2>&1 &&
        dpkg-query -W -f '${db:Status-Abbrev}' "$1" 2> /dev/null | grep -q '^ii'; then
        return 0
    fi
    if sh -c "$2" > /dev/null 2>&1; then
        return 0
    fi
    missing="$missing $1"
}

header() {
    echo "[ -f /usr/include/$1 ] || [ -f /usr/local/include/$1 ]"
}

if [ $# -eq 0 ] || [ "$1" = --programs ]; then
    need g++ "command -v g++"
    need cmake "command -v cmake"
    need libcli11-dev "$(header CLI/CLI.hpp)"
    need nlohmann-json3-dev "$(header nlohmann/json.hpp)"
fi
if [ $# -eq 0 ]; then
    need libgtest-dev "$(header gtest/gtest.h)"
    need libgmock-dev "$(header gmock/gmock.h)"
    need libbenchmark-dev "$(header benchmark/benchmark.h)"
    need python3 "command -v python3"
elif [ "$1" != --programs ]; then
    emulated=no
    for triple in "$@"; do
        need "g++-$triple" "command -v $triple-g++"
        case $triple in
        i?86-*) [ "$(uname -m)" = x86_64 ] || emulated=yes ;;
        *) emulated=yes ;;
        esac
    done
    if [ $emulated = yes ]; then
        need qemu-user-static "command -v qemu-aarch64-static && command -v qemu-s390x-static"
    fi
fi

[ -z "$missing" ] && exit 0

if ! command -v apt-get > /dev/null 2>&1; then
    echo "missing:$missing (Debian package names); install them with your system's package manager" >&2
    exit 1
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "missing:$missing; install them as root with:" >&2
    echo "  apt-get install$missing" >&2
    exit 1
fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
