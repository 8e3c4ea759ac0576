#!/usr/bin/env bash
# A real 5 GiB file on disk, every byte written, split in two through
# `component call` (a part size above 2^31) and joined back verified against
# its checksum file, checked with sha256sum. Needs three times its size free.
set -u
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
! sanitized || { skip "a sanitizer build, where 15 GiB of copying takes too long"; exit 77; }
use_scratch_registry register
size=$((5 << 30))
free=$(df --output=avail -B1 "$work" | tail -1)
[ "$free" -ge $((3 * size)) ] || { skip "$((free >> 30)) GiB free in $work, the test needs $((3 * size >> 30))"; exit 77; }

expected=$(head -c "$size" /dev/urandom | tee "$work/film" | sha256sum)
check "split in two" eval 'split_call "$work/film" 2 >/dev/null'
check "two fragments: S = L/2 + 1 bytes, and the rest" test "$(stat -c %s "$work"/film.{1,2,3} 2>/dev/null | tr '\n' ' ')" = "2684354561 2684354559 "
rm "$work/film"
check "the join, verified against the checksum file" test "$(join_call "$work/film" VerifiedWith)" = "True
$work/film.sha256"
check "the joined file is the file" test "$(sha256sum <"$work/film")" = "$expected"
report
