#!/usr/bin/env bash
# The component tool as people and scripts use it: registering the real
# module into a registry of its own, listing, calling members by name and by
# identifier, a split and a join of a real file, progress and interruption,
# and every exit status.
set -u
usage="usage: component_tool_test.sh COMPONENT TESSIK_MODULE RESOURCES SHORT_IO_LIBRARY"
tool=$(realpath "${1:?$usage}")
module=$(realpath "${2:?$usage}")
resources=$(realpath "${3:?$usage}")
short_io=$(realpath "${4:?$usage}")
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
use_scratch_registry

# Runs the tool with its output in $work/out and $work/err; echoes the status.
run() { "$tool" "$@" >"$work/out" 2>"$work/err"; echo $?; }

check "the module exports the four entry points only" test \
  "$(nm -D --defined-only "$module" | awk '{print $3}' | tr '\n' ' ')" = \
  "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
section() { objcopy -O binary --only-section="$1" "$module" "$work/section" && cat "$work/section"; }
check "the module carries the toolbox bitmap" cmp -s <(section .rsrc.BITMAP.30000) "$resources/toolbox.bmp"
check "and its version" grep -qaF "ProductName=Tessik ActiveX control" <(section .rsrc.VERSION)
check "and the interface identifier" test "$(section .rsrc._IID_FILESPLIT | od -An -tx1 | tr -d ' \n')" = \
  10000000a323e753ea864e1da566d509db991fb4

check "register" test "$(run register "$module")" = 0
check "list names the class, its identifier, module and layer" grep -qxF \
  "Tessik.FileSplit	{14700B8D-5D35-427B-BFFD-DDDF1216FC53}	$module	$COMPONENT_REGISTRY" <(run list >/dev/null; cat "$work/out")
run members Tessik.FileSplit >/dev/null
check "fourteen members" test "$(wc -l <"$work/out")" = 14
check "members carry identifiers, kinds and help" grep -qxF \
  "0x68030000	put	SubFilesNumber(New_SubFilesNumber As Integer)	-	visible	Number of file fragments to make" "$work/out"
check "hidden worker with its by-reference size" grep -qF \
  "0x60030008	method	SplitFiles(inputFilename As String, ByRef newFileSizeBytes As Long)	Boolean	hidden" "$work/out"

head -c 2500000 /dev/urandom >"$work/film avi"
cp "$work/film avi" "$work/original"
check "split exits 0" test "$(run call Tessik.FileSplit "InputFile=$work/film avi" SubFilesNumber=4 Split)" = 0
check "split prints its result" test "$(cat "$work/out")" = True
check "four fragments" test -e "$work/film avi.4" -a ! -e "$work/film avi.5"
check "sha256sum checks the set before a join" eval '(cd "$work" && sha256sum --quiet -c --ignore-missing "film avi.sha256")'
rm "$work/film avi"
check "join exits 0" test "$(run call Tessik.FileSplit "OutputFile=$work/film avi" Join)" = 0
check "join rebuilds the file" cmp -s "$work/film avi" "$work/original"
check "sha256sum checks everything after it" eval '(cd "$work" && sha256sum --quiet -c "film avi.sha256")'
run call Tessik.FileSplit "OutputFile=$work/film avi" Join VerifiedWith >/dev/null
check "the join says which checksum file it was verified against" test "$(tail -1 "$work/out")" = "$work/film avi.sha256"

# A set cut and listed by coreutils joins verified; a damaged piece is named.
(cd "$work" && split -a 1 --numeric-suffixes=1 -b 1000000 original cut. && sha256sum cut.[1-3] >cut.sha256 &&
  sha256sum <original | sed 's/-$/cut/' >>cut.sha256)
check "a checksum file sha256sum wrote is accepted" test "$(run call Tessik.FileSplit "OutputFile=$work/cut" Join VerifiedWith)" = 0
check "and named" test "$(tail -1 "$work/out")" = "$work/cut.sha256"
check "the joined file is exact" cmp -s "$work/cut" "$work/original"
printf x | dd of="$work/cut.2" bs=1 seek=5 conv=notrunc 2>/dev/null
check "a damaged piece exits 1" test "$(run call Tessik.FileSplit "OutputFile=$work/cut" Join)" = 1
check "and the box names it" test "$(cat "$work/err")" = "Tessik: Error joining files!
cut.2 does not match cut.sha256"
check "Checksums=False ignores the checksum file" test "$(run call Tessik.FileSplit Checksums=False "OutputFile=$work/cut" Join)" = 0
rm "$work"/cut*
cp "$work/original" "$work/plain"
echo stale >"$work/plain.sha256"
check "Checksums=False splits" test "$(run call Tessik.FileSplit Checksums=False "InputFile=$work/plain" Split Checksums)" = 0
check "and writes no checksum file, the older one gone" test ! -e "$work/plain.sha256" -a -e "$work/plain.2" -a "$(tail -1 "$work/out")" = False

# Progress and signals, on a disk made slow by the short_io library: each
# transfer waits 10 ms and moves at most 64 KiB.
slow_tool=(env --default-signal=INT SHORT_IO_PACE=10 LD_PRELOAD="$short_io"
  ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" "$tool")
slowly() { "${slow_tool[@]}" "$@" >"$work/out" 2>"$work/err"; }
head -c 3000000 /dev/urandom >"$work/slow"
cp "$work/slow" "$work/slow-original"
slowly call --progress Tessik.FileSplit "InputFile=$work/slow" SubFilesNumber=2 Split
check "--progress off a terminal: percentages rising to 100%" eval \
  '[ "$(cut -d% -f1 "$work/err" | tr "\n" " ")" = "$(cut -d% -f1 "$work/err" | sort -nu | tr "\n" " ")" ] &&
   [ "$(wc -l <"$work/err")" -ge 2 ] && [ "$(tail -1 "$work/err")" = "100% 2.9 MiB of 2.9 MiB" ]'
# interrupt SIGNAL TEST STEP...: the call, sent SIGNAL twice once `test TEST`
# holds (the second during the clean-up, or before it); echoes its status.
interrupt() {
  local signal=$1 started=$2 call
  shift 2
  "${slow_tool[@]}" call Tessik.FileSplit "$@" >"$work/out" 2>"$work/err" & call=$!
  for _ in $(seq 100); do ! test $started || break; sleep 0.02; done
  kill -"$signal" "$call"; kill -"$signal" "$call"
  wait "$call"; echo $?
}
check "SIGINT mid-split: exit 130" test "$(interrupt INT "! -e $work/slow.sha256" "InputFile=$work/slow" SubFilesNumber=3 Split)" = 130
check "saying so" test "$(cat "$work/err")" = "error 18: User interrupt occurred"
check "the older set is gone, not half replaced" eval '[ ! -e "$work/slow.1" ] && [ ! -e "$work/slow.2" ] && [ ! -e "$work/slow.sha256" ]'
check "the input whole" cmp -s "$work/slow" "$work/slow-original"
slowly call Tessik.FileSplit "InputFile=$work/slow" SubFilesNumber=2 Split
rm "$work/slow"
check "SIGTERM mid-join: exit 143" test "$(interrupt TERM "-e $work/slow" "OutputFile=$work/slow" Join)" = 143
check "saying so" test "$(cat "$work/err")" = "error 18: User interrupt occurred"
check "no joined file, the fragments whole" eval '[ ! -e "$work/slow" ] &&
  (cd "$work" && sha256sum --quiet -c --ignore-missing slow.sha256)'

check "gets print values; identifiers in any form" test "$(run call tessik.filesplit '#0x68030002=a,b' inputfile '#1745027072' '#0x68030000=7' SUBFILESNUMBER)" = 0
check "printed values" test "$(tr '\n' ' ' <"$work/out")" = "a,b 2 7 "
check "worker with arguments, quoted comma" test "$(run call Tessik.FileSplit "SplitFiles(\"$work/film avi\",1000000)" "JoinFiles(\"$work/film avi\")")" = 0
check "worker still exact" cmp -s "$work/film avi" "$work/original"

# Quoting: a quote counts only around a whole argument, "" in it standing for
# one; a put's value is taken as written. Names reach the files exactly; any
# other quote stops the call before its first step runs.
name='say "hi", (now)'
quoted=${name//\"/\"\"}
cp "$work/original" "$work/$name"
check "a quoted name with quotes, a comma and parentheses splits" \
  test "$(run call Tessik.FileSplit "SplitFiles(\"$work/$quoted\",1000000)")" = 0
check "into fragments of that very name" test -e "$work/$name.3" -a ! -e "$work/$name.4"
rm "$work/$name"
check "and joins exactly" eval '[ "$(run call Tessik.FileSplit "JoinFiles(\"$work/$quoted\")")" = 0 ] &&
  cmp -s "$work/$name" "$work/original"'
check "a put's value keeps its quotes" test "$(run call Tessik.FileSplit 'InputFile="a,""b"' InputFile >/dev/null;
  cat "$work/out")" = '"a,""b"'
for list in "$work/a\"b" "\"$work/a\"b" "\"$work/a" " \"$work/a\"" "\"$work/a\" "; do
  check "malformed quoting ($list) exits 3" test "$(run call Tessik.FileSplit "InputFile=$work/original" \
    SubFilesNumber=2 Split "JoinFiles($list)")" = 3
  check "before anything ran" test ! -e "$work/original.1"
done

check "a method returning false exits 1" test "$(run call Tessik.FileSplit "OutputFile=$work/none" Join)" = 1
check "its box goes to standard error" grep -qxF "Tessik: Error joining files!" "$work/err"
check "a missing file exits 2" test "$(run call Tessik.FileSplit "InputFile=$work/none" Split)" = 2
check "error 53 is printed" grep -q "^error 53: File not found" "$work/err"
check "about box without a window system is a runtime error" test "$(run call Tessik.FileSplit '#-552')" = 2
# With a display the About box shows, and stays until closed: SIGTERM closes
# it and the call ends as interrupted. Other steps keep their boxes off it.
check "with a display the about box shows until SIGTERM ends the call" eval '[ "$(DISPLAY=:0 QT_QPA_PLATFORM=offscreen \
  timeout --preserve-status 2 "$tool" call Tessik.FileSplit ShowAboutBox 2>"$work/err"; echo $?)" = 143 ] &&
  [ "$(tail -1 "$work/err")" = "error 18: User interrupt occurred" ]'
check "with a display, a component's box still goes to standard error" test "$(DISPLAY=:0 \
  QT_QPA_PLATFORM=offscreen timeout 5 "$tool" call Tessik.FileSplit "OutputFile=$work/none" Join 2>&1 >/dev/null |
  head -1)" = "Tessik: Error joining files!"
for usage in "" "call" "call Tessik.FileSplit" "list extra" "frobnicate" "call Tessik.FileSplit Join(1" \
  "call Tessik.FileSplit InputFile=$work/none Split #zz"; do
  # shellcheck disable=SC2086
  check "bad usage '$usage'" test "$(run $usage)" = 3
done

check "--help prints the usage and the quoting rules" eval '[ "$(run --help)" = 0 ] && [ ! -s "$work/err" ] &&
  grep -qF "JoinFiles(\"a\"\"b\")" "$work/out"'
check "--version prints the version" eval '[ "$(run --version)" = 0 ] && grep -qxE "component [0-9]+\.[0-9]+\.[0-9]+" "$work/out"'
check "after --, --help is no option" eval '[ "$(run -- --help)" = 3 ] && [ ! -s "$work/out" ]'
check "-- before a command and before a call's class" test "$(run -- call -- Tessik.FileSplit Checksums)" = 0

check "unregister" test "$(run unregister "$module")" = 0
check "registry left without the class" test "$(run list; cat "$work/out")" = 0
check "creating it now fails with 429" test "$(run call Tessik.FileSplit Join)" = 2 -a "$(head -c 9 "$work/err")" = "error 429"
cp "$module" "$work/moved.so"
run register "$work/moved.so" >/dev/null
rm "$work/moved.so"
check "a registered module that is gone exits 2" test "$(run call Tessik.FileSplit Join)" = 2
check "and says it does not load" grep -q "^error 429: .*does not load" "$work/err"
printf '[CLSID]\n"broken\n' >"$COMPONENT_REGISTRY"
check "a damaged registry exits 2" test "$(run list)" = 2
check "naming the file and the line" grep -qF "at line 2" "$work/err"
check "and the file" grep -qF "$COMPONENT_REGISTRY" "$work/err"
rm "$COMPONENT_REGISTRY"
check "a module that is no component" test "$(run register /bin/true)" = 2

report
