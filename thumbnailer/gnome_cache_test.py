#!/usr/bin/env python3
"""The desktop's thumbnail cache, shared with GNOME's own thumbnail factory:

- the URI that names a cache file is GLib's, for names holding blanks, '#',
  '%', bytes that are not UTF-8 or Chinese, and for paths that are not
  canonical;
- a thumbnail the factory made (evince-thumbnailer drawing a corpus PDF in
  the factory's bubblewrap sandbox) is what Glimpses answers, from the cache,
  without reading the document;
- a thumbnail Glimpses wrote is the one the factory's lookup finds valid,
  with the same pixels.

usage: gnome_cache_test.py PROBE CORPUS

PROBE is thumbcache_probe. Exit 77 (skipped) when the machine cannot run the
factory or the corpus is absent.
"""
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
scratch = tempfile.mkdtemp(prefix="glimpses-gnome-cache-")
os.environ["XDG_CACHE_HOME"] = f"{scratch}/cache"
ROOT = f"{scratch}/cache/thumbnails"


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIP)


def check_machine(corpus):
    try:
        import gi
        gi.require_version("GnomeDesktop", "3.0")
        gi.require_version("GdkPixbuf", "2.0")
    except (ImportError, ValueError) as error:
        skip(f"GnomeDesktop 3.0 introspection data is missing ({error}); install gir1.2-gnomedesktop-3.0")
    if shutil.which("bwrap") is None or shutil.which("evince-thumbnailer") is None:
        skip("GNOME's factory needs bubblewrap and evince-thumbnailer here")
    probe = ["bwrap", "--ro-bind", "/usr", "/usr", "--symlink", "usr/lib", "/lib", "--symlink", "usr/lib64",
             "/lib64", "--symlink", "usr/bin", "/bin", "--proc", "/proc", "--dev", "/dev", "--unshare-all", "true"]
    if subprocess.run(probe, capture_output=True).returncode != 0:
        skip("bubblewrap cannot make a sandbox here (no user namespaces?)")
    if not os.path.isdir(corpus):
        skip(f"no corpus at {corpus}")


def glib_path(path):
    """A path's bytes as PyGObject hands file names to GLib."""
    return path.decode("utf-8", "surrogateescape")


def check_uris(probe, failures):
    from gi.repository import Gio, GLib
    failed_before = len(failures)
    docs = f"{scratch}/docs".encode()
    names = [b"plain.pdf", b"a b#c%d?e&f=g.pdf", b"\xff\xfe latin-1 \xe9.ai", "设计稿 v2.cdr".encode(),
             b"!\"$'()*+,-.:;<=>@[\\]^_`{|}~.eps", b"tab\there.pdf", b"\x01\x7f.indd"]
    canonical = [docs + b"/" + name for name in names]
    other = [docs + b"/./sub/../" + names[1], docs + b"//" + names[2], docs + b"/" + names[3] + b"/"]
    paths = canonical + other
    got = subprocess.run([probe, "uri", *paths], check=True, capture_output=True).stdout.decode().splitlines()
    for path, uri in zip(paths, got):
        expected = Gio.File.new_for_path(glib_path(path)).get_uri()
        if path in canonical and GLib.filename_to_uri(glib_path(path), None) != expected:
            failures.append(f"GLib's two URIs of {path!r} differ")
        if uri != expected:
            failures.append(f"URI of {path!r}: {uri}, GLib: {expected}")
    relative = subprocess.run([probe, "uri", names[1]], cwd=docs, check=True, capture_output=True).stdout.decode()
    if relative.strip() != Gio.File.new_for_path(glib_path(canonical[1])).get_uri():
        failures.append(f"URI of a relative path: {relative.strip()}")
    if len(failures) == failed_before:
        print(f"ok: {len(paths) + 1} URIs as GLib makes them")


def stamp(path):
    from gi.repository import Gio
    return Gio.File.new_for_path(path).get_uri(), int(os.stat(path).st_mtime)


def same_pixels(a, b):
    return (a.get_width(), a.get_height(), a.get_n_channels()) == (b.get_width(), b.get_height(), b.get_n_channels()) \
        and a.get_pixels() == b.get_pixels()


def load(probe, document, out):
    answer = subprocess.run([probe, "load", ROOT, "large", document, out], check=True, capture_output=True)
    return answer.stdout.decode().split()


def check_theirs_used(probe, corpus, factory, failures):
    from gi.repository import GdkPixbuf
    document = f"{scratch}/docs/蓝 square #1.pdf"
    shutil.copy(f"{corpus}/pdf/BlueSquare.pdf", document)
    uri, mtime = stamp(document)
    factory.save_thumbnail(factory.generate_thumbnail(uri, "application/pdf", None), uri, mtime, None)
    theirs = factory.lookup(uri, mtime)
    if theirs is None:
        failures.append("GNOME's factory made no thumbnail of the corpus PDF")
        return
    # Zeros in place of the document, its size and time kept: only the
    # cache can still give its picture.
    before = os.stat(document)
    with open(document, "r+b") as file:
        file.write(bytes(before.st_size))
    os.utime(document, ns=(before.st_atime_ns, before.st_mtime_ns))
    out = f"{scratch}/ours-of-theirs.png"
    source, size = load(probe, document, out)
    expected = GdkPixbuf.Pixbuf.new_from_file(theirs)
    if source != "cache" or size != f"{expected.get_width()}x{expected.get_height()}":
        failures.append(f"GNOME's thumbnail: Glimpses answered {source} {size}")
    elif not same_pixels(GdkPixbuf.Pixbuf.new_from_file(out), expected):
        failures.append("GNOME's thumbnail: Glimpses gave other pixels")
    else:
        print(f"ok: GNOME's {size} thumbnail of the PDF taken from the cache")


def check_ours_valid(probe, corpus, factory, failures):
    from gi.repository import GdkPixbuf, GnomeDesktop
    document = f"{scratch}/docs/设计 #2 50%.ai"
    shutil.copy(f"{corpus}/ai/ky_logo.ai", document)
    uri, mtime = stamp(document)
    out = f"{scratch}/ours.png"
    source, size = load(probe, document, out)
    found = factory.lookup(uri, mtime)
    if source != "document" or found is None:
        failures.append(f"Glimpses answered {source} {size}; GNOME's lookup found {found}")
        return
    theirs = GdkPixbuf.Pixbuf.new_from_file(found)
    if not GnomeDesktop.desktop_thumbnail_is_valid(theirs, uri, mtime):
        failures.append(f"GNOME finds {found} not valid")
    elif not same_pixels(theirs, GdkPixbuf.Pixbuf.new_from_file(out)):
        failures.append(f"GNOME's lookup gives other pixels than Glimpses wrote in {found}")
    else:
        print(f"ok: the {size} thumbnail Glimpses wrote is valid for GNOME, pixel for pixel")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    probe, corpus = os.path.abspath(sys.argv[1]), sys.argv[2]
    try:
        check_machine(corpus)
        from gi.repository import GnomeDesktop
        os.makedirs(f"{scratch}/docs")
        failures = []
        check_uris(probe, failures)
        factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.LARGE)
        check_theirs_used(probe, corpus, factory, failures)
        check_ours_valid(probe, corpus, factory, failures)
        for failure in failures:
            print(f"FAILED: {failure}")
        return 1 if failures else 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
