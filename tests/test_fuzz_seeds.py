"""Every input of the fuzz targets' seed corpora (tests/fuzz/corpus), run
through its target's check in the ordinary suite: the seeds, and the findings
kept there as regression inputs, stay clean without a fuzzing run."""

import importlib
import pathlib
import sys

import pytest

FUZZ = pathlib.Path(__file__).resolve().parent / "fuzz"
sys.path.insert(0, str(FUZZ))

CASES = [(target.stem[5:], seed) for target in sorted(FUZZ.glob("fuzz_*.py"))
         for seed in sorted((FUZZ / "corpus" / target.stem[5:]).glob("*"))]


def test_every_target_has_seeds():
    targets = {t.stem[5:] for t in FUZZ.glob("fuzz_*.py")}
    assert targets and targets == {name for name, _ in CASES}


@pytest.mark.parametrize("target, seed", CASES, ids=[f"{t}/{s.name}" for t, s in CASES])
def test_seed_passes_its_check(target, seed):
    importlib.import_module(f"fuzz_{target}").check(seed.read_bytes())
