"""noxformats.distributed.convert_campaign on a LocalCluster of two worker processes: a damaged
scan, a worker killed under its task, the merge, and what stays in the output folder; a cluster
whose workers cannot start."""

import multiprocessing
import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import noxformats
from conftest import leftovers, make_project
from noxformats.distributed import ScanEvent, convert_campaign, plan_campaign

distributed = pytest.importorskip("distributed")


@pytest.fixture(scope="module")
def project(tmp_path_factory):
    """The sample project with its second scan's point database damaged."""
    folder = tmp_path_factory.mktemp("campaign")
    project, counts = make_project(folder / "project", 400000)
    damaged = next((folder / "project" / "project.rdb").rglob("240501_103000/P3D.rds"))
    with open(damaged, "r+b") as file:
        file.write(b"garbage" * 4)
    return project, counts, damaged


class Killer:
    """Kills the worker process converting the chosen scan at its first progress report."""

    def __init__(self, scan):
        self.scan = scan
        self.killed = None
        self.events = []
        self.lock = threading.Lock()

    def __call__(self, event: ScanEvent):
        with self.lock:
            self.events.append(event)
            if (self.killed is None and event.scan.endswith(self.scan)
                    and event.state == "converting" and event.phase == noxformats.Phase.READ):
                os.kill(event.pid, signal.SIGKILL)
                self.killed = event.pid


def test_campaign_survives_a_damaged_scan_and_a_killed_worker(project, tmp_path):
    project_file, counts, damaged = project
    out = tmp_path / "out"
    killer = Killer("240501_101500.rdb")
    # feedback_count=1 reports every point, which keeps each task busy long enough to be killed.
    result = convert_campaign([project_file], out, merge_into=tmp_path / "site.nox", retries=2,
                              progress=killer, feedback_count=1)
    assert killer.killed is not None

    by_stem = {os.path.basename(scan.task.input)[:-4]: scan for scan in result.scans}
    assert sorted(by_stem) == sorted(counts)
    failed = by_stem.pop("240501_103000")
    assert not failed.ok and failed.output is None
    assert str(damaged) in failed.reason and failed.failures[0].phase == noxformats.Phase.READ

    killed = by_stem["240501_101500"]
    assert killed.attempts == 2 and killed.ok
    assert any(e.state == "retrying" and e.scan == killed.task.input for e in killer.events)
    for stem, scan in by_stem.items():
        assert scan.ok, scan.reason
        assert scan.points == counts[stem]
        with noxformats.open(scan.output) as scene:
            assert len(scene.read()) == counts[stem]  # complete: every point reads back
    assert {e.state for e in killer.events} >= {"converting", "retrying", "done", "failed"}

    # Only the finished scan files remain: no half-done file of the killed or the failed task.
    assert sorted(os.listdir(out)) == sorted(f"{stem}.nox" for stem in by_stem)

    # The merge holds every scan that converted, each in world coordinates.
    assert result.merged is not None and result.merged.ok, result.merge_reason
    with noxformats.open(tmp_path / "site.nox") as merged:
        assert len(merged.clouds) == 3
        assert merged.point_count == sum(counts[stem] for stem in by_stem)
        merged_points = merged.read()
    with noxformats.open(by_stem["240501_104500"].output) as scene:
        single = scene.read()
    lo = np.array([single[axis].min() for axis in "xyz"])
    hi = np.array([single[axis].max() for axis in "xyz"])
    inside = np.all([(merged_points[axis] >= lo[i] - 0.002) & (merged_points[axis] <= hi[i] + 0.002)
                     for i, axis in enumerate("xyz")], axis=0)
    assert inside.sum() >= len(single)
    assert leftovers(tmp_path) == []


def test_campaign_on_a_scheduler_of_its_own_client(tmp_path):
    project_file, counts = make_project(tmp_path / "project", 20000)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        result = convert_campaign(project_file, tmp_path / "out", client=client,
                                  tolerance=0.002)
        assert client.status == "running"  # a client given is left open
    assert [scan.ok for scan in result.scans] == [True] * 4
    assert sorted(scan.points for scan in result.scans) == sorted(counts.values())
    assert result.merged is None


def test_campaign_refuses_bad_arguments_before_any_task(tmp_path):
    with pytest.raises(ValueError, match="tolerence"):
        convert_campaign(["x.rsp"], tmp_path / "out", tolerence=1)
    with pytest.raises(ValueError, match="mode"):
        convert_campaign(["x.rsp"], tmp_path / "out", mode="scan")
    with pytest.raises(ValueError, match="retries"):
        convert_campaign(["x.rsp"], tmp_path / "out", retries=-1)
    for timeout in (0, "60", True):
        with pytest.raises(ValueError, match="worker_timeout"):
            convert_campaign(["x.rsp"], tmp_path / "out", worker_timeout=timeout)
    with pytest.raises(FileNotFoundError):
        convert_campaign([tmp_path / "missing.rsp"], tmp_path / "out")


def test_plan_names_each_scan_once(tmp_path):
    project_file, counts = make_project(tmp_path / "project", 20000)
    scan_file = next((tmp_path / "project" / "SCANS").rglob("240501_101500.rxp"))
    tasks = plan_campaign([project_file, scan_file], tmp_path / "out")
    assert len(tasks) == 5
    assert len({task.output for task in tasks}) == 5
    assert [task.index for task in tasks] == [0, 1, 2, 3, None]
    assert tasks[-1].input == str(scan_file) and tasks[-1].project is None


def test_campaign_read_from_standard_input_says_at_once_it_cannot_start_workers(sample, tmp_path):
    # Worker processes started by spawn run the main module again, and "<stdin>" is no file:
    # without the check they die and are restarted for ever.
    script = textwrap.dedent(f"""
        from noxformats.distributed import convert_campaign
        convert_campaign({str(sample[0])!r}, {str(tmp_path / "out")!r}, worker_timeout=15)
        print("returned")
    """)
    started = time.monotonic()
    done = subprocess.run([sys.executable, "-"], input=script, capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 1, done.stderr
    assert time.monotonic() - started < 15  # refused before any worker, not after the limit
    assert "NoxError: the campaign cannot start its worker processes" in done.stderr
    assert "'<stdin>'" in done.stderr and '`if __name__ == "__main__":`' in done.stderr
    assert "returned" not in done.stdout and "Restarting worker" not in done.stderr
    assert not (tmp_path / "out").exists()


def test_campaign_whose_workers_do_not_start_in_time_closes_its_cluster(sample, tmp_path):
    # No spawned interpreter imports distributed in 50 ms, so the limit passes before any
    # worker has started.
    started = time.monotonic()
    with pytest.raises(noxformats.NoxError, match=r"did not all start within 0\.05 s.*"
                                                  r"__main__.*worker_timeout"):
        convert_campaign(sample[0], tmp_path / "out", worker_timeout=0.05)
    assert time.monotonic() - started < 30
    assert [p for p in multiprocessing.active_children() if p.name.startswith("Dask")] == []
    assert leftovers(tmp_path / "out") == []
