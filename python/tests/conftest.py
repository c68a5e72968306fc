"""Shared fixtures: the built tools, a sample project written by make-sample-project, and the
project converted once."""

import json
import os
import re
import subprocess
from pathlib import Path

import pytest

import noxformats

BIN = Path(os.environ.get("NOXFORMATS_BIN",
                          Path(__file__).resolve().parents[2] / "build" / "bin"))


def run_tool(name, *args, check=True):
    """Runs a built tool; answers its completed process (text output)."""
    done = subprocess.run([str(BIN / name), *map(str, args)], capture_output=True, text=True)
    if check and done.returncode != 0:
        raise AssertionError(f"{name} {args} exited {done.returncode}: {done.stderr}")
    return done


def make_project(folder, points):
    """A sample project; answers (project file, {scan file stem: points})."""
    done = run_tool("make-sample-project", folder, "--points", points)
    counts = {stem: int(count) for stem, count in
              re.findall(r"^\s+ScanPos\d+\s+(\S+)\.\w+\s+(\d+) points", done.stdout, re.M)}
    assert len(counts) == 4, done.stdout
    return Path(folder) / "site.rsp", counts


@pytest.fixture(scope="session")
def sample(tmp_path_factory):
    return make_project(tmp_path_factory.mktemp("sample") / "project", 40000)


@pytest.fixture(scope="session")
def sample_nox(sample, tmp_path_factory):
    """The sample project in one NOX file, as noxformats converts it."""
    output = tmp_path_factory.mktemp("converted") / "site.nox"
    result = noxformats.convert(sample[0], output)
    assert result.ok, result
    return output


def noxconvert_info(path):
    return json.loads(run_tool("noxconvert", "info", "--json", path).stdout)


def leftovers(folder):
    """Hidden files (the writer's temporaries, half-done outputs) in a folder."""
    return sorted(name for name in os.listdir(folder) if name.startswith("."))
