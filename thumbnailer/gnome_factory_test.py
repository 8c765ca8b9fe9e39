#!/usr/bin/env python3
"""GNOME's own thumbnail factory, sandbox on, makes thumbnails of sample
documents through our .thumbnailer entry.

usage: gnome_factory_test.py THUMBNAILER ENTRY MIME_XML MAKE_SAMPLES

The bubblewrap sandbox shows the thumbnailer only /usr, so the program is
copied to /usr/bin under a name of its own (an installed glimpses-thumbnailer
is never touched) and removed again however the test ends. The entry and the
MIME package go into a private data folder named by XDG_DATA_DIRS, which the
factory reads outside the sandbox. Exit 77 (skipped) when the machine cannot
run the factory.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

SKIP = 77
scratch = tempfile.mkdtemp(prefix="glimpses-gnome-")
os.environ["XDG_DATA_DIRS"] = f"{scratch}/share:/usr/share"
os.environ["XDG_DATA_HOME"] = f"{scratch}/home-share"
os.environ["XDG_CACHE_HOME"] = f"{scratch}/cache"


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIP)


def machine_can_run_factory():
    try:
        import gi
        gi.require_version("GnomeDesktop", "3.0")
        gi.require_version("GdkPixbuf", "2.0")
    except (ImportError, ValueError) as error:
        skip(f"GnomeDesktop 3.0 introspection data is missing ({error}); install gir1.2-gnomedesktop-3.0")
    if shutil.which("bwrap") is None:
        skip("bubblewrap is not installed")
    probe = ["bwrap", "--ro-bind", "/usr", "/usr", "--symlink", "usr/lib", "/lib", "--symlink", "usr/lib64",
             "/lib64", "--symlink", "usr/bin", "/bin", "--proc", "/proc", "--dev", "/dev", "--unshare-all", "true"]
    if subprocess.run(probe, capture_output=True).returncode != 0:
        skip("bubblewrap cannot make a sandbox here (no user namespaces?)")
    if not os.access("/usr/bin", os.W_OK):
        skip("the sandbox sees only /usr, and /usr/bin is not writable by this user")


def install(thumbnailer, entry, mime_xml):
    """The program into /usr/bin, the rest into the private data folder;
    the name the program got."""
    name = f"glimpses-thumbnailer-test-{os.getpid()}"
    shutil.copy(thumbnailer, f"/usr/bin/{name}")
    os.makedirs(f"{scratch}/share/thumbnailers")
    with open(entry) as source, open(f"{scratch}/share/thumbnailers/glimpses.thumbnailer", "w") as target:
        target.write(source.read().replace("glimpses-thumbnailer", name))
    os.makedirs(f"{scratch}/share/mime/packages")
    shutil.copy(mime_xml, f"{scratch}/share/mime/packages/")
    subprocess.run(["update-mime-database", f"{scratch}/share/mime"], check=True)
    return name


def plain_pdf():
    """A one-page PDF with a red square and no stored picture."""
    objects = ["<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>",
               "<< /Length 32 >>\nstream\n1 0 0 rg 10 10 80 80 re f\nendstream"]
    pdf, offsets = "%PDF-1.4\n", []
    for number, body in enumerate(objects, 1):
        offsets.append(len(pdf))
        pdf += f"{number} 0 obj\n{body}\nendobj\n"
    xref = len(pdf)
    pdf += "xref\n0 5\n0000000000 65535 f \n" + "".join(f"{offset:010d} 00000 n \n" for offset in offsets)
    return (pdf + f"trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n").encode()


def run(thumbnailer, make_samples):
    from gi.repository import GdkPixbuf, Gio, GLib, GnomeDesktop

    docs = f"{scratch}/docs"
    subprocess.run([make_samples, docs], check=True, capture_output=True)
    with_picture = {
        "Poster 海报.ai": "application/illustrator",
        "badge rle.ai": "application/illustrator",
        "brochure.indd": "application/x-indesign",
        "zip-thumbnail-bmp.cdr": "application/vnd.corel-draw",
        "riff-1300-disp-8bpp.cdr": "application/vnd.corel-draw",
    }
    without_picture = {"riff-1350-no-thumbnail.cdr": "application/vnd.corel-draw"}
    # An Illustrator document saved as a plain PDF, without a stored picture:
    # evince-thumbnailer, when installed, still draws it (through our
    # fallback, or its own entry), so claiming the type loses nothing.
    with open(f"{docs}/plain page.ai", "wb") as plain:
        plain.write(plain_pdf())
    renderer = shutil.which("evince-thumbnailer") is not None
    failures = []
    sizes = [(GnomeDesktop.DesktopThumbnailSize.NORMAL, 128), (GnomeDesktop.DesktopThumbnailSize.LARGE, 256)]
    for size_enum, size in sizes:
        factory = GnomeDesktop.DesktopThumbnailFactory.new(size_enum)
        # A failed thumbnail is recorded once for every size.
        documents = {**with_picture, **without_picture} if size == 128 else with_picture
        documents["plain page.ai"] = "application/illustrator"
        for name, expected_type in documents.items():
            gfile = Gio.File.new_for_path(f"{docs}/{name}")
            info = gfile.query_info("standard::content-type,time::modified", Gio.FileQueryInfoFlags.NONE, None)
            uri, mime, mtime = gfile.get_uri(), info.get_content_type(), info.get_attribute_uint64("time::modified")
            if mime != expected_type:
                failures.append(f"{name}: content type {mime}, expected {expected_type}")
                continue
            if not factory.can_thumbnail(uri, mime, mtime):
                failures.append(f"{name}: the factory finds no thumbnailer for {mime}")
                continue
            try:
                pixbuf = factory.generate_thumbnail(uri, mime, None)
            except GLib.Error as error:
                pixbuf = None
                message = error.message
            if name == "plain page.ai":
                if (pixbuf is not None) != renderer:
                    failures.append(f"{name}: thumbnail {'missing' if renderer else 'made'} "
                                    f"with evince-thumbnailer {'' if renderer else 'not '}installed")
                else:
                    print(f"ok: {name} at {size}: {'drawn by evince-thumbnailer' if renderer else 'none'}")
                continue
            if name in without_picture:
                if pixbuf is not None:
                    failures.append(f"{name}: a thumbnail for a document without a picture")
                    continue
                # What file managers do when generation fails.
                factory.create_failed_thumbnail(uri, mtime, None)
                if not factory.has_valid_failed_thumbnail(uri, mtime):
                    failures.append(f"{name}: no failed thumbnail recorded")
                continue
            if pixbuf is None:
                failures.append(f"{name} at {size}: no thumbnail ({message})")
                continue
            # The very pixels our program writes, so no other thumbnailer made it.
            ours = f"{scratch}/ours.png"
            subprocess.run([thumbnailer, "-s", str(size), f"{docs}/{name}", ours], check=True)
            expected = GdkPixbuf.Pixbuf.new_from_file(ours)
            if (pixbuf.get_width(), pixbuf.get_height()) != (expected.get_width(), expected.get_height()) or \
                    pixbuf.get_pixels() != expected.get_pixels():
                failures.append(f"{name} at {size}: {pixbuf.get_width()}x{pixbuf.get_height()}, not our picture")
                continue
            factory.save_thumbnail(pixbuf, uri, mtime, None)
            if not factory.lookup(uri, mtime):
                failures.append(f"{name} at {size}: the saved thumbnail is not found in the cache")
            print(f"ok: {name} at {size}: {pixbuf.get_width()}x{pixbuf.get_height()}")
    for failure in failures:
        print(f"FAILED: {failure}")
    return 1 if failures else 0


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    thumbnailer, entry, mime_xml, make_samples = sys.argv[1:]
    installed = None
    # A ctest timeout sends SIGTERM; clean up then too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        machine_can_run_factory()
        installed = install(thumbnailer, entry, mime_xml)
        return run(thumbnailer, make_samples)
    finally:
        if installed:
            os.unlink(f"/usr/bin/{installed}")
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
