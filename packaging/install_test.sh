#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR under a prefix of its own and
# checks the tree as a desktop, a user and a script see it, then removes it
# again with the uninstaller. The scratch folder goes whatever happens.
# usage: install_test.sh BUILD_DIR MAKE_SAMPLES VERSION [MIME_TYPE_TOOL]
set -euo pipefail
build=$1
make_samples=$2
version=$3
mime_tool=${4:-}
id=io.glimpses.Glimpses

scratch=$(realpath "$(mktemp -d /tmp/glimpses-install-XXXXXX)")
trap 'rm -rf -- "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_eq() {  # WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}

prefix=/opt/glimpses-test
root=$scratch/dest$prefix
DESTDIR=$scratch/dest cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$build/install_manifest.txt" "$scratch/installed-files.txt"

# The layout.
files=(bin/glimpses-cli share/applications/$id.desktop share/metainfo/$id.metainfo.xml
  share/mime/packages/$id.xml share/icons/hicolor/scalable/apps/$id.svg share/man/man1/glimpses-cli.1.gz
  share/man/man1/glimpses-thumbnailer.1.gz share/doc/glimpses/copyright share/doc/glimpses/changelog.gz)
if [ -n "$mime_tool" ]; then  # built with the window
  files+=(bin/glimpses share/man/man1/glimpses.1.gz share/glimpses/Glimpses.png share/glimpses/Thumbnail.dat
    share/glimpses/glimpses-icon.png)
fi
for file in "${files[@]}"; do
  [ -f "$root/$file" ] || fail "not installed: $file"
done
for size in 16 22 24 32 48 64 128 256 512; do
  icon=$root/share/icons/hicolor/${size}x${size}/apps/$id.png
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  dims=$(od -An -tu1 -j16 -N8 "$icon" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')
  expect_eq "icon $size" "$dims" "${size}x${size}"
done

# What the desktop reads.
desktop-file-validate "$root/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate: $(appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml")"
grep -q "<release version=\"$version\"" "$root/share/metainfo/$id.metainfo.xml" ||
  fail "the metainfo has no release $version"

# Documents recognised by name and by content through the installed MIME package.
update-mime-database "$root/share/mime" >/dev/null 2>&1 || fail "update-mime-database"
"$make_samples" "$scratch/docs" >/dev/null
cp "$scratch/docs/brochure.indd" "$scratch/indesign-without-extension"
printf 'nothing but a name\n' >"$scratch/named.indd"
export XDG_DATA_DIRS=$root/share:/usr/share XDG_DATA_HOME=$scratch/data-home
content_type() { gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }
expect_eq "GIO, InDesign by content" "$(content_type "$scratch/indesign-without-extension")" application/x-indesign
expect_eq "GIO, InDesign by name" "$(content_type "$scratch/named.indd")" application/x-indesign
expect_eq "GIO, InDesign document" "$(content_type "$scratch/docs/brochure.indd")" application/x-indesign
if [ -n "$mime_tool" ]; then
  expect_eq "Qt, InDesign by content" "$("$mime_tool" "$scratch/indesign-without-extension")" \
    "application/x-indesign application/x-indesign"
  expect_eq "Qt, InDesign by name" "$("$mime_tool" "$scratch/named.indd" | cut -d' ' -f1)" application/x-indesign
fi
unset XDG_DATA_DIRS XDG_DATA_HOME

# The installed programs: versions, a document, a search, without a display.
unset DISPLAY WAYLAND_DISPLAY
expect_eq "glimpses-cli --version" "$("$root/bin/glimpses-cli" --version)" "glimpses-cli $version"
expect_eq "extract" "$("$root/bin/glimpses-cli" extract "$scratch/docs/brochure.indd" "$scratch/b.jpg")" "$scratch/b.jpg"
expect_eq "extracted picture" "$(od -An -tx1 -N3 "$scratch/b.jpg" 2>/dev/null | tr -d ' ')" ffd8ff
expect_eq "search" "$("$root/bin/glimpses-cli" search --root "$scratch/docs" --cache-dir "$scratch/cache" brochure 2>/dev/null)" \
  "$scratch/docs/brochure.indd"

# Where an installed window keeps its settings: the config folder, although
# its bin folder is writable here; a Glimpses.ini beside it when there is one.
if [ -n "$mime_tool" ]; then
  expect_eq "glimpses --version" "$("$root/bin/glimpses" --version | head -n1)" "glimpses $version"
  settings() { XDG_CONFIG_HOME=$scratch/config "$root/bin/glimpses" --version | sed -n 's/^Settings: //p'; }
  expect_eq "installed settings" "$(settings)" "$scratch/config/glimpses/Glimpses.ini"
  printf '\r\n\r\n' >"$root/bin/Glimpses.ini"
  expect_eq "portable settings" "$(settings)" "$root/bin/Glimpses.ini"
  rm "$root/bin/Glimpses.ini"
  "$root/bin/glimpses" --help | grep -q -- '--plocate-db DB' || fail "glimpses --help lacks --plocate-db"
  # The English translation is built into the program: the installed one
  # finds it wherever it lives, and only an English locale asks for it.
  language() { env -u LANGUAGE LC_ALL="$1" "$root/bin/glimpses" --version | sed -n 's/^Window language: //p'; }
  for locale in en_US.UTF-8 en_GB; do expect_eq "window language, $locale" "$(language "$locale")" English; done
  for locale in C POSIX zh_CN.UTF-8; do expect_eq "window language, $locale" "$(language "$locale")" Chinese; done
fi

# Removal leaves nothing behind but the folders of the system's layout.
"$(dirname "$0")/uninstall.sh" "$scratch/installed-files.txt" "$scratch/dest" "$prefix"
left=$(find "$root" -mindepth 1 -not -path "$root/bin" -not -path "$root/share" -not -path "$root/share/man")
[ -z "$left" ] || fail "left after uninstalling: $left"

[ "$failures" -eq 0 ] && echo "install tree: all checks passed"
exit $((failures > 0))
