"""noxformats.convert: the result, progress and cancel, settings and errors."""

import threading

import numpy as np
import pytest

import noxformats
from conftest import leftovers, make_project, noxconvert_info, run_tool


class Boom(Exception):
    pass


def read_ply(path):
    """The vertices of a binary little-endian PLY file as a numpy record array."""
    types = {"double": "<f8", "uchar": "u1", "ushort": "<u2"}
    data = path.read_bytes()
    end = data.index(b"end_header\n") + len(b"end_header\n")
    fields = [(line.split()[2], types[line.split()[1]])
              for line in data[:end].decode().splitlines() if line.startswith("property")]
    return np.frombuffer(data[end:], dtype=np.dtype(fields))


@pytest.fixture(scope="module")
def large(tmp_path_factory):
    """A project big enough that a conversion reports progress many times."""
    return make_project(tmp_path_factory.mktemp("large") / "project", 400000)


class TestRoundTrip:
    def test_scene_matches_what_noxconvert_info_says(self, sample, sample_nox):
        facts = noxconvert_info(sample_nox)
        with noxformats.open(sample_nox) as scene:
            assert scene.point_count == facts["points"] == sum(sample[1].values())
            assert list(scene.channels) == facts["channels"]
            assert len(scene.clouds) == facts["cloudCount"] == 4
            for cloud, listed in zip(scene.clouds, facts["clouds"]):
                assert cloud.point_count == listed["points"]
                assert list(cloud.channels) == listed["channels"]
                np.testing.assert_array_equal(cloud.matrix.ravel(), listed["matrix"])
            # The matrices are the project's registrations, scan by scan.
            for cloud, scan in zip(scene.clouds, noxformats.project_scans(sample[0])):
                np.testing.assert_array_equal(cloud.matrix, scan.matrix)

    def test_info_is_noxconvert_info(self, sample_nox):
        assert noxformats.info(sample_nox) == noxconvert_info(sample_nox)

    def test_points_are_what_noxconvert_exports(self, sample_nox, tmp_path):
        run_tool("noxconvert", "export", sample_nox, tmp_path / "points.ply")
        exported = read_ply(tmp_path / "points.ply")
        with noxformats.open(sample_nox) as scene:
            points = scene.read()
        assert points.dtype == noxformats.POINT_DTYPE
        assert len(points) == len(exported)
        for field in exported.dtype.names:
            np.testing.assert_array_equal(points[field], exported[field], err_msg=field)
        # The bounds info reports are those of the points read.
        bounds = noxformats.info(sample_nox)["bounds"]
        xyz = np.column_stack([points["x"], points["y"], points["z"]])
        np.testing.assert_array_equal(xyz.min(axis=0), bounds["min"])
        np.testing.assert_array_equal(xyz.max(axis=0), bounds["max"])

    def test_chosen_scans_keep_their_matrices(self, sample, tmp_path):
        scans = noxformats.project_scans(sample[0])
        result = noxformats.convert(sample[0], tmp_path / "two.nox", scans=[1, 3])
        assert result.ok, result
        assert [s.file_index for s in result.skipped] == [0, 2]
        with noxformats.open(tmp_path / "two.nox") as scene:
            assert [c.point_count for c in scene.clouds] == [
                sample[1]["240501_103000"], sample[1]["240501_110000"]]
            np.testing.assert_array_equal(scene.clouds[0].matrix, scans[1].matrix)
            np.testing.assert_array_equal(scene.clouds[1].matrix, scans[3].matrix)

    def test_nox_files_merge_into_one(self, sample, sample_nox, tmp_path):
        per_scan = noxformats.convert(sample[0], tmp_path / "scans", mode="scan")
        merged = noxformats.convert(per_scan.exported, tmp_path / "merged.nox")
        assert merged.ok, merged.failures
        with noxformats.open(tmp_path / "merged.nox") as scene, \
                noxformats.open(sample_nox) as whole:
            assert scene.point_count == whole.point_count
            # World coordinates, one cloud per file, no matrix left to apply.
            assert all(np.array_equal(c.matrix, np.eye(4)) for c in scene.clouds)
            mine, theirs = scene.read(), whole.read()
        for axis in "xyz":
            np.testing.assert_allclose(np.sort(mine[axis]), np.sort(theirs[axis]), atol=2e-3)

    def test_scan_mode_writes_a_file_per_scan(self, sample, tmp_path):
        result = noxformats.convert(sample[0], tmp_path / "scans", mode="scan", colour=False)
        assert result.ok and len(result.exported) == 4
        assert sorted(o.points for o in result.outputs) == sorted(sample[1].values())
        with noxformats.open(result.exported[0]) as scene:
            assert "colour" not in scene.channels


class TestProgressAndCancel:
    def test_progress_reports_every_phase_in_order(self, large, tmp_path):
        reports = []
        result = noxformats.convert(large[0], tmp_path / "site.nox", feedback_count=5000,
                                    progress=lambda *report: reports.append(report))
        assert result.ok
        assert len(reports) > 20
        phases = [report[4] for report in reports]
        assert set(phases) == {noxformats.Phase.READ, noxformats.Phase.WRITE}
        assert phases.index(noxformats.Phase.WRITE) > phases.index(noxformats.Phase.READ)
        overall = [report[1] for report in reports]
        assert overall == sorted(overall) and overall[-1] == 100
        assert all(0 <= report[2] <= 100 for report in reports)
        assert {report[3] for report in reports if report[4] == noxformats.Phase.READ} \
            <= set(range(4))
        assert {report[0] for report in reports if report[4] == noxformats.Phase.READ} \
            <= set(result.inputs)

    def test_cancel_from_another_thread_stops_the_conversion(self, large, tmp_path):
        cancel = threading.Event()
        started = threading.Event()
        output = tmp_path / "site.nox"

        def canceller():
            started.wait(30)
            cancel.set()

        thread = threading.Thread(target=canceller)
        thread.start()
        reports = []

        def progress(*report):
            reports.append(report)
            started.set()
            # Keep the conversion busy until the other thread has asked it to stop.
            cancel.wait(5)

        result = noxformats.convert(large[0], output, feedback_count=2000, progress=progress,
                                    cancel=cancel)
        thread.join()
        assert result.cancelled and result.result_name == "ResultCancelled"
        assert result.exported == []
        assert not output.exists() and leftovers(tmp_path) == []
        assert reports[-1][1] < 100

    def test_cancel_without_a_progress_callable(self, large, tmp_path):
        cancel = threading.Event()
        timer = threading.Timer(0.02, cancel.set)
        timer.start()
        result = noxformats.convert(large[0], tmp_path / "site.nox", feedback_count=1,
                                    cancel=cancel)
        timer.join()
        assert result.cancelled
        assert not (tmp_path / "site.nox").exists() and leftovers(tmp_path) == []

    def test_cancel_set_before_the_start_converts_nothing(self, sample, tmp_path):
        cancel = threading.Event()
        cancel.set()
        result = noxformats.convert(sample[0], tmp_path / "site.nox", cancel=cancel)
        assert result.cancelled and result.exported == []
        assert list(tmp_path.iterdir()) == []

    def test_exception_in_progress_cancels_and_is_raised(self, large, tmp_path):
        calls = []

        def progress(*report):
            calls.append(report)
            raise Boom("stop here")

        with pytest.raises(Boom, match="stop here"):
            noxformats.convert(large[0], tmp_path / "site.nox", feedback_count=2000,
                               progress=progress)
        assert len(calls) == 1  # not called again once it raised
        assert not (tmp_path / "site.nox").exists() and leftovers(tmp_path) == []
        # The process converts again afterwards.
        assert noxformats.convert(large[0], tmp_path / "again.nox").ok


    def test_conversion_inside_progress_is_refused_not_deadlocked(self, sample, tmp_path):
        def progress(*report):
            noxformats.convert(sample[0], tmp_path / "inner.nox")

        with pytest.raises(noxformats.NoxError, match="inside another"):
            noxformats.convert(sample[0], tmp_path / "outer.nox", progress=progress)
        assert not (tmp_path / "inner.nox").exists()

    def test_conversions_from_two_threads_take_turns(self, sample, tmp_path):
        results = {}

        def run(name):
            results[name] = noxformats.convert(sample[0], tmp_path / f"{name}.nox")

        threads = [threading.Thread(target=run, args=(name,)) for name in ("a", "b")]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert all(result.ok for result in results.values())
        assert noxformats.info(tmp_path / "a.nox")["points"] == \
            noxformats.info(tmp_path / "b.nox")["points"] == sum(sample[1].values())


class TestErrors:
    def test_missing_input_is_file_not_found(self, tmp_path):
        with pytest.raises(FileNotFoundError) as raised:
            noxformats.convert(tmp_path / "nowhere.rxp", tmp_path / "out.nox")
        assert raised.value.filename == str(tmp_path / "nowhere.rxp")
        assert not (tmp_path / "out.nox").exists()

    @pytest.mark.parametrize("settings, words", [
        ({"tolerence": 0.01}, "unknown setting 'tolerence'"),
        ({"tolerance": -1}, "tolerance"),
        ({"tolerance": "fine"}, "tolerance"),
        ({"intensity": 1}, "intensity: expected True or False"),
        ({"mode": "scans"}, "mode: expected batch or file or scan"),
        ({"feedback_count": 0}, "feedback_count"),
        ({"units_per_metre": float("nan")}, "units_per_metre"),
        ({"project_source": "database"}, "project_source"),
        ({"colour_bits": 12}, "colour_bits"),
        ({"units_per_metre": 1, "units_per_meter": 2}, "given twice"),
    ])
    def test_bad_setting_is_value_error_before_anything_runs(self, sample, tmp_path, settings,
                                                             words):
        output = tmp_path / "out" / "site.nox"
        with pytest.raises(ValueError, match=words):
            noxformats.convert(sample[0], output, **settings)
        assert not (tmp_path / "out").exists()

    def test_every_setting_is_taken(self, sample, tmp_path):
        values = {"mode": "batch", "tolerance": 0.002, "auto_tolerance": False,
                  "units_per_metre": 1.0, "spatial_filter": None, "intensity": True,
                  "colour": True, "classification": True, "combine": False, "normals": False,
                  "normalise_intensities": False, "recursive": False, "project_source": "rdb",
                  "intensity_source": "reflectance", "reflectance_scale": 500.0,
                  "min_scan_size": 16, "feedback_count": 50000, "include_normals": False,
                  "colour_bits": 8, "creator": "pytest"}
        assert set(values) == set(noxformats.SETTINGS)
        result = noxformats.convert(sample[0], tmp_path / "site.nox", **values)
        assert result.ok
        tags = {tag["name"]: tag["value"] for tag in noxformats.info(tmp_path / "site.nox")["tags"]}
        assert tags["Audit.CreatorApp"] == "pytest"

    def test_bad_scan_choice_is_value_error(self, sample, tmp_path):
        with pytest.raises(ValueError, match="out of range"):
            noxformats.convert(sample[0], tmp_path / "x.nox", scans=[4])

    def test_damaged_input_is_a_failure_with_its_reason(self, tmp_path):
        project, _ = make_project(tmp_path / "project", 20000)
        damaged = next((tmp_path / "project" / "project.rdb").rglob("P3D.rds"))
        with open(damaged, "r+b") as file:
            file.write(b"garbage" * 4)
        result = noxformats.convert(project, tmp_path / "site.nox")
        assert not result.ok and result.result == 1
        assert len(result.failures) == 1 and len(result.exported) == 1
        failure = result.failures[0]
        assert failure.phase == noxformats.Phase.READ and failure.result_name == "ResultFailed"
        assert str(damaged) in failure.reason

    def test_unsupported_input_is_value_error(self, tmp_path):
        text = tmp_path / "points.txt"
        text.write_text("1 2 3\n")
        with pytest.raises(ValueError, match="unsupported input"):
            noxformats.convert(text, tmp_path / "out.nox")

    def test_pattern_without_match_is_file_not_found(self, tmp_path):
        with pytest.raises(FileNotFoundError, match="no input matches") as raised:
            noxformats.convert(str(tmp_path / "*.rxp"), tmp_path / "out.nox")
        assert raised.value.filename == str(tmp_path / "*.rxp")

    def test_missing_nox_file_is_file_not_found(self, tmp_path):
        for call in (noxformats.open, noxformats.info):
            with pytest.raises(FileNotFoundError):
                call(tmp_path / "nowhere.nox")

    @pytest.mark.parametrize("damage", ["truncated", "overwritten", "not nox"])
    def test_damaged_nox_file_is_nox_error(self, sample_nox, tmp_path, damage):
        data = bytearray(sample_nox.read_bytes())
        if damage == "truncated":
            data = data[: len(data) // 2]
        elif damage == "overwritten":
            data[len(data) // 2: len(data) // 2 + 64] = b"\xff" * 64
        else:
            data = b"ply\nformat ascii 1.0\n" * 10
        bad = tmp_path / "bad.nox"
        bad.write_bytes(bytes(data))
        for call in (noxformats.open, noxformats.info):
            with pytest.raises(noxformats.NoxError, match="bad.nox"):
                call(bad)
        assert issubclass(noxformats.NoxError, RuntimeError)
