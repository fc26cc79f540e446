"""Runs the fuzz targets of this folder (fuzz_*.py) one after another, each
for a bounded time under libFuzzer (atheris) on the sanitizer build, and
fails when any of them finds something: a crash, a hang (an input running
longer than --timeout), a sanitizer report, or a disagreement with a model.

    run.py [--seconds N] [--timeout S] [--work DIR] [--merge] [TARGET ...]

Each target starts from its seed corpus, corpus/<target>/, and keeps what
it finds in DIR/corpus/<target>/ (reused by later runs); its log is
DIR/<target>.log and a finding is written as DIR/<target>-crash-... (or
-timeout-, -oom-). To replay one: python fuzz_<target>.py FILE. With --merge
the inputs of DIR's corpus that add coverage are merged into the seed
corpus, to be committed. `make fuzz` runs this with the environment of the
sanitizer build (see Makefile)."""

import argparse
import importlib.util
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def fuzzing_runtime():
    """atheris's AddressSanitizer runtime with libFuzzer built in: loaded
    first, it also collects the coverage of the instrumented extension."""
    finder = importlib.util.find_spec("atheris")
    if finder is None:
        sys.exit("atheris is not installed (make fuzz installs it)")
    root = os.path.dirname(os.path.dirname(finder.origin))
    return os.path.join(root, "asan_with_fuzzer.so")


def summary(log):
    """The last coverage line and the run count of a libFuzzer log."""
    cov = re.findall(r"cov: (\d+) ft: (\d+) corp: (\d+)", log)
    done = re.findall(r"Done (\d+) runs in (\d+) second", log)
    parts = []
    if done:
        parts.append(f"{done[-1][0]} runs in {done[-1][1]} s")
    if cov:
        parts.append("coverage %s, features %s, corpus %s" % cov[-1])
    return ", ".join(parts) or "no statistics"


def run(target, args, env):
    seeds = os.path.join(HERE, "corpus", target)
    corpus = os.path.join(args.work, "corpus", target)
    os.makedirs(corpus, exist_ok=True)
    os.makedirs(seeds, exist_ok=True)
    script = os.path.join(HERE, f"fuzz_{target}.py")
    options = [f"-timeout={args.timeout}", "-rss_limit_mb=8192", "-print_final_stats=1",
               f"-artifact_prefix={os.path.join(args.work, target)}-"]
    dictionary = os.path.join(HERE, f"{target}.dict")
    if os.path.exists(dictionary):
        options.append(f"-dict={dictionary}")
    if args.merge:
        command = [sys.executable, script, "-merge=1", *options, seeds, corpus]
    else:
        command = [sys.executable, script, f"-max_total_time={args.seconds}", *options, corpus, seeds]
    log_path = os.path.join(args.work, f"{target}.log")
    start = time.monotonic()
    with open(log_path, "w") as log:
        try:
            # libFuzzer stops itself; the margin covers start-up and a last slow input.
            code = subprocess.run(command, stdout=log, stderr=subprocess.STDOUT, env=env,
                                  timeout=args.seconds + 3 * args.timeout + 120).returncode
        except subprocess.TimeoutExpired:
            code = "killed: the fuzzer did not stop in time"
    with open(log_path, errors="replace") as log:
        text = log.read()
    took = time.monotonic() - start
    if code != 0:
        print(f"FAILED {target} ({code}) after {took:.0f} s; the end of {log_path}:")
        print("\n".join(text.splitlines()[-60:]))
        return False
    print(f"ok {target}: {summary(text)} ({took:.0f} s)")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=int, default=60, help="fuzzing time per target")
    parser.add_argument("--timeout", type=int, default=30, help="seconds one input may take")
    parser.add_argument("--work", default="build/fuzz", help="scratch folder")
    parser.add_argument("--merge", action="store_true", help="merge the found corpus into the seeds")
    parser.add_argument("targets", nargs="*", help="target names (default: all)")
    args = parser.parse_args()
    available = sorted(f[5:-3] for f in os.listdir(HERE) if re.fullmatch(r"fuzz_\w+\.py", f))
    targets = args.targets or available
    unknown = set(targets) - set(available)
    if unknown:
        sys.exit(f"unknown targets {sorted(unknown)}; there are {available}")
    env = dict(os.environ, LD_PRELOAD=fuzzing_runtime())
    os.makedirs(args.work, exist_ok=True)
    results = [run(t, args, env) for t in targets]
    print(f"fuzz targets: {results.count(True)} passed, {results.count(False)} failed")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
