#!/usr/bin/env python3
"""Thunar's thumbnail service, tumbler, reads our .thumbnailer entry through
its desktop-thumbnailer plugin and makes thumbnails of sample documents.

usage: tumbler_test.py THUMBNAILER ENTRY MIME_XML MAKE_SAMPLES

tumbler runs thumbnailers without a sandbox, so the program, the entry and
the MIME package all go into a private folder (PATH, XDG_DATA_DIRS). The
test starts a session bus of its own and tumblerd on it, queues the documents over D-Bus as
Thunar does, and looks for the PNGs in the thumbnail cache. Exit 77
(skipped) when tumbler or the bus is missing.
"""
import hashlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
TUMBLERD = [f"/usr/lib/{arch}/tumbler-1/tumblerd" for arch in ("x86_64-linux-gnu", "aarch64-linux-gnu")]
scratch = tempfile.mkdtemp(prefix="glimpses-tumbler-")


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIP)


def prepare(thumbnailer, entry, mime_xml):
    os.makedirs(f"{scratch}/bin")
    shutil.copy(thumbnailer, f"{scratch}/bin/glimpses-thumbnailer")
    os.makedirs(f"{scratch}/share/thumbnailers")
    shutil.copy(entry, f"{scratch}/share/thumbnailers/")
    os.makedirs(f"{scratch}/share/mime/packages")
    shutil.copy(mime_xml, f"{scratch}/share/mime/packages/")
    subprocess.run(["update-mime-database", f"{scratch}/share/mime"], check=True)
    os.environ["PATH"] = f"{scratch}/bin:{os.environ.get('PATH', '/usr/bin:/bin')}"
    os.environ["XDG_DATA_DIRS"] = f"{scratch}/share:/usr/share"
    os.environ["XDG_DATA_HOME"] = f"{scratch}/home-share"
    os.environ["XDG_CACHE_HOME"] = f"{scratch}/cache"


def run(tumblerd, make_samples):
    import gi
    gi.require_version("Gio", "2.0")
    gi.require_version("GdkPixbuf", "2.0")
    from gi.repository import GdkPixbuf, Gio, GLib

    docs = f"{scratch}/docs"
    subprocess.run([make_samples, docs], check=True, capture_output=True)
    documents = {
        "Poster 海报.ai": "application/illustrator",
        "brochure.indd": "application/x-indesign",
        "zip-thumbnail-bmp.cdr": "application/vnd.corel-draw",
        "riff-1300-disp-8bpp.cdr": "application/vnd.corel-draw",
    }
    daemon = subprocess.Popen([tumblerd])
    try:
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        proxy = None
        for _ in range(100):
            try:
                proxy = Gio.DBusProxy.new_sync(bus, Gio.DBusProxyFlags.DO_NOT_AUTO_START, None,
                                               "org.freedesktop.thumbnails.Thumbnailer1",
                                               "/org/freedesktop/thumbnails/Thumbnailer1",
                                               "org.freedesktop.thumbnails.Thumbnailer1", None)
                if proxy.get_name_owner():
                    break
            except GLib.Error:
                pass
            time.sleep(0.05)
        if proxy is None or not proxy.get_name_owner():
            print("FAILED: tumblerd did not come up on the session bus")
            return 1
        uris = [Gio.File.new_for_path(f"{docs}/{name}").get_uri() for name in documents]
        proxy.call_sync("Queue", GLib.Variant("(asasssu)", (uris, list(documents.values()), "normal", "default", 0)),
                        Gio.DBusCallFlags.NONE, 30000, None)
        failures = []
        for name, uri in zip(documents, uris):
            png = f"{scratch}/cache/thumbnails/normal/{hashlib.md5(uri.encode()).hexdigest()}.png"
            deadline = time.monotonic() + 30
            while not os.path.exists(png) and time.monotonic() < deadline:
                time.sleep(0.05)
            if not os.path.exists(png):
                failures.append(f"{name}: no thumbnail in the cache")
                continue
            # Our program's size for "normal" (128) proves it made the picture.
            ours = f"{scratch}/ours.png"
            subprocess.run(["glimpses-thumbnailer", "-s", "128", f"{docs}/{name}", ours], check=True)
            cached, expected = GdkPixbuf.Pixbuf.new_from_file(png), GdkPixbuf.Pixbuf.new_from_file(ours)
            if (cached.get_width(), cached.get_height()) != (expected.get_width(), expected.get_height()):
                failures.append(f"{name}: {cached.get_width()}x{cached.get_height()} in the cache, not our picture")
                continue
            print(f"ok: {name}: {cached.get_width()}x{cached.get_height()}")
        for failure in failures:
            print(f"FAILED: {failure}")
        return 1 if failures else 0
    finally:
        daemon.terminate()
        daemon.wait()


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        tumblerd = next((path for path in TUMBLERD if os.access(path, os.X_OK)), None)
        if tumblerd is None:
            skip("tumbler is not installed")
        if not os.environ.get("GLIMPSES_OWN_BUS"):
            if shutil.which("dbus-run-session") is None:
                skip("dbus-run-session is not installed (dbus)")
            os.environ["GLIMPSES_OWN_BUS"] = "1"
            shutil.rmtree(scratch, ignore_errors=True)
            os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv)
        prepare(*sys.argv[1:4])
        return run(tumblerd, sys.argv[4])
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
