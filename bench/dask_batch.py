#!/usr/bin/python3
"""The Dask batch against one file after the other.

    bench/dask_batch.py [BUILD_DIR]     (default build-bench; needs quillmark and the module)

20 PDFs: the twelve largest real documents beside the project (../shared/corpus/real, or
$QM_CORPUS_DIR; issue12963.pdf is left out, its one page outweighs all the others) and
generated text documents of 2400 to 5000 pages: a batch worth a cluster, where starting one
is a small part of the time. `python3 -m quillmark.batch` on a local
cluster of two workers, the whole process with the cluster's start, against `quillmark
convert` run once per file, one after the other; best of three each. Limit: the batch takes
at most 0.65 x the time, and every RTF file is the same (but for the list and shape ids,
which every conversion draws anew). Exits non-zero when the figure misses its limit.
"""

import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

FILES, REAL_FILES, LIMIT, RUNS = 20, 12, 0.65, 3
ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "python"))
from textpdf import same_ids, text_pdf  # noqa: E402


def inputs(folder: Path) -> None:
    corpus = Path(os.environ.get("QM_CORPUS_DIR", ROOT.parent / "shared" / "corpus" / "real"))
    real = sorted((p for p in corpus.glob("*.pdf") if p.name != "issue12963.pdf"),
                  key=lambda p: (-p.stat().st_size, p.name))[:REAL_FILES]
    if not real:
        print(f"no real documents in {corpus}: generated ones only")
    for p in real:
        shutil.copy(p, folder / p.name)
    for i in range(FILES - len(real)):
        (folder / f"text-{i}.pdf").write_bytes(text_pdf(
            2400 + (i * 370) % 2600, 46, font=b"Times-Roman", size=10, leading=15, left=60, top=770,
            line=lambda page, n: b"Paragraph %d of page %d: the quick brown fox jumps over the "
                                 b"lazy dog." % (n - 1, page)))


def rtfs(folder: Path) -> dict:
    return {p.name: same_ids(p.read_bytes()) for p in folder.glob("*.rtf")}


def cpu_of_children() -> float:
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    return used.ru_utime + used.ru_stime


def best(*runs) -> list:
    """The best time of each run and the processor time it used; the runs take turns, so
    that a change of the machine's load in between weighs on both."""
    times = [[] for _ in runs]
    for _ in range(RUNS):
        for run, spent in zip(runs, times):
            started, cpu = time.perf_counter(), cpu_of_children()
            run()
            spent.append((time.perf_counter() - started, cpu_of_children() - cpu))
    return [min(spent) for spent in times]


def main() -> int:
    build = Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "build-bench").resolve()
    cli = build / "cli" / "quillmark"
    if not cli.exists() or not (build / "python" / "quillmark").is_dir():
        print(f"{build}: build quillmark and the Python module first")
        return 1
    scratch = Path(tempfile.mkdtemp(prefix="qm-dask-bench-"))
    try:
        src = scratch / "in"
        src.mkdir()
        inputs(src)
        pdfs = sorted(src.glob("*.pdf"))
        one_by_one = scratch / "one-by-one"
        dask_out = scratch / "dask"
        env = dict(os.environ, PYTHONPATH=str(build / "python"))

        def sequential():
            shutil.rmtree(one_by_one, ignore_errors=True)
            one_by_one.mkdir()
            for pdf in pdfs:
                subprocess.run([str(cli), "convert", "-q", str(pdf), "-o",
                                str(one_by_one / (pdf.stem + ".rtf"))], check=True)

        def batch():
            shutil.rmtree(dask_out, ignore_errors=True)
            subprocess.run(["/usr/bin/python3", "-m", "quillmark.batch", str(src), str(dask_out),
                            "--workers", "2"], env=env, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

        (seq, seq_cpu), (par, par_cpu) = best(sequential, batch)
        same = rtfs(one_by_one) == rtfs(dask_out) and len(rtfs(dask_out)) == FILES
        ratio = par / seq
        print(f"dask batch of {FILES} files, 2 workers: {par:.2f} s "
              f"(one quillmark convert after the other {seq:.2f} s, ratio {ratio:.2f} x, "
              f"limit {LIMIT} x); same RTF: {'yes' if same else 'NO'}")
        # A loaded machine gives a session's processes one share between them, so that two
        # workers get no more than one command: the processor times tell what the cores do.
        print(f"processor time: batch {par_cpu:.2f} s, one after the other {seq_cpu:.2f} s; "
              f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
        return 0 if ratio <= LIMIT and same else 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
