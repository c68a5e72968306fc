"""noxformats.open: reading all points and reading them block by block."""

import re
import struct
import threading

import numpy as np
import pytest

import noxformats


@pytest.fixture(scope="module")
def points(sample_nox):
    with noxformats.open(sample_nox) as scene:
        return scene.read()


class TestBlocks:
    @pytest.mark.parametrize("n", [7777, 40000, 10**9])
    def test_blocks_cover_exactly_the_points_of_read(self, sample_nox, points, n):
        with noxformats.open(sample_nox) as scene:
            blocks = list(scene.blocks(n))
        assert all(len(block) == n for block in blocks[:-1])
        assert all(block.dtype == noxformats.POINT_DTYPE for block in blocks)
        assert 0 < len(blocks[-1]) <= n
        assert len(blocks) == -(-len(points) // n)
        np.testing.assert_array_equal(np.concatenate(blocks), points)

    def test_block_of_one_point_and_a_second_pass(self, sample_nox, points):
        with noxformats.open(sample_nox) as scene:
            first = scene.blocks(1)
            head = [next(first) for _ in range(3)]
            again = np.concatenate(list(scene.blocks(100000)))
        np.testing.assert_array_equal(np.concatenate(head), points[:3])
        np.testing.assert_array_equal(again, points)

    def test_blocks_started_before_close_read_on(self, sample_nox, points):
        scene = noxformats.open(sample_nox)
        blocks = scene.blocks(10000)
        first = next(blocks)
        scene.close()
        rest = list(blocks)
        np.testing.assert_array_equal(np.concatenate([first, *rest]), points)
        with pytest.raises(noxformats.NoxError, match="closed"):
            scene.read()
        with pytest.raises(noxformats.NoxError, match="closed"):
            scene.blocks(10)

    def test_threads_share_one_block_reader(self, sample_nox, points):
        with noxformats.open(sample_nox) as scene:
            blocks = scene.blocks(3000)
            got, lock = [], threading.Lock()

            def drain():
                while True:
                    with lock:
                        block = next(blocks, None)
                    if block is None:
                        return
                    got.append(block)

            threads = [threading.Thread(target=drain) for _ in range(3)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
        assert sum(len(block) for block in got) == len(points)

    @pytest.mark.parametrize("n", [0, -5, 2.5, True, "10"])
    def test_bad_block_size_is_value_error(self, sample_nox, n):
        with noxformats.open(sample_nox) as scene:
            with pytest.raises(ValueError, match="blocks"):
                scene.blocks(n)


class TestRead:
    def test_points_lie_in_their_clouds_in_file_order(self, sample_nox, points):
        with noxformats.open(sample_nox) as scene:
            counts = [cloud.point_count for cloud in scene.clouds]
            assert sum(counts) == len(points) == scene.point_count
            assert scene.name and not scene.closed
        assert scene.closed
        # Each cloud's points lie around its scanner, at the translation of its matrix.
        start = 0
        for cloud, count in zip(scene.clouds, counts):
            part = points[start:start + count]
            centre = np.array([part["x"].mean(), part["y"].mean()])
            assert np.linalg.norm(centre - cloud.matrix[:2, 3]) < 50
            start += count

    def test_colour_and_intensity_channels_hold_values(self, points):
        assert np.ptp(points["intensity"]) > 0
        assert np.ptp(points["red"].astype(int) + points["green"] + points["blue"]) > 0

    def test_matrices_are_read_only(self, sample_nox):
        with noxformats.open(sample_nox) as scene:
            with pytest.raises(ValueError):
                scene.clouds[0].matrix[0, 0] = 2.0


class TestE57:
    def test_to_e57_writes_every_point_one_scan_a_cloud(self, sample_nox, tmp_path):
        target = tmp_path / "site.e57"
        with noxformats.open(sample_nox) as scene:
            written = scene.to_e57(target)
            clouds = scene.clouds
        assert written == sum(cloud.point_count for cloud in clouds)
        data = target.read_bytes()
        magic, major, minor, length, xml_offset, xml_length, page = struct.unpack_from(
            "<8sIIQQQQ", data)
        assert (magic, major, minor, page) == (b"ASTM-E57", 1, 0, 1024)
        assert length == len(data) and length % 1024 == 0
        # The XML's logical bytes: each page without its 4-byte checksum.
        logical = b"".join(data[at:at + 1020] for at in range(0, len(data), 1024))
        start = xml_offset // 1024 * 1020 + xml_offset % 1024
        xml = logical[start:start + xml_length].decode()
        counts = [int(n) for n in re.findall(r'recordCount="(\d+)"', xml)]
        assert counts == [cloud.point_count for cloud in clouds]

        with noxformats.open(sample_nox) as scene:
            with pytest.raises(noxformats.NoxError, match="cannot write"):
                scene.to_e57(tmp_path / "missing" / "site.e57")


class TestLas:
    def test_to_las_holds_the_points_read_with_their_clouds(self, sample_nox, tmp_path):
        target = tmp_path / "site.las"
        with noxformats.open(sample_nox) as scene:
            written = scene.to_las(target)
            points = scene.read()
            clouds = scene.clouds
        data = target.read_bytes()
        assert data[:4] == b"LASF" and data[104] == 7
        offset, = struct.unpack_from("<I", data, 96)
        scale = np.array(struct.unpack_from("<3d", data, 131))
        origin = np.array(struct.unpack_from("<3d", data, 155))
        count, = struct.unpack_from("<Q", data, 247)
        assert written == count == len(points)
        records = np.frombuffer(data, dtype=np.dtype([
            ("xyz", "<i4", 3), ("intensity", "<u2"), ("returns", "u1"), ("flags", "u1"),
            ("classification", "u1"), ("user", "u1"), ("angle", "<i2"), ("source", "<u2"),
            ("time", "<f8"), ("rgb", "<u2", 3)]), count=count, offset=offset)
        xyz = records["xyz"] * scale + origin
        world = np.column_stack([points["x"], points["y"], points["z"]])
        assert np.abs(xyz - world).max() <= scale.max() / 2 + 1e-9
        np.testing.assert_array_equal(records["intensity"], points["intensity"])
        np.testing.assert_array_equal(records["rgb"][:, 0], points["red"].astype(np.uint16) * 257)
        sources = np.repeat(np.arange(len(clouds)), [c.point_count for c in clouds])
        np.testing.assert_array_equal(records["source"], sources)
