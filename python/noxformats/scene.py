"""NOX files read through the viewer library: noxformats.open and noxformats.info."""

from __future__ import annotations

import json
import os
from dataclasses import dataclass
from typing import Iterator, Union

import numpy as np

from . import _noxformats

PathLike = Union[str, os.PathLike]


@dataclass(frozen=True)
class Cloud:
    """One cloud of a scene: its points (those that hold a position), placement and channels."""

    name: str
    point_count: int
    matrix: np.ndarray  # 4 x 4, row-major, translation in the last column
    channels: tuple[str, ...]  # among "intensity", "colour", "classification"
    scan: str = ""  # the scan file the cloud was converted from, "" when the file does not say


class Scene:
    """An open NOX file. Use it as a context manager, or close() it.

    read() and blocks() give numpy arrays of noxformats.POINT_DTYPE: x, y, z (float64, world
    coordinates: each cloud's matrix applied), intensity (uint16), red, green, blue and
    classification (uint8). Clouds follow one another in file order; null points are left out.
    """

    def __init__(self, path: PathLike):
        self._scene = _noxformats.Scene(os.fsdecode(os.fspath(path)))
        summary = self._scene.summary()
        self.path: str = self._scene.path
        self.name: str = summary["name"]
        self.point_count: int = summary["points"]
        self.channels: tuple[str, ...] = tuple(summary["channels"])
        clouds = []
        for cloud in summary["clouds"]:
            matrix = np.array(cloud["matrix"], dtype=np.float64).reshape(4, 4)
            matrix.flags.writeable = False
            clouds.append(
                Cloud(cloud["name"], cloud["points"], matrix, tuple(cloud["channels"]), cloud["scan"])
            )
        self.clouds: tuple[Cloud, ...] = tuple(clouds)

    def read(self) -> np.ndarray:
        """Every point at once. Raises NoxError when the file is damaged."""
        return self._scene.read()

    def blocks(self, n: int = 500_000) -> Iterator[np.ndarray]:
        """The points in arrays of n (the last may hold fewer), for files larger than memory.
        Raises NoxError, after the points that could be read, when the file is damaged."""
        if isinstance(n, bool) or not isinstance(n, (int, np.integer)) or n < 1:
            raise ValueError(f"blocks: n is a number of points from 1, got {n!r}")
        reader = self._scene.blocks()
        return self._iterate(reader, int(n))

    @staticmethod
    def _iterate(reader, n: int) -> Iterator[np.ndarray]:
        while True:
            block = reader.next(n)
            if block is None:
                return
            yield block

    def to_e57(self, path: PathLike) -> int:
        """Writes the scene as an E57 file, whole or not at all: one scan per cloud, placed by the
        cloud's matrix as its pose, the points in the scan's own frame with intensity (unsigned
        16-bit) and colour where the cloud has them; no grid rows and columns. Answers the points
        written. Raises NoxError when the file cannot be written or this one is damaged, and
        ValueError when a cloud's matrix is not a rotation and a translation."""
        return self._scene.to_e57(os.fsdecode(os.fspath(path)))

    def to_las(self, path: PathLike) -> int:
        """Writes the scene as a LAS 1.4 file (point format 7), whole or not at all: world
        coordinates on a grid finer than the file's tolerance, intensity (unsigned 16-bit), colour,
        class, and the cloud's index as point source ID; an extended record lists each cloud's
        name, scan and matrix. Answers the points written. Raises NoxError when the file cannot be
        written or this one is damaged."""
        return self._scene.to_las(os.fsdecode(os.fspath(path)))

    def close(self) -> None:
        """Releases the file; blocks() generators already started read on to their end."""
        self._scene.close()

    @property
    def closed(self) -> bool:
        return self._scene.closed

    def __enter__(self) -> "Scene":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"{self.point_count} points"
        return f"<noxformats.Scene {self.path!r}: {len(self.clouds)} clouds, {state}>"


def open(path: PathLike) -> Scene:  # noqa: A001 - the package's documented name
    """Opens a NOX file. FileNotFoundError when it is missing, NoxError when it is unreadable."""
    return Scene(path)


def info(path: PathLike) -> dict:
    """What `noxconvert info --json` prints: scene, counts, channels, bounds, groups, clouds
    (with matrices as 16 numbers) and meta tags. Raises NoxError for a damaged file."""
    return json.loads(_noxformats.info_json(os.fsdecode(os.fspath(path))))
