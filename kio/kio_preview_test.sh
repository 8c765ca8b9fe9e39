#!/bin/sh
# KIO's own preview path, with kio-extras' thumbnail worker, makes thumbnails
# of sample documents through our plugin.
#   kio_preview_test.sh PREVIEW_TEST PLUGIN_DIR MIME_XML MAKE_SAMPLES
# Everything it needs goes into a private folder, removed on every exit.
# Exit 77 (skipped) when the machine has no session bus or no thumbnail worker.
set -eu
preview_test=$1 plugin_dir=$2 mime_xml=$3 make_samples=$4

command -v dbus-run-session >/dev/null || { echo "SKIPPED: dbus-run-session is not installed (dbus)"; exit 77; }
worker=$(ls /usr/lib/*/qt5/plugins/kf5/kio/thumbnail.so 2>/dev/null | head -n 1)
[ -n "$worker" ] || { echo "SKIPPED: the KIO thumbnail worker is not installed (kio-extras)"; exit 77; }

scratch=$(mktemp -d /tmp/glimpses-kio-XXXXXX)
trap 'rm -rf "$scratch"' EXIT INT TERM

# The InDesign type is ours; the system's MIME database lacks it.
mkdir -p "$scratch/share/mime/packages" "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
cp "$mime_xml" "$scratch/share/mime/packages/"
update-mime-database "$scratch/share/mime"
"$make_samples" "$scratch/docs" >/dev/null

export HOME="$scratch/home" XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="$scratch/runtime" XDG_DATA_DIRS="$scratch/share:/usr/share"
export QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$plugin_dir"
if [ -n "${GLIMPSES_SANITIZER_PRELOAD:-}" ]; then
  # Sanitizer build: KIO's own leaks are not ours to report.
  export LD_PRELOAD="$GLIMPSES_SANITIZER_PRELOAD" ASAN_OPTIONS=detect_leaks=0
fi
d="$scratch/docs"
for size in 128 256; do
  dbus-run-session -- "$preview_test" "$size" "$d/Poster 海报.ai" "$d/badge rle.ai" "$d/brochure.indd" \
    "$d/zip-thumbnail-bmp.cdr" "$d/riff-1300-disp-8bpp.cdr" "$d/riff-1350-no-thumbnail.cdr"
done
