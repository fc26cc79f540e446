"""The sanitizer run (make test-asan) really runs under the sanitizers: a heap
overflow in the interpreter's process is reported and ends it."""

import os

import pytest

pytestmark = pytest.mark.skipif(not os.environ.get("VORALIX_SANITIZER"),
                                reason="only on the sanitizer build")

OVERFLOW = """
import ctypes
import voralix
small, big = ctypes.create_string_buffer(8), ctypes.create_string_buffer(64)
ctypes.memmove(big, small, 64)
print("not reported")
"""


def test_heap_overflow_is_reported(run_snippet):
    # Reported on stderr here, not in the run's report files, which would fail it.
    proc = run_snippet(OVERFLOW, env={"ASAN_OPTIONS": "detect_leaks=0", "UBSAN_OPTIONS": ""})
    assert proc.returncode != 0 and "not reported" not in proc.stdout
    assert "AddressSanitizer: heap-buffer-overflow" in proc.stderr
