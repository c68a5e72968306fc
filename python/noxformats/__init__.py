"""Laser scans into NOX point-cloud files, and NOX files into numpy.

    import noxformats

    result = noxformats.convert("site/site.rsp", "site.nox")
    with noxformats.open("site.nox") as scene:
        points = scene.read()          # numpy records: x y z intensity red green blue classification

docs/python.md describes the package; noxformats.distributed spreads scans over Dask workers.
"""

from ._noxformats import POINT_DTYPE, NoxError
from .conversion import (
    SETTINGS,
    ConversionResult,
    Failure,
    Output,
    Phase,
    ProjectScan,
    Skipped,
    convert,
    project_scans,
)
from .scene import Cloud, Scene, info, open

__all__ = [
    "POINT_DTYPE",
    "SETTINGS",
    "Cloud",
    "ConversionResult",
    "Failure",
    "NoxError",
    "Output",
    "Phase",
    "ProjectScan",
    "Scene",
    "Skipped",
    "convert",
    "info",
    "open",
    "project_scans",
]
