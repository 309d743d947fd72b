"""The Dask batch on a local cluster of two workers: results, report, restart, a dying worker."""

import json
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import pytest

distributed = pytest.importorskip("distributed")

import quillmark
from quillmark import batch
from conftest import DOCUMENTS, ENCRYPTED, FIXTURES, make_pdf, same_ids

GOOD = 18

# Tornado under this Dask version says so when a cluster starts; nothing of ours.
pytestmark = pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")


@pytest.fixture(scope="module")
def client():
    with batch.local_cluster(2) as cluster, distributed.Client(cluster) as c:
        yield c


def make_source(folder, long_pages=0):
    """20 PDFs: 18 that convert, one damaged, one that needs a password; with long_pages,
    the first of them is a generated document of that many pages."""
    folder.mkdir()
    for i in range(GOOD):
        name = f"{i:02d}-{os.path.basename(DOCUMENTS[i % len(DOCUMENTS)])}"
        shutil.copy(FIXTURES / DOCUMENTS[i % len(DOCUMENTS)], folder / name)
    if long_pages:
        (folder / "00-long.pdf").write_bytes(make_pdf(long_pages))
        os.remove(folder / f"00-{os.path.basename(DOCUMENTS[0])}")
    (folder / "damaged.pdf").write_bytes((FIXTURES / "text-3pages.pdf").read_bytes()[:3000])
    shutil.copy(FIXTURES / ENCRYPTED, folder / "encrypted.pdf")
    return folder


def by_source(report):
    return {r["source"]: r for r in report["results"]}


def test_batch_converts_reports_and_restarts(client, tmp_path):
    src = make_source(tmp_path / "src")
    dest = tmp_path / "dest"
    report = batch.run_batch(client, src, dest)

    assert (report["files"], report["converted"], report["failed"], report["skipped"]) == (20, GOOD, 2, 0)
    results = by_source(report)
    assert results["damaged.pdf"]["error"] == "InvalidPDF"
    assert results["encrypted.pdf"]["error"] == "PasswordRequired"
    assert "Password required" in results["encrypted.pdf"]["reason"]
    assert report["pages"] == sum(r["pages"] for r in report["results"]) > GOOD
    assert report["pages_per_second"] > 0
    assert json.loads((dest / batch.REPORT_NAME).read_text()) == report
    for name, r in results.items():
        if r["status"] == "converted":
            assert r["seconds"] > 0
            expected = same_ids(quillmark.convert(src / name))
            assert same_ids((dest / r["output"]).read_bytes()) == expected
    # No output for the failures, no temporary file left anywhere.
    assert sorted(os.listdir(dest)) == sorted([batch.REPORT_NAME] + [
        r["output"] for r in report["results"] if r["status"] == "converted"])

    # Run again: what is done is skipped, the failures are tried again.
    again = batch.run_batch(client, src, dest)
    assert (again["converted"], again["skipped"], again["failed"]) == (0, GOOD, 2)
    # A PDF changed since its RTF was written is converted again, and --force converts all.
    later = time.time() + 5
    os.utime(src / "03-tables.pdf", (later, later))
    again = batch.run_batch(client, src, dest)
    assert [r["source"] for r in again["results"] if r["status"] == "converted"] == ["03-tables.pdf"]
    assert batch.run_batch(client, src, dest, force=True)["converted"] == GOOD


def test_command_line(tmp_path):
    src = make_source(tmp_path / "src")
    (src / "sub").mkdir()
    shutil.copy(FIXTURES / "text-3pages.pdf", src / "sub" / "deeper.pdf")
    dest = tmp_path / "dest"
    run = subprocess.run([sys.executable, "-m", "quillmark.batch", str(src), str(dest),
                          "--workers", "2", "--recursive"],
                         capture_output=True, text=True, timeout=600, check=False)
    assert run.returncode == 1, run.stderr  # two files failed
    assert "converted      19" in run.stdout
    assert "damaged.pdf: " in run.stdout and "encrypted.pdf: Encrypted PDF" in run.stdout
    assert (dest / "sub" / "deeper.rtf").exists()
    assert json.loads((dest / batch.REPORT_NAME).read_text())["converted"] == GOOD + 1
    usage = subprocess.run([sys.executable, "-m", "quillmark.batch", str(tmp_path / "none"),
                            str(dest)], capture_output=True, text=True, check=False)
    assert usage.returncode == 2


def test_a_worker_killed_mid_file_loses_nothing(client, tmp_path):
    src = make_source(tmp_path / "src", long_pages=3000)
    dest = tmp_path / "dest"
    killed = {}

    def kill_the_long_file_worker():
        deadline = time.monotonic() + 300
        while time.monotonic() < deadline:
            busy = [w for w, keys in client.processing().items()
                    if any("00-long.pdf" in str(k) for k in keys)]
            if busy:
                time.sleep(0.1)  # into the file, which takes a second and more even in a fast build
                pid = client.run(os.getpid, workers=busy)[busy[0]]
                killed["finished"] = {p.name: same_ids(p.read_bytes()) for p in dest.glob("*.rtf")}
                killed["pid"] = pid
                os.kill(pid, signal.SIGKILL)
                return
            time.sleep(0.02)

    killer = threading.Thread(target=kill_the_long_file_worker)
    killer.start()
    report = batch.run_batch(client, src, dest)
    killer.join()

    assert "pid" in killed, "the long file was never seen running"
    assert (report["converted"], report["failed"]) == (GOOD, 2)
    long = by_source(report)["00-long.pdf"]
    assert long["status"] == "converted" and long["pages"] == 3000
    assert not long["worker"].endswith(f":{killed['pid']}")  # done again, elsewhere
    # What was finished before the kill is all there, as it was written.
    for name, data in killed["finished"].items():
        assert same_ids((dest / name).read_bytes()) == data
    # Nothing is left of the file the dead worker was writing.
    assert not [p for p in os.listdir(dest) if p.startswith(".")]
