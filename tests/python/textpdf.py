"""Generated text documents, for the Python tests and the batch benchmark."""

import re
from typing import Callable


def text_pdf(pages: int, lines: int, line: Callable[[int, int], bytes], font: bytes = b"Helvetica",
             size: int = 11, leading: int = 14, left: int = 72, top: int = 760) -> bytes:
    """A valid PDF of `pages` letter pages, each `lines` lines of `line(page, n)` (both
    counted from 1) in one of the standard fonts."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", None,
               b"<< /Type /Font /Subtype /Type1 /BaseFont /%s >>" % font]
    kids = []
    for page in range(1, pages + 1):
        text = b"BT /F1 %d Tf %d %d Td %d TL " % (size, left, top, leading) + b"".join(
            b"(%s) '" % line(page, n) for n in range(1, lines + 1)) + b" ET"
        objects.append(b"<< /Length %d >>\nstream\n%s\nendstream" % (len(text), text))
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources "
                       b"<< /Font << /F1 3 0 R >> >> /Contents %d 0 R >>" % len(objects))
        kids.append(len(objects))
    objects[1] = b"<< /Type /Pages /Count %d /Kids [%s] >>" % (
        pages, b" ".join(b"%d 0 R" % k for k in kids))
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (number, body)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def same_ids(rtf: bytes) -> bytes:
    """The RTF with the list and shape ids, which every conversion draws anew, made equal."""
    return re.sub(rb"(templateid|listid|shplid)-?[0-9]+", rb"\1N", rtf)
