#!/usr/bin/env bash
# install_test.sh BUILD_DIR SHARED_HIVES VERSION
#
# Installs the build into a temporary DESTDIR and checks what a desktop makes
# of it: every file where it belongs, the desktop entry and mime package
# valid, and, with the installed share folder as XDG_DATA_HOME (its caches
# built there), xdg-mime names application/x-windows-registry-hive for every
# real hive and for a hive named SYSTEM, not for a text file named SYSTEM nor
# for other files, and sends the type to the desktop entry. xdg-mime is asked
# through two of its back ends: the generic one (File::MimeInfo's mimetype)
# and GNOME's (gio), which file managers use. The AppStream metadata passes
# appstreamcli's validation without errors or warnings and names the desktop
# entry, the mime type, the programs and the project's version.
set -euo pipefail

build="$1"
hives="$2"
version="$3"
type=application/x-windows-registry-hive
# The component id that names the desktop entry and the AppStream metadata.
id=example.keyloom.Keyloom
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for tool in desktop-file-validate xmllint appstreamcli update-mime-database update-desktop-database xdg-mime mimetype gio; do
  command -v "$tool" >/dev/null || { echo "install_test: $tool is missing (run scripts/setup)" >&2; exit 1; }
done

work="$(mktemp -d /tmp/keyloom-install-XXXXXX)"
trap 'rm -rf "$work"' EXIT
DESTDIR="$work/root" cmake --install "$build" --prefix /usr/local >/dev/null
prefix="$work/root/usr/local"

# Exactly these files, and no other.
expected="bin/keyloom
bin/keyloom-dump
share/applications/$id.desktop
share/doc/keyloom/changelog.gz
share/doc/keyloom/copyright
share/icons/hicolor/128x128/apps/keyloom.png
share/icons/hicolor/16x16/apps/keyloom.png
share/icons/hicolor/256x256/apps/keyloom.png
share/icons/hicolor/32x32/apps/keyloom.png
share/icons/hicolor/48x48/apps/keyloom.png
share/icons/hicolor/scalable/apps/keyloom.svg
share/man/man1/keyloom-dump.1.gz
share/man/man1/keyloom.1.gz
share/metainfo/$id.metainfo.xml
share/mime/packages/keyloom.xml"
actual="$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)"
[ "$actual" = "$expected" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$actual") || true)"
[ "$(find "$work/root" -mindepth 1 -maxdepth 1)" = "$work/root/usr" ] || fail "files outside the prefix"

for program in keyloom keyloom-dump; do
  [ -x "$prefix/bin/$program" ] || fail "$program is not executable"
done
# Each PNG has the size its folder names.
for png in "$prefix"/share/icons/hicolor/*/apps/keyloom.png; do
  size="$(basename "$(dirname "$(dirname "$png")")")"
  file "$png" | grep -q "PNG image data, ${size/x/ x }," || fail "$png is not a $size PNG: $(file -b "$png")"
done
# And is the SVG's picture: scripts/render-icons was run after the SVG last changed.
if command -v rsvg-convert >/dev/null && command -v compare >/dev/null; then
  for png in "$prefix"/share/icons/hicolor/*/apps/keyloom.png; do
    size="$(basename "$(dirname "$(dirname "$png")")")"
    rsvg-convert --width "${size%x*}" --height "${size%x*}" "$prefix/share/icons/hicolor/scalable/apps/keyloom.svg" \
      --output "$work/rendered.png"
    differing="$(compare -metric AE -fuzz 2% "$png" "$work/rendered.png" null: 2>&1 || true)"
    [ "$differing" = 0 ] || fail "$png differs from the SVG rendered at $size in $differing pixels (run scripts/render-icons)"
  done
fi
gzip -t "$prefix"/share/man/man1/*.gz "$prefix"/share/doc/keyloom/changelog.gz || fail "a .gz file is not gzip"
for page in keyloom keyloom-dump; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man $page warns: $warnings"
done

desktop="$prefix/share/applications/$id.desktop"
# It gives a hint that Utility;System; are two main categories: the issue asks for both.
verdict="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate refuses $id.desktop: $verdict"
for line in "Name=Keyloom" "Exec=keyloom %f" "Icon=keyloom" "Categories=Utility;System;" \
            "MimeType=$type;" "Terminal=false"; do
  grep -qxF "$line" "$desktop" || fail "$id.desktop lacks $line"
done
grep -q '^Comment=.' "$desktop" || fail "$id.desktop has no Comment"
xmllint --noout "$prefix/share/mime/packages/keyloom.xml" || fail "xmllint refuses keyloom.xml"

# The AppStream metadata: valid with neither errors nor warnings (infos, such
# as the validator not knowing the id's top-level domain, are allowed).
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
verdict="$(appstreamcli validate --no-net "$metainfo" 2>&1)" || fail "appstreamcli refuses $id.metainfo.xml: $verdict"
! grep -qE '^[EW]: ' <<<"$verdict" || fail "appstreamcli warns on $id.metainfo.xml: $verdict"
for element in "<id>$id</id>" "<metadata_license>FSFAP</metadata_license>" \
               "<project_license>Apache-2.0</project_license>" \
               "<launchable type=\"desktop-id\">$id.desktop</launchable>" '<content_rating type="oars-1.1"/>' \
               "<mediatype>$type</mediatype>" "<binary>keyloom</binary>" "<binary>keyloom-dump</binary>"; do
  grep -qF "$element" "$metainfo" || fail "$id.metainfo.xml lacks $element"
done
newest="$(xmllint --xpath 'string(/component/releases/release[1]/@version)' "$metainfo")"
[ "$newest" = "$version" ] || fail "$id.metainfo.xml's newest release is '$newest', the project's version $version"

# The caches, built in the installed share folder only.
share="$prefix/share"
update-mime-database "$share/mime" 2>/dev/null
update-desktop-database "$share/applications"

samples="$work/samples"
mkdir -p "$samples/hive" "$samples/text" "$samples/binary"
cp "$hives/dfwinreg__SAM" "$samples/hive/SYSTEM"
echo "not a hive, only a text file named like one" >"$samples/text/SYSTEM"
echo "also text" >"$samples/text/NTUSER.DAT"
printf 'rege\0\1\2\3 almost a hive' >"$samples/binary/not-a-hive.bin"

# ask BACKEND ARG...: xdg-mime query ARG... through that back end, with the
# installed share folder as the user's own.
ask() {
  local desktop_name=""
  [ "$1" = gnome ] && desktop_name=GNOME
  shift
  XDG_DATA_HOME="$share" XDG_DATA_DIRS=/usr/share XDG_CURRENT_DESKTOP="$desktop_name" \
    xdg-mime query "$@" 2>/dev/null
}

real=0
for backend in generic gnome; do
  for hive in "$hives"/* "$samples/hive/SYSTEM"; do
    [ "$(head -c 4 "$hive")" = regf ] || continue
    real=$((real + 1))
    got="$(ask "$backend" filetype "$hive")"
    [ "$got" = "$type" ] || fail "$backend: $hive is $got, not $type"
  done
  for other in "$samples/text/SYSTEM" "$samples/text/NTUSER.DAT" "$samples/binary/not-a-hive.bin"; do
    got="$(ask "$backend" filetype "$other")"
    [ "$got" != "$type" ] || fail "$backend: $other is taken for a hive"
  done
  default="$(ask "$backend" default "$type")"
  [ "$default" = "$id.desktop" ] || fail "$backend: xdg-mime query default $type gives '$default'"
done
[ "$real" -ge 10 ] || fail "only $real hives checked; is $hives there?"

if [ "$failures" -ne 0 ]; then
  echo "install_test: $failures failures" >&2
  exit 1
fi
echo "install_test: $(echo "$expected" | wc -l) files installed; $((real / 2)) hives checked with each back end"
