"""Conversions spread over Dask: every scan of a campaign becomes its own NOX file in its own task.

    from dask.distributed import Client, LocalCluster
    from noxformats.distributed import convert_campaign

    result = convert_campaign(["site/site.rsp", "extra/scan9.rxp"], "out/", merge_into="site.nox")

The library keeps process-wide state and converts one batch at a time in a process, so the tasks
run in worker processes (a cluster made here has one thread in each). A scan that fails is
reported with its reason and the others go on; a task whose worker died is submitted again, up
to `retries` more times. A scan's file appears under its name only when it is complete: the task
converts into a hidden name in the output folder and renames it on success, and the writer builds
that file under a temporary of its own, which the next attempt for the same name removes.

Worker processes run the main module again before anything else, which code read from standard
input or a script without a `__main__` guard cannot give them: a cluster made here is refused at
once in the first case, and closed with a NoxError when its workers have not all started within
worker_timeout in any case.
"""

from __future__ import annotations

import asyncio
import dataclasses
import fcntl
import multiprocessing
import os
import sys
import threading
import time
import uuid
from dataclasses import dataclass
from typing import Callable, Iterable, Optional, Sequence, Union

from . import _noxformats
from ._noxformats import NoxError
from .conversion import ConversionResult, Failure, _canonical_settings, _paths, convert, \
    project_scans

PathLike = Union[str, os.PathLike]

# Settings that apply when the scan files are read back for merge_into. Units, the spatial filter
# and the project's data source were applied when the scans were converted.
_MERGE_SETTINGS = ("tolerance", "auto_tolerance", "intensity", "colour", "classification",
                   "combine", "normals", "normalise_intensities", "feedback_count", "creator")

# A worker sends a scan's progress at most this often (seconds), and at every change of phase.
_EVENT_INTERVAL = 0.25

# How long closing a cluster made here may take (seconds) before its worker processes are ended.
_CLOSE_TIMEOUT = 20

# What to do when a cluster made here cannot start its workers, the end of both messages.
_GUARD_ADVICE = ("put the code in a script file and call convert_campaign under "
                 "`if __name__ == \"__main__\":`, or pass a client of your own")


@dataclass(frozen=True)
class ScanTask:
    """One scan to convert: a scan of a project (project and index set) or a scan file."""

    input: str  # the scan file as the library reads it
    output: str  # the scan's NOX file in the output folder
    project: Optional[str] = None
    index: Optional[int] = None

    @property
    def partial(self) -> str:
        """The hidden name the task converts into before renaming onto output."""
        folder, name = os.path.split(self.output)
        return os.path.join(folder, f".{name[:-4]}.incomplete.nox")


@dataclass(frozen=True)
class ScanEvent:
    """Progress of one scan, as convert_campaign's progress callable receives it.

    state is "converting" (percent and phase from the worker), "retrying" (its worker died;
    reason says how), "done" or "failed" (reason says why)."""

    scan: str
    output: str
    state: str
    percent: int = 0
    phase: int = 0
    worker: Optional[str] = None
    pid: Optional[int] = None
    attempt: int = 1
    reason: str = ""


@dataclass(frozen=True)
class ScanOutcome:
    """What became of one scan."""

    task: ScanTask
    output: Optional[str]  # the complete NOX file, None when the scan failed
    points: Optional[int]
    failures: tuple[Failure, ...]  # what the library reported for the scan
    reason: str  # why it failed, in one line ("" on success)
    attempts: int  # 1, or more when workers died under it
    worker: Optional[str] = None

    @property
    def ok(self) -> bool:
        return self.output is not None


@dataclass(frozen=True)
class CampaignResult:
    scans: tuple[ScanOutcome, ...]
    merged: Optional[ConversionResult]  # the conversion into merge_into, when asked for
    merge_reason: str = ""  # why there is no merged file, when one was asked for

    @property
    def outputs(self) -> list[str]:
        return [scan.output for scan in self.scans if scan.output]

    @property
    def failed(self) -> list[ScanOutcome]:
        return [scan for scan in self.scans if not scan.ok]


def _is_project(path: str) -> bool:
    # The library takes a project by its last three characters, in these two spellings.
    return path.endswith(".rsp") or path.endswith(".RSP")


def plan_campaign(inputs: Union[PathLike, Iterable[PathLike]], out_dir: PathLike,
                  project_source: str = "rdb") -> list[ScanTask]:
    """The scans of the inputs (projects expanded into their scans) with their output names:
    out_dir/NAME.nox after the scan's file name, made unique by the scan's number when two
    scans share a name."""
    out_dir = os.path.abspath(os.fspath(out_dir))
    listed: list[tuple[str, Optional[str], Optional[int]]] = []
    for path in _paths(inputs):
        path = os.path.abspath(path)
        if _is_project(path):
            for scan in project_scans(path, project_source):
                listed.append((scan.file, path, scan.index))
        elif os.path.isfile(path):
            listed.append((path, None, None))
        else:
            raise FileNotFoundError(2, "input not found", path)
    stems = [os.path.splitext(os.path.basename(file))[0] for file, _, _ in listed]
    tasks = []
    for number, ((file, project, index), stem) in enumerate(zip(listed, stems)):
        name = stem if stems.count(stem) == 1 else f"{stem}_{number}"
        tasks.append(ScanTask(file, os.path.join(out_dir, name + ".nox"), project, index))
    return tasks


def _remove(path: str) -> None:
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def _remove_abandoned(task: ScanTask) -> None:
    """Removes the hidden file of a task and the writer's temporaries for it that no living
    writer holds (a writer keeps a lock on its temporary while it lives)."""
    _remove(task.partial)
    folder, name = os.path.split(task.partial)
    prefix = f".{name}."
    for entry in os.listdir(folder):
        if not (entry.startswith(prefix) and entry.endswith(".part")):
            continue
        path = os.path.join(folder, entry)
        try:
            with open(path, "rb") as file:
                fcntl.flock(file, fcntl.LOCK_EX | fcntl.LOCK_NB)
                os.remove(path)
        except OSError:
            continue


def _send(topic: Optional[str], event: ScanEvent) -> None:
    if topic is None:
        return
    try:
        from distributed import get_worker
        # As plain values: a scheduler elsewhere need not have this package to pass it on.
        get_worker().log_event(topic, dataclasses.asdict(event))
    except ValueError:  # not inside a Dask worker: nobody to tell
        pass


def convert_scan(task: ScanTask, settings: dict, topic: Optional[str] = None) -> ScanOutcome:
    """Converts one scan into task.output; the body of a campaign's tasks. Runs in any process
    (each process converts one batch at a time)."""
    worker = None
    try:
        from distributed import get_worker
        worker = get_worker().address
    except (ImportError, ValueError):
        pass
    base = ScanEvent(task.input, task.output, "converting", worker=worker, pid=os.getpid())
    last = [0.0, 0]

    def progress(name, overall, file_percent, index, phase):
        now = time.monotonic()
        if phase != last[1] or now - last[0] >= _EVENT_INTERVAL:
            last[:] = [now, int(phase)]
            _send(topic, dataclasses.replace(base, percent=int(file_percent), phase=int(phase)))

    def failed(reason: str, failures: Sequence[Failure] = ()) -> ScanOutcome:
        _remove(task.partial)
        return ScanOutcome(task, None, None, tuple(failures), reason, 1, worker)

    _send(topic, base)
    try:
        if task.project is not None:
            result = convert(task.project, task.partial, mode="batch", scans=[task.index],
                             progress=progress, **settings)
        else:
            result = convert(task.input, task.partial, mode="batch", progress=progress,
                             **settings)
    except (OSError, ValueError, _noxformats.NoxError) as error:
        return failed(f"{task.input}: {error}")
    if not result.ok or result.exported != [task.partial]:
        reasons = [str(failure) for failure in result.failures]
        if not reasons:
            reasons = [f"{task.input}: the conversion answered {result.result_name}"
                       + (", cancelled" if result.cancelled else "")
                       + (", no point converted" if result.removed_empty_output else "")]
        return failed("; ".join(reasons), result.failures)
    os.replace(task.partial, task.output)
    return ScanOutcome(task, task.output, result.outputs[0].points, (), "", 1, worker)


def merge_scans(files: Sequence[str], output: str, settings: dict) -> ConversionResult:
    """Combines NOX files into one through the library's NOX import; the body of the merge
    task. The file appears under output only when every input was merged."""
    folder, name = os.path.split(os.path.abspath(output))
    partial = os.path.join(folder, f".{name[:-4]}.incomplete.nox")
    try:
        result = convert(list(files), partial, mode="batch", **settings)
    except BaseException:
        _remove(partial)
        raise
    if result.ok and result.exported == [partial]:
        os.replace(partial, output)
        return dataclasses.replace(
            result, output=output,
            outputs=tuple(dataclasses.replace(o, file=output) for o in result.outputs))
    _remove(partial)
    return dataclasses.replace(result, outputs=())


class _Events:
    """Calls the caller's progress one event at a time, from whichever thread delivers it, and
    keeps the first exception it raises for the end of the campaign."""

    def __init__(self, progress: Optional[Callable[[ScanEvent], object]]):
        self._progress = progress
        self._lock = threading.Lock()
        self.error: Optional[BaseException] = None

    def __call__(self, event: ScanEvent) -> None:
        if self._progress is None:
            return
        with self._lock:
            if self.error is not None:
                return
            try:
                self._progress(event)
            except BaseException as error:  # raised again when the campaign ends
                self.error = error

    def from_scheduler(self, event) -> None:
        _, message = event
        if isinstance(message, dict):
            self(ScanEvent(**message))


def convert_campaign(
    inputs: Union[PathLike, Iterable[PathLike]],
    out_dir: PathLike,
    client=None,
    merge_into: Optional[PathLike] = None,
    retries: int = 2,
    progress: Optional[Callable[[ScanEvent], object]] = None,
    project_source: str = "rdb",
    worker_timeout: Optional[float] = 60,
    **settings,
) -> CampaignResult:
    """Converts every scan of the inputs into its own NOX file in out_dir, one Dask task each.

    client: a dask.distributed Client; without one a LocalCluster of worker processes (one
    thread each, as many as there are cores but no more than scans) is made and closed here.
    merge_into: a NOX file that receives every scan that converted, through the NOX import.
    retries: how many more times a scan is submitted after its worker died under it. With a
    cluster made here a death is seen at once; a scheduler of your own retries a task itself
    (its distributed.scheduler.allowed-failures) before these retries start.
    progress: called with a ScanEvent for every scan's progress, retry and end.
    worker_timeout: seconds within which every worker of a cluster made here must have started
    (None: no limit); when they have not, the cluster is closed and NoxError raised. A client
    given is used as it is.
    settings: conversion settings by name, as for noxformats.convert (no mode: one file each).
    """
    if isinstance(retries, bool) or not isinstance(retries, int) or retries < 0:
        raise ValueError(f"retries: expected a whole number from 0, got {retries!r}")
    if worker_timeout is not None and (isinstance(worker_timeout, bool)
                                       or not isinstance(worker_timeout, (int, float))
                                       or not worker_timeout > 0):
        raise ValueError(f"worker_timeout: expected seconds > 0 or None, got {worker_timeout!r}")
    settings = _canonical_settings(settings)
    if "mode" in settings:
        raise ValueError("mode: a campaign writes one file per scan; leave mode out")
    settings["project_source"] = project_source
    _noxformats.check_settings(settings)
    if merge_into is not None and not os.fspath(merge_into).endswith(".nox"):
        raise ValueError(f"merge_into names a .nox file, got {merge_into!r}")
    if client is None:
        main = _main_workers_cannot_run()
        if main is not None:
            raise NoxError(f"the campaign cannot start its worker processes: {main}; "
                           f"{_GUARD_ADVICE}")
    out_dir = os.path.abspath(os.fspath(out_dir))
    os.makedirs(out_dir, exist_ok=True)
    tasks = plan_campaign(inputs, out_dir, project_source)
    if not tasks:
        raise ValueError("the inputs hold no scan")

    cluster, others = None, set()
    if client is None:
        cluster, client, others = _start_cluster(max(1, min(len(tasks), os.cpu_count() or 1)),
                                                 worker_timeout)
    events = _Events(progress)
    topic = f"noxformats-campaign-{uuid.uuid4().hex}"
    client.subscribe_topic(topic, events.from_scheduler)
    try:
        outcomes = _run_scans(client, tasks, settings, topic, retries, events)
        merged, merge_reason = None, ""
        if merge_into is not None:
            merged, merge_reason = _merge(client, outcomes, os.path.abspath(os.fspath(merge_into)),
                                          settings, retries)
    finally:
        client.unsubscribe_topic(topic)
        for task in tasks:
            _remove_abandoned(task)
        if cluster is not None:
            _close_cluster(client, cluster, others)
    if events.error is not None:
        raise events.error
    return CampaignResult(tuple(outcomes), merged, merge_reason)


def _main_workers_cannot_run() -> Optional[str]:
    """Why worker processes started here could not run the main module again, or None when they
    can. Processes started by spawn or forkserver run the main script's file before anything
    else; code read from standard input names a file ("<stdin>") that is not there, and they die
    at once."""
    import dask
    method = dask.config.get("distributed.worker.multiprocessing-method", "spawn")
    if method not in ("spawn", "forkserver"):
        return None
    main = sys.modules.get("__main__")
    if main is None or getattr(getattr(main, "__spec__", None), "name", None) is not None:
        return None  # run as a module (python -m): the workers import it by name
    path = getattr(main, "__file__", None)
    if path is None:
        return None  # an interactive session or python -c: the workers leave __main__ alone
    if os.path.splitext(os.path.basename(path))[0] == "ipython":
        return None  # multiprocessing leaves the IPython launcher alone
    original = getattr(multiprocessing.process, "ORIGINAL_DIR", None) or os.getcwd()
    if os.path.isfile(os.path.join(original, path)):
        return None
    return (f"they run the main module again ({method} start method), and it is {path!r}, "
            f"not a file (code read from standard input cannot be run again)")


def _worker_processes() -> set:
    """The Dask worker processes this process has started and not yet joined."""
    return {process for process in multiprocessing.active_children()
            if process.name.startswith("Dask Worker process")}


def _start_cluster(workers: int, timeout: Optional[float]):
    """A LocalCluster of worker processes with one thread each, its client, and the worker
    processes this process had before (not the cluster's), once every worker has started; a
    NoxError, with the cluster closed, when they have not within timeout seconds."""
    import dask
    from distributed import Client, LocalCluster

    started = time.monotonic()
    before = _worker_processes()
    cluster = client = None
    try:
        # A worker's death fails its task at once, so the campaign's retries count every death.
        with dask.config.set({"distributed.scheduler.allowed-failures": 0}):
            # death_timeout bounds each worker's start: without it a worker process that dies
            # while starting is started again, without end, and the cluster never comes up.
            cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                   dashboard_address=None, death_timeout=timeout)
            client = Client(cluster)
        if timeout is None:
            client.wait_for_workers(workers)
        else:
            # A timeout of 0 would mean no limit to wait_for_workers.
            client.wait_for_workers(workers,
                                    timeout=max(0.1, timeout - (time.monotonic() - started)))
    except Exception as error:
        _close_cluster(client, cluster, before)
        detail = f"{type(error).__name__}: {error}" if str(error) else type(error).__name__
        advice = _GUARD_ADVICE
        if isinstance(error, (TimeoutError, asyncio.TimeoutError)) and timeout is not None:
            happened = f"did not all start within {timeout:g} s"
            advice += " (or allow more time with worker_timeout)"
        else:
            happened = "could not be started"
        plural = "es" if workers > 1 else ""
        raise NoxError(f"the campaign's {workers} worker process{plural} {happened} ({detail}); "
                       f"they run the main module again, which code read from standard input "
                       f"or a script without a `__main__` guard cannot give them: "
                       f"{advice}") from error
    return cluster, client, before


def _close_cluster(client, cluster, others: set) -> None:
    """Closes a cluster made here and its client, then ends whatever worker process the
    cluster started that outlived the close (one caught between a failed start and its
    restart can); others are worker processes that are not the cluster's."""
    for closing in (client, cluster):
        if closing is None:
            continue
        try:
            closing.close(timeout=_CLOSE_TIMEOUT)
        except Exception:  # ended below
            pass
    for process in _worker_processes() - others:
        process.terminate()
        process.join(5)
        if process.is_alive():
            process.kill()
            process.join()


def _run_scans(client, tasks: list[ScanTask], settings: dict, topic: str, retries: int,
               events: _Events) -> list[ScanOutcome]:
    from distributed import as_completed

    outcomes: list[Optional[ScanOutcome]] = [None] * len(tasks)
    submitted = {}

    def submit(number: int, attempt: int):
        future = client.submit(convert_scan, tasks[number], settings, topic, pure=False,
                               key=f"noxformats-scan-{number}-{uuid.uuid4().hex}")
        submitted[future.key] = (number, attempt)
        return future

    running = as_completed([submit(number, 1) for number in range(len(tasks))])
    for future in running:
        number, attempt = submitted.pop(future.key)
        task = tasks[number]
        if future.status == "finished":
            outcome = future.result()
            outcome = ScanOutcome(outcome.task, outcome.output, outcome.points, outcome.failures,
                                  outcome.reason, attempt, outcome.worker)
            outcomes[number] = outcome
            events(ScanEvent(task.input, task.output, "done" if outcome.ok else "failed",
                             percent=100 if outcome.ok else 0, worker=outcome.worker,
                             attempt=attempt, reason=outcome.reason))
            continue
        error = future.exception()
        reason = f"{task.input}: the task ended without a result: {type(error).__name__}: {error}"
        if attempt <= retries:
            events(ScanEvent(task.input, task.output, "retrying", attempt=attempt + 1,
                             reason=reason))
            running.add(submit(number, attempt + 1))
            continue
        _remove_abandoned(task)
        outcomes[number] = ScanOutcome(task, None, None, (), reason, attempt)
        events(ScanEvent(task.input, task.output, "failed", attempt=attempt, reason=reason))
    return [outcome for outcome in outcomes if outcome is not None]


def _merge(client, outcomes: list[ScanOutcome], output: str, settings: dict,
           retries: int) -> tuple[Optional[ConversionResult], str]:
    files = [outcome.output for outcome in outcomes if outcome.output]
    if not files:
        return None, "no scan converted, so nothing was merged"
    merge_settings = {name: value for name, value in settings.items() if name in _MERGE_SETTINGS}
    last_error = None
    for _ in range(retries + 1):
        future = client.submit(merge_scans, files, output, merge_settings, pure=False,
                               key=f"noxformats-merge-{uuid.uuid4().hex}")
        try:
            result = future.result()
        except (OSError, ValueError, _noxformats.NoxError) as error:
            return None, f"{output}: {error}"
        except Exception as error:  # the worker died under the task: try again
            last_error = error
            continue
        if result.ok:
            return result, ""
        reasons = "; ".join(str(failure) for failure in result.failures) or result.result_name
        return result, f"{output} was not written: {reasons}"
    return None, f"{output}: the merge task ended without a result: {last_error}"
