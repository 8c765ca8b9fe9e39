#!/bin/sh
# hostile_bench.sh BUILD [DOCUMENT...]: what each hostile document costs
# `glimpses-cli extract`, `glimpses-thumbnailer -s 128` (evince-thumbnailer
# on $PATH as installed) and the KIO plugin run by KIO::PreviewJob in KDE's
# thumbnail worker: exit status (KIO: preview or none), wall time, peak
# resident memory, and what the run left in the runtime folder, in /tmp or
# beside OUTPUT. Without documents, those of `glimpses-make-samples
# --hostile` (one of them a sparse 2 GiB file). Prints figures, never fails.
set -u
build=$(realpath "$1")
shift
scratch=$(mktemp -d /tmp/hostile-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -p "$scratch/docs" "$scratch/out" "$scratch/runtime" "$scratch/home" "$scratch/share/mime/packages"
chmod 700 "$scratch/runtime"
if [ $# -eq 0 ]; then
  "$build/samples/glimpses-make-samples" --hostile "$scratch/docs" >/dev/null
  set -- "$scratch"/docs/*
fi
cp "$(dirname "$0")/../packaging/io.glimpses.Glimpses.mime.xml" "$scratch/share/mime/packages/"
update-mime-database "$scratch/share/mime" 2>/dev/null
export XDG_RUNTIME_DIR="$scratch/runtime"

# The entries of the runtime folder (but the session bus's) and of the output folder.
snapshot() {
  { ls -A "$scratch/runtime" | grep -v '^dbus-1$'; ls -A "$scratch/out"; } 2>/dev/null | sort
}

# "STATUS SECONDS MB" of a command, through GNU time; its output in $scratch/log.
measure() {
  /usr/bin/time -o "$scratch/time" -f '%x %e %M' "$@" >"$scratch/log" 2>&1
  tail -n 1 "$scratch/time" | awk '{ printf "%s %.2f s %d MB", $1, $2, ($3 + 1023) / 1024 }'
}

# KIO starts its worker detached, from a kioslave5 beside the program when
# there is one: a copy of kio_preview_test gets a kioslave5 that runs the
# real worker under GNU time and passes on the TERM that ends it.
worker=$(ls /usr/lib/*/libexec/kf5/kioslave5 2>/dev/null | head -n 1)
if [ -x "$build/kio/kio_preview_test" ] && [ -n "$worker" ]; then
  mkdir -p "$scratch/bin"
  cp "$build/kio/kio_preview_test" "$scratch/bin/"
  printf '%s\n' '#!/bin/sh' \
    "/usr/bin/time -a -o '$scratch/worker' -f '%e %M' '$worker' \"\$@\" &" \
    'timer=$!' \
    'trap "pkill -TERM -P $timer" TERM' \
    'wait $timer' \
    'wait $timer' >"$scratch/bin/kioslave5"
  chmod +x "$scratch/bin/kioslave5"
fi

kio() {
  [ -x "$scratch/bin/kioslave5" ] || { echo "not built"; return; }
  rm -f "$scratch/worker"
  figures=$(HOME="$scratch/home" XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config" \
    XDG_DATA_DIRS="$scratch/share:/usr/share" QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$build/kio/plugins" \
    measure dbus-run-session -- "$scratch/bin/kio_preview_test" 128 "$1")
  answer=$(grep -o 'no preview$\|[0-9]*x[0-9]*$' "$scratch/log" | head -n 1)
  sleep 0.2  # the worker's figures are written once it has ended
  peak=$(awk '$2 ~ /^[0-9]+$/ && $2 + 0 > peak { peak = $2 + 0 } END { if (NR) printf "%d MB", (peak + 1023) / 1024 }' "$scratch/worker" 2>/dev/null)
  echo "${answer:-?} $figures, worker ${peak:-none}"
}

printf '%-50s | %-22s | %-22s | %-40s | %s\n' document cli thumbnailer "KIO (test process; worker)" "left behind"
for document in "$@"; do
  before=$(snapshot)
  cli=$(measure "$build/cli/glimpses-cli" extract "$document" "$scratch/out/picture.jpg")
  rm -f "$scratch/out/picture.jpg" "$scratch/out/picture.png"
  thumbnailer=$(measure "$build/thumbnailer/glimpses-thumbnailer" -s 128 "$document" "$scratch/out/thumbnail.png")
  rm -f "$scratch/out/thumbnail.png"
  kio=$(kio "$document")
  after=$(snapshot)
  left=$( [ "$before" = "$after" ] && echo nothing || echo "$after")
  printf '%-50s | %-22s | %-22s | %-40s | %s\n' "$(basename "$document")" "$cli" "$thumbnailer" "$kio" "$left"
done
