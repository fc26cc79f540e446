"""Checks the installed voralix's type information as users' tools see it.

Run with the Python of an environment where voralix, mypy and basedpyright
are installed (`make typecheck`, or tools/ci-package.sh on a fresh wheel):

1. mypy.stubtest compares the stubs with the compiled module;
2. examples/typed_usage.py passes `mypy --strict` and pyright's strict mode;
3. in tools/typing/misuse.py both checkers reject exactly the lines marked
   `# rejected`, which shows that they read the stubs rather than guessing.

Everything runs from a temporary directory, so the checkers resolve voralix
from site-packages, as they would in a user's project."""

import json
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
BIN = pathlib.Path(sys.executable).parent
TYPED_USAGE = ROOT / "examples" / "typed_usage.py"
MISUSE = ROOT / "tools" / "typing" / "misuse.py"


def run(*args, cwd):
    print("$", " ".join(str(a) for a in args), flush=True)
    done = subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


def error_lines(output, path):
    """The line numbers of `path` that a checker's output reports errors on."""
    pattern = re.compile(re.escape(str(path)) + r":(\d+)(?::\d+)?(?: -|:) error")
    return {int(m.group(1)) for m in pattern.finditer(output)}


def main():
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        config = pathlib.Path(tmp) / "pyrightconfig.json"
        config.write_text(json.dumps({"typeCheckingMode": "strict"}))
        mypy = (sys.executable, "-m", "mypy", "--strict", "--no-incremental")
        pyright = (BIN / "basedpyright", "-p", config, "--pythonpath", sys.executable)

        code, out = run(sys.executable, "-m", "mypy.stubtest", "voralix",
                        "--allowlist", ROOT / "stubs" / "allowlist.txt", cwd=tmp)
        if code != 0:
            failures.append("stubtest:\n" + out)
        for name, command in (("mypy", mypy), ("pyright", pyright)):
            code, out = run(*command, TYPED_USAGE, cwd=tmp)
            if code != 0:
                failures.append(f"{name} on {TYPED_USAGE.name}:\n{out}")

        expected = {n for n, line in enumerate(MISUSE.read_text().splitlines(), 1)
                    if line.rstrip().endswith("# rejected")}
        for name, command in (("mypy", mypy), ("pyright", pyright)):
            _, out = run(*command, MISUSE, cwd=tmp)
            found = error_lines(out, MISUSE)
            if found != expected:
                failures.append(f"{name} on {MISUSE.name}: missed lines "
                                f"{sorted(expected - found)}, unexpected lines "
                                f"{sorted(found - expected)}\n{out}")
    for failure in failures:
        print(failure, file=sys.stderr)
    print("typing checks:", "FAILED" if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
