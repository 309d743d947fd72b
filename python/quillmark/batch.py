"""Converts a folder of PDFs on a Dask cluster.

    python3 -m quillmark.batch SRC_DIR DEST_DIR [--scheduler ADDRESS] [--workers N]
                               [--recursive] [--force] [--no-tabs]

Without --scheduler a local cluster is started with one worker process per core. Each task
converts one file and writes its RTF into DEST_DIR atomically, so a folder on a shared file
system works for a real cluster, and what a task finished is never lost, even when a worker
dies later. A file whose worker dies under it is tried once more (on an existing cluster, as
often as its scheduler's distributed.scheduler.allowed-failures says). Files whose RTF is newer
than the PDF are skipped unless --force, so a stopped batch is restarted by running it
again. The summary is printed and written as DEST_DIR/quillmark-report.json.
"""

from __future__ import annotations

import argparse
import glob
import json
import os
import sys
import time
import uuid
from dataclasses import asdict, dataclass, field
from typing import Callable, Iterable, List, Optional

REPORT_NAME = "quillmark-report.json"

# Exit statuses, as the command line's.
EXIT_OK, EXIT_FAILED, EXIT_USAGE, EXIT_INTERRUPTED = 0, 1, 2, 130


@dataclass
class FileResult:
    source: str            # relative to the source folder
    output: str            # relative to the destination folder
    status: str            # "converted", "skipped" or "failed"
    pages: int = 0
    seconds: float = 0.0
    warnings: List[str] = field(default_factory=list)
    reason: Optional[str] = None   # why it failed
    error: Optional[str] = None    # the exception's class: PasswordRequired, InvalidPDF, ...
    worker: Optional[str] = None


def find_pdfs(src_dir: str, recursive: bool) -> List[str]:
    """The PDFs of src_dir (and below it with recursive), relative to it, sorted."""
    found = []
    for folder, dirs, files in os.walk(src_dir):
        dirs.sort()
        rel = os.path.relpath(folder, src_dir)
        for name in sorted(files):
            if name.lower().endswith(".pdf"):
                found.append(os.path.normpath(os.path.join(rel, name)))
        if not recursive:
            break
    return found


def output_name(rel_source: str) -> str:
    return os.path.splitext(rel_source)[0] + ".rtf"


def is_done(src: str, dst: str) -> bool:
    """The RTF exists and is newer than its PDF."""
    try:
        return os.stat(dst).st_mtime_ns > os.stat(src).st_mtime_ns
    except FileNotFoundError:
        return False


def convert_one(src: str, dst: str, rel_source: str, tabs: bool = True) -> dict:
    """The task: converts one file into dst (written atomically) and says how it went.

    Conversion failures are results, not exceptions, so that Dask does not try them again;
    only a worker that dies makes the scheduler run the task again.
    """
    import socket

    import quillmark

    worker = f"{socket.gethostname()}:{os.getpid()}"
    result = FileResult(rel_source, output_name(rel_source), "converted", worker=worker)
    started = time.perf_counter()
    try:
        os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
        done = quillmark.convert_file(src, dst, tabs=tabs)
        result.pages = done.pages
        result.warnings = list(done.warnings)
    except quillmark.Error as e:
        result.status = "failed"
        result.reason = str(e)
        result.error = type(e).__name__
        result.warnings = list(getattr(e, "warnings", []))
    except OSError as e:
        result.status = "failed"
        result.reason = str(e)
        result.error = type(e).__name__
    result.seconds = time.perf_counter() - started
    return asdict(result)


class Progress:
    """A bar on a terminal, one line per finished file otherwise."""

    def __init__(self, total: int, stream=sys.stderr) -> None:
        self.total = total
        self.done = 0
        self.failed = 0
        self.stream = stream
        self.bar = stream.isatty()
        self.started = time.monotonic()

    def file_done(self, result: FileResult) -> None:
        self.done += 1
        self.failed += result.status == "failed"
        if self.bar:
            width = 30
            filled = width * self.done // max(self.total, 1)
            seconds = int(time.monotonic() - self.started)
            self.stream.write(f"\r\033[K[{'#' * filled}{'.' * (width - filled)}] "
                              f"{self.done}/{self.total} files, {self.failed} failed  "
                              f"{seconds // 60:02d}:{seconds % 60:02d}")
        else:
            what = (f"{result.pages} pages, {result.seconds:.1f} s" if result.status == "converted"
                    else result.reason)
            self.stream.write(f"{result.status} {result.source} ({what})\n")
        self.stream.flush()

    def finish(self) -> None:
        if self.bar:
            self.stream.write("\n")
            self.stream.flush()


def _killed(error: BaseException) -> bool:
    return type(error).__name__ == "KilledWorker"


def run_batch(client, src_dir: str, dest_dir: str, *, recursive: bool = False,
              force: bool = False, tabs: bool = True,
              on_result: Optional[Callable[[FileResult], None]] = None) -> dict:
    """Converts the PDFs of src_dir into dest_dir on the cluster of client; returns the
    report, which is also written as dest_dir/quillmark-report.json."""
    from distributed import as_completed

    started = time.monotonic()
    src_dir = os.path.abspath(src_dir)
    dest_dir = os.path.abspath(dest_dir)
    os.makedirs(dest_dir, exist_ok=True)
    results: List[FileResult] = []
    futures = {}
    run = uuid.uuid4().hex[:12]
    # Largest first: the last files to start are short ones, so the workers end together.
    todo = []
    for rel in find_pdfs(src_dir, recursive):
        src = os.path.join(src_dir, rel)
        dst = os.path.join(dest_dir, output_name(rel))
        if not force and is_done(src, dst):
            results.append(FileResult(rel, output_name(rel), "skipped"))
            if on_result:
                on_result(results[-1])
            continue
        todo.append((os.stat(src).st_size, rel, src, dst))
    todo.sort(key=lambda t: (-t[0], t[1]))
    for _, rel, src, dst in todo:
        # Keys of their own per run: batches side by side on one cluster stay apart, and
        # the file's name shows on the cluster's dashboard.
        future = client.submit(convert_one, src, dst, rel, tabs,
                               key=f"quillmark-{run}-{len(futures)}-{rel}")
        futures[future] = rel
    for future in as_completed(list(futures)):
        rel = futures.pop(future)
        try:
            result = FileResult(**future.result())
        except Exception as e:  # the task itself failed: its workers died, or worse
            reason = ("its worker died while converting it, also when tried again"
                      if _killed(e) else f"{type(e).__name__}: {e}")
            result = FileResult(rel, output_name(rel), "failed", reason=reason,
                                error=type(e).__name__)
        # The client holds the result now; the cluster may forget the task.
        future.release()
        results.append(result)
        if on_result:
            on_result(result)
    seconds = time.monotonic() - started
    remove_leftovers(dest_dir, [r.output for r in results if r.status != "skipped"])
    results.sort(key=lambda r: r.source)
    report = summarize(results, seconds, src_dir, dest_dir)
    write_report(report, dest_dir)
    return report


def remove_leftovers(dest_dir: str, outputs: Iterable[str]) -> None:
    """Removes what a worker that died left of the files it was writing: the engine writes
    beside the RTF into a hidden ".NAME.XXXXXX" and renames it when complete. Every task of
    the run has ended, so none of these belongs to a conversion still going on."""
    for output in outputs:
        folder, name = os.path.split(os.path.join(dest_dir, output))
        for left in glob.glob(os.path.join(glob.escape(folder), "." + glob.escape(name) + ".??????")):
            try:
                os.remove(left)
            except OSError:
                pass


def summarize(results: Iterable[FileResult], seconds: float, src_dir: str, dest_dir: str) -> dict:
    results = list(results)
    converted = [r for r in results if r.status == "converted"]
    pages = sum(r.pages for r in converted)
    return {
        "source": src_dir,
        "destination": dest_dir,
        "seconds": round(seconds, 3),
        "files": len(results),
        "converted": len(converted),
        "skipped": sum(r.status == "skipped" for r in results),
        "failed": sum(r.status == "failed" for r in results),
        "pages": pages,
        "pages_per_second": round(pages / seconds, 2) if seconds > 0 else 0.0,
        "results": [asdict(r) for r in results],
    }


def write_report(report: dict, dest_dir: str) -> None:
    path = os.path.join(dest_dir, REPORT_NAME)
    temp = path + ".part"
    with open(temp, "w", encoding="utf-8") as out:
        json.dump(report, out, indent=2, ensure_ascii=False)
        out.write("\n")
    os.replace(temp, path)


def print_summary(report: dict, stream=sys.stdout) -> None:
    rows = [("converted", report["converted"]), ("skipped", report["skipped"]),
            ("failed", report["failed"])]
    stream.write(f"{'files':<10} {report['files']:>6}\n")
    for name, count in rows:
        stream.write(f"{name:<10} {count:>6}\n")
    stream.write(f"{'pages':<10} {report['pages']:>6}   in {report['seconds']:.1f} s, "
                 f"{report['pages_per_second']:.1f} pages per second\n")
    failed = [r for r in report["results"] if r["status"] == "failed"]
    if failed:
        stream.write("failed:\n")
        for r in failed:
            stream.write(f"  {r['source']}: {r['reason']}\n")
    stream.write(f"report: {os.path.join(report['destination'], REPORT_NAME)}\n")
    stream.flush()


def local_cluster(workers: int):
    """One single-threaded worker process per core: the engine holds no GIL while it
    converts, but processes also keep one file's memory from another's."""
    import dask
    from distributed import LocalCluster

    # A file whose worker dies is tried once more; a second death marks it failed. Workers
    # forked rather than started afresh are ready in a fraction of the time, and this
    # process has no engine state to pass on: the module is loaded, nothing converted.
    # QM_BATCH_WORKER_START=spawn starts them afresh, for an interpreter whose preloaded
    # runtimes do not survive a fork.
    # A worker takes its next file when it has finished one, rather than a share of them
    # all at the start. The tasks' time is spent in the engine, where Dask's profiler
    # sees nothing, and its watchers need not look ten times a second: on two cores what
    # they cost is taken from the conversions.
    dask.config.set({"distributed.scheduler.allowed-failures": 1,
                     "distributed.scheduler.worker-saturation": 1.0,
                     "distributed.worker.multiprocessing-method": os.environ.get("QM_BATCH_WORKER_START", "fork"),
                     "distributed.worker.profile.enabled": False,
                     "distributed.admin.tick.interval": "500ms",
                     "distributed.admin.system-monitor.interval": "2s",
                     "distributed.worker.memory.monitor-interval": "1s"})
    return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                        dashboard_address=None)


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m quillmark.batch",
        description="Convert the PDFs of a folder into RTF files on a Dask cluster.")
    parser.add_argument("src_dir", metavar="SRC_DIR")
    parser.add_argument("dest_dir", metavar="DEST_DIR")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="an existing cluster's scheduler; its workers need the quillmark module")
    parser.add_argument("--workers", type=int, metavar="N",
                        help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--recursive", action="store_true", help="take PDFs of subfolders too")
    parser.add_argument("--force", action="store_true",
                        help="convert also files whose RTF is newer than the PDF")
    parser.add_argument("--no-tabs", dest="tabs", action="store_false",
                        help="no tab stops for side-by-side text")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.src_dir):
        parser.error(f"{args.src_dir} is not a folder")
    if args.workers is not None and args.workers < 1:
        parser.error("--workers must be at least 1")
    if args.scheduler and args.workers:
        parser.error("--workers sets up a local cluster; an existing one has its own")

    from distributed import Client

    cluster = None
    try:
        if args.scheduler:
            client = Client(args.scheduler)
        else:
            cluster = local_cluster(args.workers or os.cpu_count() or 1)
            client = Client(cluster)
        with client:
            progress = Progress(len(find_pdfs(args.src_dir, args.recursive)))
            report = run_batch(client, args.src_dir, args.dest_dir, recursive=args.recursive,
                               force=args.force, tabs=args.tabs, on_result=progress.file_done)
            progress.finish()
    except KeyboardInterrupt:
        sys.stderr.write("\nquillmark.batch: interrupted; finished files are kept, "
                         "run again to go on\n")
        return EXIT_INTERRUPTED
    finally:
        if cluster is not None:
            cluster.close()
    print_summary(report)
    return EXIT_FAILED if report["failed"] else EXIT_OK


if __name__ == "__main__":
    # Through the package's module, so that the workers find the task by its name there
    # rather than in their own __main__.
    from quillmark.batch import main as batch_main

    sys.exit(batch_main())
