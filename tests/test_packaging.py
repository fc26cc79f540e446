"""What an installed voralix carries besides the module: its version, license
and project metadata."""

import importlib.metadata
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
