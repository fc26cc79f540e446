#!/bin/sh
# Packaging as a user meets it: build the sdist and the wheel (as pip install .
# does), check that building left the checkout untouched and that the sdist
# is complete; install the wheel into a fresh virtual environment and, from
# outside the checkout, import it, read its version, run the examples and
# check its type information.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
python=$(tools/find-python)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
quiet="--quiet --disable-pip-version-check"

fail() {
    echo "ci-package: $*" >&2
    exit 1
}

# Everything git sees, ignored files included, apart from the Makefile's venv
# and build trees: a plain build must add nothing to it.
snapshot() {
    git status --porcelain --ignored --untracked-files=all | grep -v -e ' \.venv/' -e ' build/' || true
}

before=$(snapshot)
"$python" -m venv "$work/build-env"
"$work/build-env/bin/pip" install $quiet build
"$work/build-env/bin/python" -m build --sdist --outdir "$work/dist" .
# The wheel as `pip install .` builds it: from the checkout, isolated.
"$work/build-env/bin/pip" wheel $quiet --no-deps --wheel-dir "$work/dist" .
[ "$(snapshot)" = "$before" ] || fail "the build left files in the checkout: $(snapshot)"
sdist=$(ls "$work"/dist/voralix-*.tar.gz) || fail "no sdist"
wheel=$(ls "$work"/dist/voralix-*.whl) || fail "no wheel"
# The sdist must hold every tracked file the build and the tests read.
tar -tzf "$sdist" | sort > "$work/sdist.txt"
missing=$(git ls-files CMakeLists.txt pyproject.toml LICENSE README.md src stubs tests |
    sed "s|^|$(basename "$sdist" .tar.gz)/|" | sort | comm -23 - "$work/sdist.txt")
[ -z "$missing" ] || fail "missing from the sdist: $missing"

"$python" -m venv "$work/env"
"$work/env/bin/pip" install $quiet "$wheel[typing]"
cd "$work"
"$work/env/bin/python" - "$root/pyproject.toml" <<'EOF'
import importlib.metadata, sys, tomllib
import voralix
with open(sys.argv[1], "rb") as fh:
    expected = tomllib.load(fh)["project"]["version"]
version = importlib.metadata.version("voralix")
assert version == expected, (version, expected)
assert "site-packages" in voralix.__file__, voralix.__file__
print("installed voralix", version, "from", voralix.__file__)
EOF
"$work/env/bin/python" "$root/examples/quickstart.py" >/dev/null
"$work/env/bin/python" "$root/examples/typed_usage.py"
"$work/env/bin/python" "$root/tools/typing/check.py"
echo "ci-package: ok"
