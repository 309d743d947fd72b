"""Quillmark: PDF documents into RTF files that keep the look of the pages.

    import quillmark
    rtf = quillmark.convert("report.pdf", pages="1-3")   # bytes; rtf.warnings, rtf.pages
    quillmark.convert_file("report.pdf", "report.rtf", tabs=False)
    quillmark.info(pdf_bytes)                             # {'pages': .., 'version': .., 'encryption': ..}

A source is a path (str or os.PathLike) or bytes-like PDF data. Conversions release the
GIL, so threads convert in parallel; Job.cancel() stops one from another thread, and
Ctrl-C stops the one the main thread waits for.
"""

from __future__ import annotations

import os
from typing import Iterable, Mapping, Optional, Union

from ._quillmark import Cancelled, Error, InvalidPDF, PasswordRequired
from . import _quillmark

__all__ = [
    "convert", "convert_file", "info", "Job", "RTF", "Result",
    "Error", "PasswordRequired", "InvalidPDF", "Cancelled",
]


class RTF(bytes):
    """The RTF of a conversion, with what the job tolerated in the PDF."""

    pages: int
    warnings: list

    def __new__(cls, data: bytes, pages: int, warnings: list) -> "RTF":
        self = super().__new__(cls, data)
        self.pages = pages
        self.warnings = warnings
        return self


class Result:
    """What convert_file wrote: the output path, the pages converted and the warnings."""

    __slots__ = ("output", "pages", "warnings")

    def __init__(self, output: str, pages: int, warnings: list) -> None:
        self.output = output
        self.pages = pages
        self.warnings = warnings

    def __repr__(self) -> str:
        return f"Result(output={self.output!r}, pages={self.pages}, warnings={self.warnings!r})"


def _is_path(source) -> bool:
    if isinstance(source, (str, os.PathLike)):
        return True
    try:
        memoryview(source).release()
    except TypeError:
        raise TypeError(
            f"source must be a path or bytes-like PDF data, not {type(source).__name__}") from None
    return False


def _pages(pages) -> str:
    if pages is None:
        return ""
    if isinstance(pages, str):
        return pages
    if isinstance(pages, int):
        pages = [pages]
    items = []
    for p in pages:
        if isinstance(p, range):
            if p.step != 1 or len(p) == 0:
                raise ValueError(f"pages: {p!r} is not a run of pages")
            items.append(f"{p.start}-{p.stop - 1}")
        elif isinstance(p, int) and not isinstance(p, bool) and p >= 1:
            items.append(str(p))
        else:
            raise ValueError(f"pages: {p!r} is not a page number (pages count from 1)")
    if not items:
        raise ValueError("pages: no page selected")
    return ",".join(items)


def _process(process) -> list:
    if process is None:
        return []
    if isinstance(process, str):
        return [process]
    if isinstance(process, Mapping):
        return [f"{kind}={action}" for kind, action in process.items()]
    return list(process)


class Job:
    """One conversion that can be cancelled from another thread.

    With output None, run() returns the RTF bytes; with a path, it writes the file
    atomically (the old file stays until the new one is complete) and returns a Result.
    """

    def __init__(self, source, output=None, *, pages=None, tabs: bool = True,
                 password: Optional[Union[str, bytes]] = None,
                 process: Optional[Union[Mapping[str, str], Iterable[str]]] = None,
                 preset: Optional[str] = None) -> None:
        is_path = _is_path(source)
        if is_path:
            source = os.fspath(source)
        self._output = "" if output is None else os.fsdecode(output)
        self._job = _quillmark.Job(source, is_path, self._output, _pages(pages), bool(tabs),
                                   password, preset, _process(process))

    def run(self):
        data, pages, warnings = self._job.run()
        if data is None:
            return Result(_with_rtf_extension(self._output), pages, warnings)
        return RTF(data, pages, warnings)

    def cancel(self) -> None:
        self._job.cancel()

    @property
    def cancelled(self) -> bool:
        return self._job.cancelled


def _with_rtf_extension(path: str) -> str:
    # The engine gives a name without extension ".rtf", as the command line does.
    head, tail = os.path.split(path)
    return path if "." in tail else path + ".rtf"


def convert(source, *, pages=None, tabs=True, password=None, process=None, preset=None) -> RTF:
    """Converts a PDF (path or bytes-like data) and returns the RTF bytes.

    pages: "1,3, 5-9", a page number, or an iterable of page numbers and ranges.
    tabs: lay side-by-side text out with tab stops. process: {"image": "skip", ...} or
    ["image=skip", ...], applied after preset ("default", "images-only", "plain-text").
    """
    return Job(source, pages=pages, tabs=tabs, password=password, process=process,
               preset=preset).run()


def convert_file(src, dst, **options) -> Result:
    """Converts src into the RTF file dst, written atomically; options as convert()."""
    dst = os.fsdecode(dst)
    target = _with_rtf_extension(dst)
    if _is_path(src) and os.path.exists(target) and os.path.samefile(src, target):
        raise Error(f"the output {target} would replace the input")
    return Job(src, dst, **options).run()


def info(source, password=None) -> dict:
    """Pages, PDF version and encryption method (None when not encrypted) of a PDF."""
    is_path = _is_path(source)
    if is_path:
        source = os.fspath(source)
    return _quillmark.info(source, is_path, password or "")
