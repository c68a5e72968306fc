"""The library's C interface driven from Python through ctypes, as any language that can call C
would: a conversion with a progress callback, and a cancel from another thread."""

import ctypes
import os
import threading
from pathlib import Path

import pytest

from conftest import BIN

SUCCESS, CANCELLED, INVALID_BATCH = 1, 12, 5
BATCH_MODE, PROJECT_DATA_SOURCE, FEEDBACK_COUNT = 1, 17, 16

PROGRESS = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p,
                            ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32, ctypes.c_int32,
                            ctypes.c_int32)
ERROR = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p,
                         ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32, ctypes.c_int32,
                         ctypes.c_char_p)


class Feedback(ctypes.Structure):
    _fields_ = [("user", ctypes.c_void_p), ("progress", PROGRESS), ("error", ERROR)]


@pytest.fixture(scope="module")
def ksf():
    library = ctypes.CDLL(str(Path(BIN).parent / "lib" / "libNOXFormats_32_Ext.so"))
    library.ksf_last_error.restype = ctypes.c_char_p
    library.ksf_version.restype = ctypes.c_char_p
    library.ksf_batch_create.restype = ctypes.c_void_p
    library.ksf_batch_create.argtypes = [ctypes.c_char_p]
    for name in ("ksf_batch_destroy", "ksf_convert", "ksf_cancel", "ksf_batch_exported_count"):
        getattr(library, name).argtypes = [ctypes.c_void_p]
    library.ksf_batch_set.argtypes = [ctypes.c_void_p, ctypes.c_int32, ctypes.c_double]
    for name in ("ksf_batch_add_import_file", "ksf_batch_set_output"):
        getattr(library, name).argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    library.ksf_batch_set_feedback.argtypes = [ctypes.c_void_p, ctypes.POINTER(Feedback)]
    library.ksf_batch_exported_name.argtypes = [ctypes.c_void_p, ctypes.c_int32,
                                                ctypes.c_char_p, ctypes.c_int32]
    assert library.ksf_initialize() == SUCCESS, library.ksf_last_error()
    return library


def project_batch(ksf, project, output):
    batch = ksf.ksf_batch_create(b"ctypes test")
    assert batch
    assert ksf.ksf_batch_set(batch, BATCH_MODE, 3) == SUCCESS
    assert ksf.ksf_batch_set(batch, PROJECT_DATA_SOURCE, 1) == SUCCESS
    assert ksf.ksf_batch_add_import_file(batch, os.fsencode(project)) == SUCCESS
    assert ksf.ksf_batch_set_output(batch, os.fsencode(output)) == SUCCESS
    return batch


def exported(ksf, batch):
    names = []
    for index in range(ksf.ksf_batch_exported_count(batch)):
        needed = ksf.ksf_batch_exported_name(batch, index, None, 0)
        buffer = ctypes.create_string_buffer(needed)
        assert ksf.ksf_batch_exported_name(batch, index, buffer, needed) == needed
        names.append(buffer.value.decode())
    return names


def test_conversion_reports_progress_and_names_its_file(ksf, sample, tmp_path):
    output = tmp_path / "site.nox"
    batch = project_batch(ksf, sample[0], output)
    assert ksf.ksf_batch_set(batch, FEEDBACK_COUNT, 1000) == SUCCESS
    progress, errors = [], []
    feedback = Feedback(None, PROGRESS(lambda *a: progress.append((a[4], a[7]))),
                        ERROR(lambda *a: errors.append(a[7].decode())))
    assert ksf.ksf_batch_set_feedback(batch, ctypes.byref(feedback)) == SUCCESS
    assert ksf.ksf_convert(batch) == SUCCESS, ksf.ksf_last_error()
    assert errors == []
    overall = [value for value, _ in progress]
    assert overall == sorted(overall) and overall[-1] == 100
    assert {phase for _, phase in progress} == {2, 3}
    assert exported(ksf, batch) == [str(output)]
    assert output.stat().st_size > 0
    ksf.ksf_batch_destroy(batch)
    assert ksf.ksf_convert(batch) == INVALID_BATCH
    assert b"no live batch" in ksf.ksf_last_error()


def test_cancel_from_another_thread(ksf, sample, tmp_path):
    batch = project_batch(ksf, sample[0], tmp_path / "site.nox")
    assert ksf.ksf_batch_set(batch, FEEDBACK_COUNT, 200) == SUCCESS
    started, cancelled = threading.Event(), threading.Event()

    def on_progress(*_):
        started.set()
        cancelled.wait(30)  # held until the other thread has asked

    feedback = Feedback(None, PROGRESS(on_progress), ERROR(lambda *a: None))
    ksf.ksf_batch_set_feedback(batch, ctypes.byref(feedback))

    def cancel():
        started.wait(30)
        assert ksf.ksf_cancel(batch) == CANCELLED
        cancelled.set()

    canceller = threading.Thread(target=cancel)
    canceller.start()
    assert ksf.ksf_convert(batch) == CANCELLED
    canceller.join()
    assert ksf.ksf_batch_exported_count(batch) == 0
    assert list(tmp_path.iterdir()) == []
    ksf.ksf_batch_destroy(batch)
