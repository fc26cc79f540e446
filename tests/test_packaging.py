"""What an installed voralix carries besides the module: its version, license
and project metadata."""

import importlib.metadata
import os
import pathlib
import tomllib

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
PROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]
METADATA = importlib.metadata.metadata("voralix")


def test_installed_version_is_the_projects():
    assert importlib.metadata.version("voralix") == PROJECT["version"]


def test_license_file_matches_the_declared_license():
    text = (ROOT / "LICENSE").read_text()
    assert PROJECT["license"] == METADATA["License-Expression"] == "MIT"
    assert text.startswith("MIT License") and "The voralix developers" in text
    assert "LICENSE" in METADATA.get_all("License-File")


@pytest.mark.parametrize("field, expected", [
    ("Requires-Python", ">=3.13"),
    ("Summary", PROJECT["description"]),
    ("Description-Content-Type", "text/markdown"),
])
def test_metadata_fields(field, expected):
    assert METADATA[field] == expected


def test_metadata_lists_classifiers_urls_and_extras():
    classifiers = METADATA.get_all("Classifier")
    assert "Programming Language :: Python :: 3.13" in classifiers
    assert {u.split(",")[0] for u in METADATA.get_all("Project-URL")} >= {"Homepage", "Source"}
    assert {"test", "docs", "typing"} <= set(METADATA.get_all("Provides-Extra"))


def stub_classes():
    """Class name -> names defined in its body, from the installed stub."""
    import ast

    import voralix

    stub = pathlib.Path(voralix.__file__).parent / "voralix-stubs" / "__init__.pyi"
    if os.environ.get("VORALIX_SANITIZER"):
        # The sanitizer build is loaded from its build directory, where nothing
        # is installed: check the coverage against the stubs in the source tree.
        stub = pathlib.Path(__file__).resolve().parent.parent / "stubs" / "voralix-stubs" / "__init__.pyi"
    tree = ast.parse(stub.read_text())
    return {c.name: {d.name for d in c.body if isinstance(d, (ast.FunctionDef, ast.ClassDef))}
            for c in tree.body if isinstance(c, ast.ClassDef)}


def test_stubs_ship_beside_the_module_and_cover_every_public_member():
    # A method added to a class without a stub entry is invisible to users'
    # type checkers (stubtest, run in CI, checks the signatures too).
    import voralix

    stubs = stub_classes()
    assert set(stubs) == set(voralix.__all__)
    missing = [f"{name}.{member}" for name in voralix.__all__
               for member in vars(getattr(voralix, name))
               if not member.startswith("_") and member not in stubs[name]]
    assert missing == []
