#!/usr/bin/env bash
# The Debian package of a build tree: made by cpack into a folder of its own, then checked for
# what it holds (the product only, no test program), its control fields, a working binary,
# desktop-file-validate, appstreamcli, lintian (no error; warnings are printed) and a simulated
# apt-get install that resolves every dependency. Nothing is installed.
#   test_package.sh BUILD_DIR VERSION
set -u
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "-- $1 ($((SECONDS - started)) s)"; started=$SECONDS; }
started=$SECONDS

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/qvlink_"$version"_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single qvlink_${version}_*.deb: $(ls "$work/out")"
deb=${debs[0]}
step "cpack made $(basename "$deb"), $(($(stat -c %s "$deb") / 1024)) KiB"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = qvlink ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
# The libraries by the names of this release's packages (Debian 13 renamed many: libc6 stays,
# libglib2.0-0 is libglib2.0-0t64, libsmbclient is libsmbclient0).
owner() {
    dpkg-query -S "*/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/$1" 2>/dev/null | grep -v '^diversion' | head -n 1 | cut -d: -f1
}
for lib in libQt6Widgets.so.6 libsmbclient.so.0 libsecret-1.so.0 libglib-2.0.so.0 libc.so.6; do
    package=$(owner "$lib")
    [ -n "$package" ] || fail "no package holds $lib"
    [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] || fail "Depends lacks $package ($lib): $depends"
done
for needed in gvfs-backends xdg-utils 'fonts-liberation (>= 1:2) | fonts-liberation2' \
    'default-dbus-session-bus | dbus-session-bus'; do
    [[ ", $depends" == *", $needed"* ]] || fail "Depends lacks '$needed': $depends"
done
field Description | sed -n 2p | grep -q . || fail "no long description"

# Contents: the two programs, the entry, metadata, manual pages, documents and 120 icons
# (60 at each density).
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $1, $6 }' >"$work/files"
allowed='^usr/(bin/qvlink(-scan)?|share/applications/qvlink\.desktop|share/metainfo/[A-Za-z0-9.]+\.metainfo\.xml|share/man/man1/qvlink(-scan)?\.1\.gz|share/doc/qvlink/(copyright|changelog\.gz)|share/icons/hicolor/(16x16|24x24|32x32|48x48|128x128|256x256)(@2)?/apps/qvlink(-device-(24[6-9]|25[0-4]))?\.png)$'
awk '{ print $2 }' "$work/files" | grep -Ev "$allowed"
[ "${PIPESTATUS[1]}" -eq 1 ] || fail "files that are not the product (above), or a bad pattern"
[ "$(grep -c '^-rwxr-xr-x usr/bin/' "$work/files")" -eq 2 ] || fail "usr/bin: $(grep usr/bin "$work/files")"
[ "$(grep -c ' usr/share/icons/' "$work/files")" -eq 120 ] || fail "icons: $(grep -c ' usr/share/icons/' "$work/files")"
[ "$(grep -c ' usr/share/man/man1/' "$work/files")" -eq 2 ] || fail "manual pages"
[ "$(grep -c ' usr/share/metainfo/' "$work/files")" -eq 1 ] || fail "metainfo"
grep -v '^-rwxr-xr-x usr/bin/' "$work/files" | grep -v '^-rw-r--r-- '
[ "${PIPESTATUS[1]}" -eq 1 ] || fail "files with other modes (above)"
step "control fields and contents"

root="$work/root"
dpkg-deb -x "$deb" "$root"
for bin in qvlink qvlink-scan; do
    file -b "$root/usr/bin/$bin" | grep -q ', stripped' || fail "$bin is not stripped: $(file -b "$root/usr/bin/$bin")"
done
[ "$(env -u DISPLAY "$root/usr/bin/qvlink" --version)" = "$("$build/app/qvlink" --version)" ] || fail "packaged --version"
for page in qvlink qvlink-scan; do
    gzip -t "$root/usr/share/man/man1/$page.1.gz" || fail "$page.1.gz"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l -Tutf8 "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
done
zcat "$root/usr/share/man/man1/qvlink-scan.1.gz" | grep -q 'presentationURL' || fail "qvlink-scan.1 lacks the columns"

desktop-file-validate "$root/usr/share/applications/qvlink.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic --no-color "$root"/usr/share/metainfo/*.metainfo.xml >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log"; fail "appstreamcli validate"; }
step "binaries, manual pages, desktop-file-validate, appstreamcli"

# lintian: errors fail; every other tag is printed so that a new one is seen.
lintian --no-cfg --fail-on error --display-level '>=pedantic' --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
lintian_rc=$?
cat "$work/lintian.log"
[ $lintian_rc -eq 0 ] || fail "lintian exited $lintian_rc"
grep -q '^E: ' "$work/lintian.log" && fail "lintian errors"
step "lintian"

# The dependencies resolve for apt, against this machine's package lists; nothing is installed.
apt-get install --simulate --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get --simulate"; }
grep -q '^Inst qvlink ' "$work/apt.log" || { cat "$work/apt.log"; fail "apt-get would not install qvlink"; }
step "apt-get install --simulate"
echo "PASS: $(basename "$deb")"
