#!/usr/bin/env bash
# The Debian package as a user receives it: made by CPack from the build,
# its dependencies and files, lintian's verdict, then unpacked into a scratch
# root and used from there by a fresh user with an empty home, who finds
# Tessik through the system registration alone (XDG_DATA_DIRS).
set -u
cpack=${1:?usage: package_test.sh CPACK BUILD_DIR} build=$(realpath "${2:?usage: package_test.sh CPACK BUILD_DIR}")
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"

# The scratch root sits in the build folder, whose folders are as safe as
# the installation's own: hosts refuse what others can write.
work=$(mktemp -d) root=$(mktemp -d "$build/package-root.XXXXXX") home=$(mktemp -d)
trap 'rm -rf "$work" "$root" "$home"' EXIT
chmod 0755 "$root"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || cat "$work/cpack.log"
deb=$(echo "$work"/talhaz_*_amd64.deb)
check "the package, named the Debian way" test -f "$deb"

dpkg-deb -f "$deb" Depends | tr ',' '\n' | awk '{ print $1 }' >"$work/depends"
for library in libc6 libstdc++6 libqt6widgets6 libssl3 libgf-complete1; do check "Depends names $library" grep -qxF $library "$work/depends"; done
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/files"
for file in bin/{Talhaz,component,tessik} lib/talhaz/{Tessik,TessikAbout,libtalhaz-platform,libtalhaz-desktop}.so \
    share/{components/registry.d/Tessik.reg,applications/org.example.talhaz.desktop} \
    share/{metainfo/org.example.talhaz.metainfo.xml,icons/hicolor/{16x16,32x32}/apps/talhaz.png} \
    share/man/man1/{Talhaz,component,tessik}.1.gz share/bash-completion/completions/tessik \
    share/doc/talhaz/{copyright,changelog.Debian.gz}; do check "the package holds /usr/$file" grep -qxF "./usr/$file" "$work/files"; done
lintian "$deb" 2>&1 | tee "$work/lintian"
check "lintian reports no error" test -z "$(grep '^E:' "$work/lintian")"

dpkg-deb -x "$deb" "$root"
registration=$root/usr/share/components/registry.d/Tessik.reg
check "the module is named from the registration's folder, never by an absolute path" test \
  "$(grep -cxF '@="../../../lib/talhaz/Tessik.so"' "$registration")" -gt 0 -a -z "$(grep -F '="/' "$registration")"
check "the metainfo, desktop entry and icons agree" appstreamcli validate-tree --no-net "$root"
check "no empty entry in a program's or library's search path" test -z "$(runpath_holes "$root" | tee /dev/stderr)"
check "folders 0755, nothing writable by others" test -z "$(find "$root" -type d ! -perm 0755 -o -perm /022)"
as_user=() user=talhaz-package-test
if [ "$(id -u)" = 0 ]; then
  check "everything is root's" test -z "$(find "$root" ! -user root -o ! -group root)"
  id -u $user >/dev/null 2>&1 || useradd --system --no-create-home --home-dir /nonexistent $user
  chown $user: "$home" && chmod 0755 "$home" && as_user=(runuser -u $user --)
else
  skip "root ownership of the files and a user of its own (the test does not run as root)"
fi
# That user with nothing of this environment: no registry of its own, the
# unpacked root as the only system data folder.
fresh() { "${as_user[@]}" env -i -C "$home" PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 \
  XDG_DATA_DIRS="$root/usr/share" QT_QPA_PLATFORM=offscreen MESSAGE_BOX_LOG="$home/boxes" "$@"; }
fresh sh -c 'head -c 3000017 /dev/urandom >original && cp original F'
check "a split through the system registration" fresh "$root/usr/bin/component" call Tessik.FileSplit InputFile=F SubFilesNumber=3 Split
check "a join of it" fresh sh -c "rm F && '$root/usr/bin/component' call Tessik.FileSplit OutputFile=F Join"
check "gives the same bytes" cmp "$home/F" "$home/original"
check "tessik splits to fit and rebuilds from a member, checked" fresh sh -c "cp original G && '$root/usr/bin/tessik' split G --max-size 1M -q &&
  rm G && '$root/usr/bin/tessik' join G.3 -q && '$root/usr/bin/tessik' check G.sha256 >/dev/null && cmp G original"
fresh timeout 3 "$root/usr/bin/Talhaz" F
check "Talhaz with the file is still running after 3 s, without a box" test $? = 124 -a ! -s "$home/boxes"
check "unregistering it is left to the package: exit 1" eval \
  'fresh "$root/usr/bin/component" unregister "$root/usr/lib/talhaz/Tessik.so" 2>&1 | grep -q "only the package"'
printf '[damaged\n' >"${registration%/*}/broken.reg" && chmod g+w "$root/usr/lib/talhaz/Tessik.so"
fresh "$root/usr/bin/component" list >"$work/list" 2>&1
check "list names a damaged drop-in and its line, and passes over it" grep -q "skipped .*broken.reg: .*line 1" "$work/list"
check "and refuses a module others may write" grep -q "Tessik.reg	refused: .* may be written by other users" "$work/list"
report
