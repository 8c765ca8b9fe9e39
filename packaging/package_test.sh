#!/usr/bin/env bash
# Installs the Debian package with apt, checks that both programs start from
# /usr/bin and that the desktop knows the InDesign type, then removes the
# package again, whatever happened, and checks that it left no file behind.
# Changes the system while it runs: needs root, and refuses to touch a
# glimpses package that is already installed.
# usage: package_test.sh DEB
set -euo pipefail
deb=$(realpath "$1")
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@" >/dev/null; }

if dpkg-query -W -f='${Status}' glimpses 2>/dev/null | grep -q 'ok installed'; then
  echo "package_test: glimpses is installed already; not touching it" >&2
  exit 1
fi
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *-dev*) fail "depends on a development package: $depends" ;; esac

scratch=$(mktemp -d /tmp/glimpses-package-XXXXXX)
cleanup() {
  dpkg-query -W glimpses >/dev/null 2>&1 && apt_get purge glimpses
  rm -rf -- "$scratch"
}
trap cleanup EXIT

apt_get install "$deb"
files=$(dpkg -L glimpses | while IFS= read -r path; do [ -f "$path" ] && echo "$path"; done)
unset DISPLAY WAYLAND_DISPLAY
[ "$(/usr/bin/glimpses-cli --version)" = "glimpses-cli $(dpkg-deb -f "$deb" Version)" ] || fail "glimpses-cli --version"
/usr/bin/glimpses --version | grep -q '^glimpses ' || fail "glimpses --version"
timeout 3 env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache" \
  /usr/bin/glimpses --root "$scratch" && fail "the window did not keep running" || [ $? -eq 124 ] || fail "the window failed"
printf '\x06\x06\xed\xf5\xd8\x1d\x46\xe5\xbd\x31\xef\xe7\xfe\x74\xb7\x1d' >"$scratch/document"
gio info -a standard::content-type "$scratch/document" | grep -q 'application/x-indesign' ||
  fail "the installed MIME package is not in use"

apt_get remove glimpses
for path in $files; do
  [ -e "$path" ] && fail "left after apt remove: $path"
done
[ "$failures" -eq 0 ] && echo "package: all checks passed"
exit $((failures > 0))
