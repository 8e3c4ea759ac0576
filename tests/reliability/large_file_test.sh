#!/usr/bin/env bash
# A real 5 GiB file on disk, every byte written, split into three through
# `component call` and joined back, checked with sha256sum. Needs three times
# its size free.
set -u
tool=$(realpath "${1:?usage: large_file_test.sh COMPONENT TESSIK_MODULE}")
module=$(realpath "${2:?usage: large_file_test.sh COMPONENT TESSIK_MODULE}")
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
use_scratch_registry

size=$((5 << 30))
free=$(df --output=avail -B1 "$work" | tail -1)
if [ "$free" -lt $((3 * size)) ]; then
  echo "skipped: $((free >> 30)) GiB free in $work, the test needs $((3 * size >> 30))"
  exit 77
fi
"$tool" register "$module" >/dev/null || exit 1

head -c "$size" /dev/urandom >"$work/film"
expected=$(sha256sum <"$work/film")
call() { "$tool" call Tessik.FileSplit "$@" >/dev/null; }
check "split into three" call "InputFile=$work/film" SubFilesNumber=3 Split
check "three fragments of S bytes and the rest" test "$(stat -c %s "$work"/film.{1,2,3} | tr '\n' ' ')" = \
  "1789569708 1789569708 1789569704 "
check "fragments hold the file" test "$(cat "$work"/film.{1,2,3} | sha256sum)" = "$expected"
rm "$work/film"
check "join" call "OutputFile=$work/film" Join
check "the joined file is the file" test "$(sha256sum <"$work/film")" = "$expected"
report
