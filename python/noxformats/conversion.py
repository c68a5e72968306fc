"""Conversions: noxformats.convert, its result, and the scans of a project."""

from __future__ import annotations

import enum
import os
import threading
from dataclasses import dataclass
from typing import Callable, Iterable, Optional, Sequence, Union

import numpy as np

from . import _noxformats

PathLike = Union[str, os.PathLike]

#: Every conversion setting's name (spelling variants: see _ALIASES).
SETTINGS = tuple(_noxformats.setting_names())

# Other spellings of settings, as noxconvert also takes them.
_ALIASES = {
    "color": "colour",
    "units_per_meter": "units_per_metre",
    "normalize_intensities": "normalise_intensities",
}

# How often a cancel is looked for while no progress report comes (seconds).
_CANCEL_POLL = 0.05


class Phase(enum.IntEnum):
    """Stage of a conversion, as the library numbers it."""

    SETUP = 1
    READ = 2
    WRITE = 3

    def __str__(self) -> str:
        return {1: "setting up", 2: "reading", 3: "writing"}[int(self)]


def _phase(value: int) -> Union[Phase, int]:
    try:
        return Phase(value)
    except ValueError:
        return value


@dataclass(frozen=True)
class Failure:
    """One failure the library reported, with the reason a person can act on."""

    file_index: int  # the import file's index, -1 before the first file
    file: str
    result: int  # the library's result code, e.g. 11 (ResultCannotOpenFile)
    phase: Union[Phase, int]
    reason: str

    @property
    def result_name(self) -> str:
        return _noxformats.result_name(self.result)

    def __str__(self) -> str:
        text = (f"{self.file or '(no file)'}: {_noxformats.describe_result(self.result)}, "
                f"while {self.phase}")
        return f"{text}: {self.reason}" if self.reason else text


@dataclass(frozen=True)
class Output:
    """A file the conversion wrote, with its counts from the file's index (None when unread)."""

    file: str
    clouds: Optional[int]
    points: Optional[int]


@dataclass(frozen=True)
class Skipped:
    """An input the library left out on purpose (excluded, or a grid scan below the minimum)."""

    file_index: int
    file: str
    cause: int
    reason: str


@dataclass(frozen=True)
class ConversionResult:
    """What a conversion did: the files written, every failure and every input left out."""

    result: int  # what the conversion as a whole answered (1 is success)
    cancelled: bool
    mode: str
    output: str
    inputs: tuple[str, ...]  # the batch's import files as converted
    outputs: tuple[Output, ...]
    failures: tuple[Failure, ...]
    skipped: tuple[Skipped, ...]
    removed_empty_output: Optional[str]  # a batch output that received no cloud, removed
    seconds: float

    @property
    def exported(self) -> list[str]:
        """The files written and kept."""
        return [output.file for output in self.outputs]

    @property
    def result_name(self) -> str:
        return _noxformats.result_name(self.result)

    @property
    def ok(self) -> bool:
        """Everything converted: success, no failure, not cancelled, something written."""
        return (self.result == 1 and not self.cancelled and not self.failures
                and self.removed_empty_output is None and bool(self.outputs))

    @classmethod
    def _from_raw(cls, raw: dict) -> "ConversionResult":
        return cls(
            result=raw["result"],
            cancelled=raw["cancelled"],
            mode=raw["mode"],
            output=raw["output"],
            inputs=tuple(raw["inputs"]),
            outputs=tuple(Output(**o) for o in raw["outputs"]),
            failures=tuple(Failure(f["file_index"], f["file"], f["result"], _phase(f["phase"]),
                                   f["reason"]) for f in raw["failures"]),
            skipped=tuple(Skipped(**s) for s in raw["skipped"]),
            removed_empty_output=raw["removed_empty_output"],
            seconds=raw["seconds"],
        )


def _canonical_settings(settings: dict) -> dict:
    canonical = {}
    for name, value in settings.items():
        key = _ALIASES.get(name, name)
        if key in canonical:
            raise ValueError(f"setting {key} is given twice (as {key} and as {name})")
        canonical[key] = value
    return canonical


def _paths(inputs: Union[PathLike, Iterable[PathLike]]) -> list[str]:
    if isinstance(inputs, (str, bytes, os.PathLike)):
        inputs = [inputs]
    return [os.fsdecode(os.fspath(item)) for item in inputs]


def convert(
    inputs: Union[PathLike, Iterable[PathLike]],
    output: PathLike,
    mode: str = "batch",
    tolerance: float = 0.001,
    intensity: bool = True,
    colour: bool = True,
    progress: Optional[Callable[[str, int, int, int, Union[Phase, int]], object]] = None,
    cancel: Optional[threading.Event] = None,
    *,
    scans: Optional[Sequence[int]] = None,
    **settings,
) -> ConversionResult:
    """Converts scan files, projects or search patterns into NOX files.

    mode "batch" writes one file (output ends in .nox), "file" one per input file and "scan" one
    per scan (output is a folder or a NAME.nox pattern). Every other batch setting is given by
    name (noxformats.SETTINGS); an unknown name or a bad value raises ValueError before anything
    is converted. progress(file, overall_percent, file_percent, file_index, phase) is called on
    the converting thread; an exception it raises cancels the conversion and is raised here.
    Setting the threading.Event cancel stops the conversion at its next check. scans picks
    scans (by their index in project_scans) of the one project given as input.

    Raises FileNotFoundError for a missing input, ValueError for a bad argument and NoxError
    when the conversion cannot start; failures of single inputs are in the result.
    """
    if progress is not None and not callable(progress):
        raise ValueError(f"progress: expected a callable, got {progress!r}")
    if cancel is not None and not callable(getattr(cancel, "is_set", None)):
        raise ValueError(f"cancel: expected a threading.Event, got {cancel!r}")
    settings = _canonical_settings(settings)
    for name, value in (("mode", mode), ("tolerance", tolerance), ("intensity", intensity),
                        ("colour", colour)):
        settings.setdefault(name, value)
    if scans is not None:
        scans = [int(index) for index in scans]
    conversion = _noxformats.Conversion(_paths(inputs), os.fsdecode(os.fspath(output)), settings,
                                        scans)

    def report(name: str, overall: int, file_percent: int, index: int, phase: int) -> None:
        if cancel is not None and cancel.is_set():
            conversion.cancel()
        if progress is not None:
            progress(name, overall, file_percent, index, _phase(phase))

    finished = threading.Event()
    watcher = None
    if cancel is not None:
        if cancel.is_set():
            conversion.cancel()

        # Progress reports come every feedback_count points; the watcher also catches a cancel
        # between them (a slow reader, the final build of the file).
        def watch() -> None:
            while not finished.is_set():
                if cancel.wait(_CANCEL_POLL):
                    conversion.cancel()
                    return

        watcher = threading.Thread(target=watch, name="noxformats-cancel", daemon=True)
        watcher.start()
    try:
        raw = conversion.run(report)
    finally:
        finished.set()
        if watcher is not None:
            watcher.join()
    return ConversionResult._from_raw(raw)


@dataclass(frozen=True)
class ProjectScan:
    """One scan of a project, as a conversion of the project takes it."""

    index: int
    file: str  # with the data source's extension (.rdb by default)
    matrix: np.ndarray  # 4 x 4 registration, row-major, translation in the last column


def project_scans(project: PathLike, project_source: str = "rdb") -> list[ProjectScan]:
    """The scans of an RSP project, in conversion order, each with its registration matrix."""
    listed = _noxformats.project_scans(os.fsdecode(os.fspath(project)), project_source)
    scans = []
    for index, (file, matrix) in enumerate(listed):
        array = np.array(matrix, dtype=np.float64).reshape(4, 4)
        array.flags.writeable = False
        scans.append(ProjectScan(index, file, array))
    return scans
