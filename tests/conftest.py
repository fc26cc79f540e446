"""Shared fixtures: a subprocess runner, a memory-leak harness, CPython's own
SipHash as an oracle, and a pure-Python model of the type core. Model types
are tuples ("var", name) or ("app", left, right); the model follows the
written rules directly and shares no code with the extension. The `M`
fixture hands this module to the tests as the model."""

import hashlib
import json
import os
import struct
import subprocess
import sys
import textwrap

import pytest

if os.environ.get("VORALIX_TAKE_DICT_WATCHERS"):
    # Every dict watcher slot taken before import: walks run without a watcher.
    import _testcapi

    try:
        while True:
            _testcapi.add_dict_watcher(0)
    except RuntimeError:
        pass

import voralix  # noqa: E402


def pytest_report_header(config):
    sanitizer = os.environ.get("VORALIX_SANITIZER")
    return f"voralix: {voralix.__file__}" + (f" (sanitizers: {sanitizer})" if sanitizer else "")


def pytest_configure(config):
    # The sanitizer run must test the sanitizer build, not the installed module.
    path = os.environ.get("PYTHONPATH", "")
    if os.environ.get("VORALIX_SANITIZER") and os.path.dirname(voralix.__file__) not in path.split(":"):
        raise pytest.UsageError(f"VORALIX_SANITIZER is set but voralix comes from {voralix.__file__}")


def run_python(code, env=None, timeout=120, stdin=None):
    """Runs `code` in a fresh interpreter; returns the CompletedProcess."""
    full_env = {k: v for k, v in os.environ.items() if k != "PYTHONHASHSEED"}
    full_env.update(env or {})
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], input=stdin,
                          capture_output=True, text=True, env=full_env, timeout=timeout)


@pytest.fixture(scope="session")
def run_snippet():
    return run_python


MEMORY_HARNESS = r"""
import gc, json, sys

def _rss():
    with open("/proc/self/statm") as fh:
        return int(fh.read().split()[1]) * 4096

_config, _results = json.loads(sys.stdin.read()), {}
for _label, _group in _config["groups"].items():
    # Each statement in its own try block, so that an error skips nothing.
    _body = "".join("        try:\n            %s\n        except Exception:\n            pass\n"
                    % s.strip() for s in _group.split(";"))
    _ns = dict(globals())
    exec("def _run(_count):\n    for _ in range(_count):\n" + _body, _ns)
    _ns["_run"](2000)
    gc.collect()
    _blocks, _mem, _refs = sys.getallocatedblocks(), _rss(), [sys.getrefcount(o) for o in watched]
    _ns["_run"](_config["calls"])
    gc.collect()
    _results[_label] = {"blocks": sys.getallocatedblocks() - _blocks, "rss": _rss() - _mem,
                        "refs": max(sys.getrefcount(o) - r for o, r in zip(watched, _refs))}
print(json.dumps(_results))
"""


@pytest.fixture(scope="session")
def measure_memory():
    """measure(setup, groups, calls) runs `setup` (which defines `watched`, the
    objects whose reference counts are followed) in a fresh interpreter, then
    each group of ";"-separated statements `calls` times, exceptions swallowed;
    it returns, per group label, the growth in allocated blocks ("blocks"),
    resident set size in bytes ("rss") and the largest reference count ("refs")."""
    if not os.path.exists("/proc/self/statm"):
        pytest.skip("needs /proc to read the resident set size")
    if os.environ.get("VORALIX_SANITIZER"):
        # The sanitizer's quarantine and shadow memory grow the resident set,
        # and without pymalloc there are no allocated blocks to count.
        pytest.skip("memory growth is not measurable on the sanitizer build")

    def measure(setup, groups, calls=100_000):
        proc = run_python(textwrap.dedent(setup) + MEMORY_HARNESS, timeout=600,
                          stdin=json.dumps({"calls": calls, "groups": groups}))
        assert proc.returncode == 0, proc.stderr[-3000:]
        return json.loads(proc.stdout)

    return measure


@pytest.fixture(scope="session")
def M():
    return sys.modules[__name__]


@pytest.fixture(scope="session")
def cpython_bytes_hash():
    """hash() of byte strings in an interpreter started with PYTHONHASHSEED=0,
    that is SipHash-1-3 with both keys zero: an oracle independent of ours."""
    if sys.hash_info.algorithm != "siphash13":
        pytest.skip("interpreter does not hash with SipHash-1-3")

    def hashes(blobs):
        code = "import sys\nfor b in sys.stdin.read().split(): print(hash(bytes.fromhex(b)))"
        r = run_python(code, env={"PYTHONHASHSEED": "0"}, stdin=" ".join(b.hex() for b in blobs))
        assert r.returncode == 0, r.stderr
        return [int(x) for x in r.stdout.split()]

    return hashes


# --- Model -----------------------------------------------------------------

def build_type(t):
    if t[0] == "var":
        return voralix.Variable(t[1])
    return voralix.Application(build_type(t[1]), build_type(t[2]))


_M64 = (1 << 64) - 1


def _rotl(x, b):
    return ((x << b) | (x >> (64 - b))) & _M64


def _round(v0, v1, v2, v3):
    v0 = (v0 + v1) & _M64
    v1 = _rotl(v1, 13) ^ v0
    v0 = _rotl(v0, 32)
    v2 = (v2 + v3) & _M64
    v3 = _rotl(v3, 16) ^ v2
    v0 = (v0 + v3) & _M64
    v3 = _rotl(v3, 21) ^ v0
    v2 = (v2 + v1) & _M64
    v1 = _rotl(v1, 17) ^ v2
    return v0, v1, _rotl(v2, 32), v3


def python_hash(data):
    """SipHash-1-3 with zero keys, read as signed, -1 replaced by -2."""
    v = [0x736F6D6570736575, 0x646F72616E646F6D, 0x6C7967656E657261, 0x7465646279746573]
    full = len(data) - len(data) % 8
    last = ((len(data) & 0xFF) << 56) | int.from_bytes(data[full:], "little")
    words = [struct.unpack_from("<Q", data, i)[0] for i in range(0, full, 8)] + [last]
    for m in words:
        v[3] ^= m
        v = list(_round(*v))
        v[0] ^= m
    v[2] ^= 0xFF
    for _ in range(3):
        v = list(_round(*v))
    h = v[0] ^ v[1] ^ v[2] ^ v[3]
    h = h - (1 << 64) if h >= 1 << 63 else h
    return -2 if h == -1 else h


def type_text(t):
    return t[1] if t[0] == "var" else f"({type_text(t[1])} -> {type_text(t[2])})"


def type_repr(t):
    if t[0] == "var":
        return f'Variable("{t[1]}")'
    return f"Application({type_text(t[1])}, {type_text(t[2])})"


def type_uid(t):
    if t[0] == "var":
        data = b"var:" + t[1].encode()
    else:
        data = f"app:{type_uid(t[1])}:{type_uid(t[2])}".encode()
    return hashlib.sha256(data).hexdigest()


def type_encoding(t):
    """E(t): tag word, body, closing zero word."""
    if t[0] == "var":
        return bytes(8) + t[1].encode() + b"\xff" + bytes(8)
    return struct.pack("<Q", 1) + type_encoding(t[1]) + type_encoding(t[2]) + bytes(8)


def type_hash(t):
    if t[0] == "var":
        return python_hash(t[1].encode() + b"\xff")
    return python_hash(type_encoding(t[1]) + type_encoding(t[2]))


def term_uid(name, t):
    return hashlib.sha256(f"term:{name}:{type_uid(t)}".encode()).hexdigest()


def term_hash_stream(name, t):
    return name.encode() + b"\xff" + type_encoding(t)


def apply_terms(fname, ft, xname, xt):
    """("ok", name, type) or ("error", message)."""
    if ft[0] == "var":
        return ("error", "Type mismatch: expected application type (A -> B), got "
                f"{type_text(ft)} (in term application)")
    if ft[1] != xt:
        return ("error", f"Type mismatch: expected {type_text(ft[1])}, got {type_text(xt)} "
                "(in function application)")
    return ("ok", f"({fname} {xname})", ft[2])
