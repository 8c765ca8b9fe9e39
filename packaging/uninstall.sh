#!/usr/bin/env bash
# Removes what `make install` put in place: every file of the list it kept,
# Glimpses' own data folder, and the MIME database that the install made when
# no other package is left in it. Folders that other programs share stay.
# usage: uninstall.sh LIST DESTDIR PREFIX   (the list names files without DESTDIR)
set -euo pipefail
list=$1
destdir=$2
root=$2$3
if [ ! -f "$list" ]; then
  echo "uninstall: no list of installed files ($list); nothing was installed from this build" >&2
  exit 1
fi
while IFS= read -r file || [ -n "$file" ]; do  # the list has no final line feed
  rm -f -- "$destdir$file"
done <"$list"
rmdir --ignore-fail-on-non-empty "$root/share/glimpses" 2>/dev/null || true
mime=$root/share/mime
if [ -d "$mime/packages" ]; then
  if [ -z "$(ls -A "$mime/packages")" ]; then
    rm -rf -- "$mime"  # nothing but what update-mime-database made from our package
  elif command -v update-mime-database >/dev/null; then
    update-mime-database "$mime"
  fi
fi
rm -f -- "$list"
