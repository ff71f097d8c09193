#!/usr/bin/env python3
# Makes the zip archives that tst_ziparchive reads: python3's zipfile writes each form a zip
# reader meets in workbooks (stored and deflated entries, data descriptors, zip64 records, an
# archive comment, UTF-8 names).
import io
import zipfile

TEXT = ("<row>" + "".join(f"<c r=\"A{i}\"><v>{i}</v></c>" for i in range(400)) + "</row>\n").encode()


def plain():
    with zipfile.ZipFile("plain.zip", "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype", (2024, 1, 2, 3, 4, 6)), b"application/test",
                   compress_type=zipfile.ZIP_STORED)
        z.writestr(zipfile.ZipInfo("part/text.xml", (2024, 1, 2, 3, 4, 6)), TEXT,
                   compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(zipfile.ZipInfo("名前/空.txt", (2024, 1, 2, 3, 4, 6)), b"",
                   compress_type=zipfile.ZIP_DEFLATED)
        z.comment = b"an archive comment"


class Unseekable(io.RawIOBase):
    # zipfile writes data descriptors when it cannot go back to a local header.
    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)


def descriptors():
    with open("descriptor.zip", "wb") as f:
        with zipfile.ZipFile(Unseekable(f), "w", compression=zipfile.ZIP_DEFLATED) as z:
            for name, data in (("a.xml", TEXT), ("b.bin", bytes(range(256)) * 8)):
                info = zipfile.ZipInfo(name, (2024, 1, 2, 3, 4, 6))
                info.compress_type = zipfile.ZIP_DEFLATED
                with z.open(info, "w") as w:
                    w.write(data)


def zip64():
    with zipfile.ZipFile("zip64.zip", "w", compression=zipfile.ZIP_DEFLATED) as z:
        for name, data in (("first.txt", b"first entry"), ("second.xml", TEXT)):
            info = zipfile.ZipInfo(name, (2024, 1, 2, 3, 4, 6))
            info.compress_type = zipfile.ZIP_DEFLATED
            with z.open(info, "w", force_zip64=True) as w:
                w.write(data)


plain()
descriptors()
zip64()


def duplicate():
    # Two names that differ only in case: a package part name may not.
    with zipfile.ZipFile("duplicate.zip", "w") as z:
        z.writestr("a.xml", b"one")
        z.writestr("A.XML", b"two")


duplicate()
