"""The quillmark module against the command line: same RTF, same failures, threads, cancelling."""

import _thread
import concurrent.futures
import os
import subprocess
import sys
import threading
import time

import pytest

import quillmark
from conftest import CLI, DOCUMENTS, ENCRYPTED, FIXTURES, cli_convert, make_pdf, same_ids

# Options of the module and the command line arguments that ask for the same.
OPTIONS = [
    ({}, []),
    ({"tabs": False}, ["--no-tabs"]),
    ({"pages": "2-3"}, ["--pages", "2-3"]),
    ({"pages": [range(1, 3)]}, ["--pages", "1-2"]),
    ({"preset": "plain-text"}, ["--preset", "plain-text"]),
    ({"process": {"image": "skip", "table": "leave-space"}},
     ["--process", "image=skip", "--process", "table=leave-space"]),
]
CASES = [(doc, {}, []) for doc in DOCUMENTS] + \
        [("text-3pages.pdf", o, a) for o, a in OPTIONS[1:4]] + \
        [(doc, o, a) for doc in ("e2e/tables.pdf", "e2e/image.pdf") for o, a in OPTIONS[4:]] + \
        [(ENCRYPTED, {"password": "user"}, ["--password", "user"]),
         (ENCRYPTED, {"password": b"user"}, ["--password", "user"])]


@pytest.mark.parametrize("doc,options,args", CASES)
def test_same_rtf_as_the_command_line(doc, options, args, tmp_path):
    src = FIXTURES / doc
    expected, status, err = cli_convert(src, tmp_path / "cli.rtf", *args)
    assert status == 0, err
    from_bytes = quillmark.convert(src.read_bytes(), **options)
    assert isinstance(from_bytes, bytes)
    assert same_ids(from_bytes) == expected
    assert same_ids(quillmark.convert(bytearray(src.read_bytes()), **options)) == expected
    assert same_ids(quillmark.convert(src, **options)) == expected
    result = quillmark.convert_file(str(src), tmp_path / "out", **options)
    assert result.output == str(tmp_path / "out.rtf")
    assert same_ids((tmp_path / "out.rtf").read_bytes()) == expected
    assert result.pages == from_bytes.pages > 0
    # Nothing but the result is left in the folder: no temporary file.
    assert sorted(p.name for p in tmp_path.iterdir()) == ["cli.rtf", "out.rtf"]


def test_bytes_in_and_out_touch_no_file(tmp_path):
    (tmp_path / "tmp").mkdir()
    script = ("import sys, quillmark; data = sys.stdin.buffer.read(); "
              "sys.stdout.buffer.write(quillmark.convert(data))")
    src = FIXTURES / "e2e" / "image.pdf"
    run = subprocess.run([sys.executable, "-c", script], input=src.read_bytes(), cwd=tmp_path,
                         env=dict(os.environ, TMPDIR=str(tmp_path / "tmp")),
                         capture_output=True, check=True)
    assert same_ids(run.stdout) == same_ids(quillmark.convert(src))
    assert [str(p.relative_to(tmp_path)) for p in tmp_path.rglob("*")] == ["tmp"]


def test_warnings_are_what_the_command_logs(tmp_path):
    src = FIXTURES / "regress" / "junk-before-header.pdf"
    rtf = quillmark.convert(src.read_bytes())
    assert rtf.warnings, "bytes before the header are noted"
    log = subprocess.run([CLI, "convert", "-v", str(src), "-o", str(tmp_path / "x.rtf")],
                         capture_output=True, text=True, check=True).stderr
    for line in rtf.warnings:
        assert line in log
    assert quillmark.convert(FIXTURES / "e2e" / "prose.pdf").warnings == []


DAMAGED = b"%PDF-1.4\n1 0 obj <<" + bytes(range(256)) * 4


@pytest.mark.parametrize("source,options,error", [
    (ENCRYPTED, {}, quillmark.PasswordRequired),
    (ENCRYPTED, {"password": "wrong"}, quillmark.PasswordRequired),
    (DAMAGED, {}, quillmark.InvalidPDF),
    (b"", {}, quillmark.InvalidPDF),
    (b"plain text, no PDF at all", {}, quillmark.InvalidPDF),
])
def test_failures_raise_the_module_exceptions(source, options, error, tmp_path):
    data = (FIXTURES / source).read_bytes() if isinstance(source, str) else source
    with pytest.raises(error) as raised:
        quillmark.convert(data, **options)
    assert isinstance(raised.value, quillmark.Error)
    assert isinstance(raised.value.warnings, list)
    # The engine's message, as the command line prints it.
    src = tmp_path / "in.pdf"
    src.write_bytes(data)
    args = ["--password", options["password"]] if "password" in options else []
    _, status, err = cli_convert(src, tmp_path / "out.rtf", *args)
    assert status != 0
    assert str(raised.value) and str(raised.value) in err
    with pytest.raises(error):
        quillmark.convert(src, **options)


def test_wrong_arguments_and_places(tmp_path):
    pdf = FIXTURES / "text-3pages.pdf"
    with pytest.raises(FileNotFoundError):
        quillmark.convert(tmp_path / "missing.pdf")
    with pytest.raises(quillmark.Error, match="Cannot create file"):
        quillmark.convert_file(pdf, tmp_path / "no-such-folder" / "out.rtf")
    with pytest.raises(quillmark.Error, match="would replace the input"):
        quillmark.convert_file(pdf, pdf)
    with pytest.raises(ValueError):
        quillmark.convert(pdf, pages="2-")
    with pytest.raises(ValueError):
        quillmark.convert(pdf, pages=[0])
    with pytest.raises(ValueError):
        quillmark.convert(pdf, preset="no-such-preset")
    with pytest.raises(ValueError):
        quillmark.convert(pdf, process=["image"])
    with pytest.raises(TypeError):
        quillmark.convert(12)


def test_a_failed_conversion_leaves_the_old_file(tmp_path):
    dst = tmp_path / "out.rtf"
    dst.write_bytes(b"old")
    with pytest.raises(quillmark.InvalidPDF):
        quillmark.convert_file(DAMAGED, dst)
    assert dst.read_bytes() == b"old"
    assert os.listdir(tmp_path) == ["out.rtf"]


@pytest.mark.parametrize("doc,password", [
    ("text-3pages.pdf", None), ("qpdf-aes128.pdf", None), ("qpdf-rc4-40-userpw.pdf", "user"),
    (ENCRYPTED, "user")])
def test_info_says_what_the_command_says(doc, password):
    src = FIXTURES / doc
    info = quillmark.info(src, password=password)
    assert info == quillmark.info(src.read_bytes(), password)
    args = ["--password", password] if password else []
    out = subprocess.run([CLI, "info", str(src), *args], capture_output=True, text=True,
                         check=True).stdout
    assert f"Pages: {info['pages']}\n" in out
    assert f"PDF version: {info['version']}\n" in out
    expected = "no" if info["encryption"] is None else "yes, " + info["encryption"]
    assert f"Encrypted: {expected}\n" in out


def test_info_needs_the_password():
    with pytest.raises(quillmark.PasswordRequired):
        quillmark.info(FIXTURES / ENCRYPTED)
    with pytest.raises(quillmark.InvalidPDF):
        quillmark.info(DAMAGED)


def test_four_threads_give_the_bytes_of_one_after_the_other():
    sources = [(FIXTURES / d).read_bytes() for d in DOCUMENTS[:8]]
    one_by_one = [same_ids(quillmark.convert(s)) for s in sources]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        for _ in range(2):
            at_once = pool.map(lambda s: same_ids(quillmark.convert(s)), sources)
            assert list(at_once) == one_by_one


def test_the_gil_is_free_while_converting():
    pdf = make_pdf(100)
    done = threading.Event()
    worker = threading.Thread(target=lambda: (quillmark.convert(pdf), done.set()))
    worker.start()
    spins = 0
    while not done.is_set():
        spins += 1
        time.sleep(0.001)
    worker.join()
    assert spins > 20


def test_cancel_from_another_thread(long_pdf, tmp_path):
    dst = tmp_path / "out.rtf"
    dst.write_bytes(b"old")
    job = quillmark.Job(long_pdf, dst)
    threading.Timer(0.2, job.cancel).start()
    with pytest.raises(quillmark.Cancelled):
        job.run()
    assert job.cancelled
    assert dst.read_bytes() == b"old"
    assert os.listdir(tmp_path) == ["out.rtf"]
    # A job cancelled before it runs does not convert at all.
    early = quillmark.Job(long_pdf.read_bytes())
    early.cancel()
    with pytest.raises(quillmark.Cancelled):
        early.run()


def test_ctrl_c_stops_the_conversion(long_pdf, tmp_path):
    dst = tmp_path / "out.rtf"
    threading.Timer(0.2, _thread.interrupt_main).start()
    with pytest.raises(KeyboardInterrupt):
        quillmark.convert_file(long_pdf, dst)
    assert not dst.exists()
    assert os.listdir(tmp_path) == []
    # The module still works afterwards.
    assert quillmark.convert(make_pdf(1)).pages == 1
