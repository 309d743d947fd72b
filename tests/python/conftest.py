"""Shared helpers of the Python tests: the built command, the fixtures, generated PDFs."""

import os
import re
import subprocess
from pathlib import Path

import pytest

FIXTURES = Path(os.environ.get("QM_FIXTURE_DIR", Path(__file__).resolve().parents[1] / "fixtures"))
CLI = os.environ.get("QM_CLI", "quillmark")

# Documents of the fixture folder the tests convert; together they have text, columns,
# lists, tables, images, a scan, a form and an encryption with an empty user password.
DOCUMENTS = ["e2e/prose.pdf", "e2e/columns.pdf", "e2e/lists.pdf", "e2e/tables.pdf",
             "e2e/image.pdf", "e2e/scan.pdf", "e2e/form.pdf", "e2e/headings.pdf",
             "text-3pages.pdf", "qpdf-aes128.pdf"]
# Opens only with the user password "user".
ENCRYPTED = "qpdf-aes256-userpw.pdf"


def same_ids(rtf: bytes) -> bytes:
    """The RTF with the list and shape ids, which every conversion draws anew, made equal."""
    return re.sub(rb"(templateid|listid|shplid)-?[0-9]+", rb"\1N", rtf)


def cli_convert(src, dst, *args):
    """The command line's RTF of src, or its failure (status, stderr)."""
    run = subprocess.run([CLI, "convert", "-q", str(src), "-o", str(dst), *args],
                         capture_output=True, text=True, check=False)
    if run.returncode != 0:
        return None, run.returncode, run.stderr
    return same_ids(Path(dst).read_bytes()), 0, run.stderr


def make_pdf(pages: int, lines: int = 40) -> bytes:
    """A valid PDF of `pages` pages of plain text in Helvetica."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", None,
               b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
    kids = []
    for page in range(pages):
        text = b"BT /F1 11 Tf 72 760 Td 14 TL " + b"".join(
            b"(Page %d line %d of a generated document, words to lay out.) '" % (page + 1, n)
            for n in range(lines)) + b" ET"
        objects.append(b"<< /Length %d >>\nstream\n%s\nendstream" % (len(text), text))
        content = len(objects)
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                       b"/Resources << /Font << /F1 3 0 R >> >> /Contents %d 0 R >>" % content)
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


@pytest.fixture(scope="session")
def long_pdf(tmp_path_factory) -> Path:
    """A document long enough that a conversion is still running a moment after it starts."""
    path = tmp_path_factory.mktemp("long") / "long.pdf"
    path.write_bytes(make_pdf(1200))
    return path
