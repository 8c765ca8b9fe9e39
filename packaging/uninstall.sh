#!/usr/bin/env bash
# Removes what `make install` put in place: every file of the list it kept,
# the folders left empty by that (up to, not including, bin/, share/ and
# share/man/, which the system's layout holds), and the MIME database that
# the install made when no other package is left in it.
# usage: uninstall.sh LIST DESTDIR PREFIX   (the list names files without DESTDIR)
set -euo pipefail
list=$1
destdir=$2
root=$2$3
if [ ! -f "$list" ]; then
  echo "uninstall: no list of installed files ($list); nothing was installed from this build" >&2
  exit 1
fi
keep="$root $root/bin $root/share $root/share/man"
while IFS= read -r file || [ -n "$file" ]; do  # the list has no final line feed
  rm -f -- "$destdir$file"
  folder=$(dirname -- "$destdir$file")
  while [[ " $keep " != *" $folder "* && "$folder" == "$root"/* ]] && rmdir -- "$folder" 2>/dev/null; do
    folder=$(dirname -- "$folder")
  done
done <"$list"
mime=$root/share/mime
if [ -d "$mime" ] && [ -z "$(ls -A "$mime/packages" 2>/dev/null)" ]; then
  rm -rf -- "$mime"  # nothing but what update-mime-database made from our package
elif [ -d "$mime" ] && command -v update-mime-database >/dev/null; then
  update-mime-database "$mime"
fi
rm -f -- "$list"
