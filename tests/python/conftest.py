"""Shared helpers of the Python tests: the built command, the fixtures, generated PDFs."""

import os
import subprocess
from pathlib import Path

import pytest

from textpdf import same_ids, text_pdf  # noqa: F401 (the tests import same_ids from here)

FIXTURES = Path(os.environ.get("QM_FIXTURE_DIR", Path(__file__).resolve().parents[1] / "fixtures"))
CLI = os.environ.get("QM_CLI", "quillmark")

# Documents of the fixture folder the tests convert; together they have text, columns,
# lists, tables, images, a scan, a form and an encryption with an empty user password.
DOCUMENTS = ["e2e/prose.pdf", "e2e/columns.pdf", "e2e/lists.pdf", "e2e/tables.pdf",
             "e2e/image.pdf", "e2e/scan.pdf", "e2e/form.pdf", "e2e/headings.pdf",
             "text-3pages.pdf", "qpdf-aes128.pdf"]
# Opens only with the user password "user".
ENCRYPTED = "qpdf-aes256-userpw.pdf"


def cli_convert(src, dst, *args):
    """The command line's RTF of src, or its failure (status, stderr)."""
    run = subprocess.run([CLI, "convert", "-q", str(src), "-o", str(dst), *args],
                         capture_output=True, text=True, check=False)
    if run.returncode != 0:
        return None, run.returncode, run.stderr
    return same_ids(Path(dst).read_bytes()), 0, run.stderr


def make_pdf(pages: int, lines: int = 40) -> bytes:
    """A valid PDF of `pages` pages of plain text in Helvetica."""
    return text_pdf(pages, lines, lambda page, n: b"Page %d line %d of a generated document, "
                    b"words to lay out." % (page, n - 1))


@pytest.fixture(scope="session")
def long_pdf(tmp_path_factory) -> Path:
    """A document long enough that a conversion is still running a moment after it starts."""
    path = tmp_path_factory.mktemp("long") / "long.pdf"
    path.write_bytes(make_pdf(1200))
    return path
