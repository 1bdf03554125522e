#!/usr/bin/env bash
# deb_test.sh RELEASE_BUILD_DIR VERSION
#
# Checks the Debian package that scripts/package wrote into the release build:
# its name, its control fields, Depends computed from the shared libraries,
# the file list, the AppStream metadata valid (appstreamcli, no errors or
# warnings) and of the package's version, and that lintian finds nothing
# beyond the tags listed below.
# Skips (status 77) when dpkg-deb is missing or no package has been built
# (scripts/test builds it first with scripts/package; a plain ctest run after
# a build by hand may not have one).
set -euo pipefail

release="$1"
version="$2"
# The component id that names the desktop entry and the AppStream metadata.
id=example.keyloom.Keyloom
deb="$release/keyloom_${version}_amd64.deb"

if ! command -v dpkg-deb >/dev/null; then
  echo "deb_test: SKIPPED: dpkg-deb is missing"
  exit 77
fi
if [ ! -f "$deb" ]; then
  echo "deb_test: SKIPPED: no $deb (run scripts/package to build it)"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
field() { dpkg-deb --field "$deb" "$1"; }

[ "$(field Package)" = keyloom ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[[ "$(field Maintainer)" =~ ^.+\ \<.+@.+\>$ ]] || fail "Maintainer is '$(field Maintainer)'"
description="$(field Description)"
[ "$(echo "$description" | wc -l)" -ge 3 ] || fail "the Description has no long part"
depends="$(field Depends)"
[ -n "$depends" ] || fail "Depends is empty"
# The libraries the binaries link, each as its Debian package.
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libzydis libdw1 libunwind8; do
  [[ ", $depends" == *", $library"* ]] || fail "Depends lacks $library: $depends"
done
# No maintainer scripts: Debian's own triggers update the caches.
scripts="$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'preinst|postinst|prerm|postrm' || true)"
[ -z "$scripts" ] || fail "maintainer scripts: $scripts"

expected="./usr/bin/keyloom
./usr/bin/keyloom-dump
./usr/share/applications/$id.desktop
./usr/share/doc/keyloom/changelog.gz
./usr/share/doc/keyloom/copyright
./usr/share/icons/hicolor/128x128/apps/keyloom.png
./usr/share/icons/hicolor/16x16/apps/keyloom.png
./usr/share/icons/hicolor/256x256/apps/keyloom.png
./usr/share/icons/hicolor/32x32/apps/keyloom.png
./usr/share/icons/hicolor/48x48/apps/keyloom.png
./usr/share/icons/hicolor/scalable/apps/keyloom.svg
./usr/share/man/man1/keyloom-dump.1.gz
./usr/share/man/man1/keyloom.1.gz
./usr/share/metainfo/$id.metainfo.xml
./usr/share/mime/packages/keyloom.xml"
files="$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort)"
[ "$files" = "$expected" ] || fail "the package's files differ:
$(diff <(echo "$expected") <(echo "$files") || true)"
# The licence: the copyright file names the Apache License 2.0 for every file.
copyright="$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/keyloom/copyright)"
grep -qx 'License: Apache-2.0' <<<"$copyright" || fail "the copyright file names no Apache-2.0 licence"
grep -q '/usr/share/common-licenses/Apache-2.0' <<<"$copyright" || fail "the copyright file does not point to the licence text"
# The AppStream metadata as packaged.
if command -v appstreamcli >/dev/null; then
  unpacked="$(mktemp -d /tmp/keyloom-deb-XXXXXX)"
  trap 'rm -rf "$unpacked"' EXIT
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$unpacked" "./usr/share/metainfo/$id.metainfo.xml"
  metainfo="$unpacked/usr/share/metainfo/$id.metainfo.xml"
  verdict="$(appstreamcli validate --no-net "$metainfo" 2>&1)" || fail "appstreamcli refuses $id.metainfo.xml: $verdict"
  ! grep -qE '^[EW]: ' <<<"$verdict" || fail "appstreamcli warns on $id.metainfo.xml: $verdict"
  grep -qF "<release version=\"$version\"" "$metainfo" || fail "$id.metainfo.xml has no release $version"
else
  fail "appstreamcli is missing (run scripts/setup)"
fi
owners="$(dpkg-deb --fsys-tarfile "$deb" | tar -tv | awk '{print $2}' | sort -u)"
[ "$owners" = root/root ] || fail "files not owned by root: $owners"

# Lintian, when present. The binaries keep their line tables on purpose: the
# error report names the faulting source line from them.
if command -v lintian >/dev/null; then
  tags="$(lintian --no-tag-display-limit "$deb" 2>/dev/null | grep -E '^[EW]:' \
    | grep -vE '^E: keyloom: unstripped-binary-or-object \[usr/bin/keyloom(-dump)?\]$' || true)"
  [ -z "$tags" ] || fail "lintian: $tags"
fi

if [ "$failures" -ne 0 ]; then
  echo "deb_test: $failures failures" >&2
  exit 1
fi
echo "deb_test: $deb: $(echo "$files" | wc -l) files; Depends: $depends"
