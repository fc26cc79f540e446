#!/usr/bin/env python3
"""Differential check of the C++ pattern-string parser against the Python model.

Builds tests/cpp/path_parser_driver.cpp (unless --driver is given), then
  1. checks hand-written expectations (both implementations must meet them),
  2. compares driver and model on many random and well-formed-then-mutated
     pattern strings,
  3. compares the quoted-name rendering on every Unicode scalar value,
  4. times the driver on very long and very deeply nested inputs.
Prints every difference and exits non-zero if there is any.

Run with the CPython (3.13+) whose headers the module is built against:
    python3.13 tests/cpp/check_path_parser.py [--count N] [--seed S]
"""

import argparse
import bisect
import json
import os
import pathlib
import random
import subprocess
import sys
import sysconfig
import tempfile
import time
import unicodedata

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "models"))
import path_model  # noqa: E402

SOURCES = [
    "tests/cpp/path_parser_driver.cpp",
    "src/patterns/path_parser.cpp",
    "src/patterns/quote.cpp",
    "src/util/unicode.cpp",
    "src/errors/error.cpp",
]
UCD_FILE = "/usr/share/unicode/DerivedCoreProperties.txt"

ALPHABET = ["(", ")", "[", "]", "-", "<", ">", ":", "{", "}", "$", "*", " ", "\t", "\n",
            "\r", "\v", "a", "b", "é", "\u00a0", "\u3000", "\u0301", "x"]


def ok(nodes, edges):
    return ("ok", nodes, edges)


def err(pattern, reason):
    return ("error", f"Invalid pattern '{pattern}': {reason}")


N = None  # absent variable or schema
EXPECTED = {
    "(n)": ok([("n", N)], []),
    "()": ok([(N, N)], []),
    "(:Person)": ok([(N, "$Person$")], []),
    "(n:Person)-[e:knows]->(m:Person)":
        ok([("n", "$Person$"), ("m", "$Person$")], [("e", "$knows$", "forward")]),
    "(a)<-[r]-(b)": ok([("a", N), ("b", N)], [("r", N, "backward")]),
    "(a)-[r]-(b)": ok([("a", N), ("b", N)], [("r", N, "any")]),
    "(a)[r](b)": ok([("a", N), ("b", N)], [("r", N, "any")]),
    "(a)-[r]>(b)": ok([("a", N), ("b", N)], [("r", N, "forward")]),
    "(a)-[r]<-(b)": ok([("a", N), ("b", N)], [("r", N, "any")]),
    "(a)-[r:A -> B]-(b)": ok([("a", N), ("b", N)], [("r", "$A -> B$", "forward")]),
    "(a)<-[r:A -> B]-(b)": err("<-[r:A -> B]-", "Cannot have both <- and -> in same edge"),
    "(n:$Person$)": ok([("n", "$Person$")], []),
    "(n:*)": ok([("n", "$*$")], []),
    "(f:(A -> B) -> C)": ok([("f", "$(A -> B) -> C$")], []),
    "(a)-[e:(A -> B)]->(b)": ok([("a", N), ("b", N)], [("e", N, "forward")]),
    "(n:Person {age: 30})": ok([("n", "$Person$")], []),
    "(n {age: 30})": ok([("n", N)], []),
    "({a:1})": ok([(N, N)], []),
    "(n:A:B)": ok([("n", "$A:B$")], []),
    "( n : )": ok([("n", N)], []),
    "(a)(b)": ok([("a", N), ("b", N)], []),
    "-[e]->(a)(b)": ok([("a", N), ("b", N)], [("e", N, "forward")]),
    "-[e]->(a)": err("-[e]->(a)", "Invalid pattern: too many edges for the number of nodes"),
    "": err("", "Pattern cannot be empty"),
    "   ": err("", "Pattern cannot be empty"),
    "\u3000\u00a0\n": err("", "Pattern cannot be empty"),
    "(a)-[e]->": err("(a)-[e]->", "Pattern cannot end with an edge"),
    "(a)->(b)": err("->", "Edge pattern must contain brackets"),
    "(a)-][-(b)": err("-][-", "Brackets are mismatched"),
    "(a": err("(a", "Unmatched parentheses in pattern"),
    "(a))": err("(a))", "Unmatched parentheses in pattern"),
    "(a)-[e->(b)": err("(a)-[e->(b)", "Unmatched brackets in pattern"),
    "(a:A)-[r1]->(b:B)<-[r2]-(c:C)":
        ok([("a", "$A$"), ("b", "$B$"), ("c", "$C$")],
           [("r1", N, "forward"), ("r2", N, "backward")]),
    "(a) x (b)": err("(a) x (b)", "Unexpected character 'x' outside of node or edge pattern"),
    "(a)\u00a0(b)":
        err("(a)\u00a0(b)", "Unexpected character '\u00a0' outside of node or edge pattern"),
    "\u00a0(a)\u3000": ok([("a", N)], []),
    # First unexpected character wins, before any end check or token failure.
    "(a)->(b) y z (": err("(a)->(b) y z (",
                          "Unexpected character 'y' outside of node or edge pattern"),
    # Tokenizer end checks win over building failures, in their own order.
    "(a)->(b)(": err("(a)->(b)(", "Unmatched parentheses in pattern"),
    "(a)->(b)[": err("(a)->(b)[", "Unmatched brackets in pattern"),
    "(a)->(b)-": err("(a)->(b)-", "Pattern cannot end with an edge"),
    "(a)(": err("(a)(", "Unmatched parentheses in pattern"),
    # The first failing token is reported, not a later one.
    "(a)-(b)<-[x->]-(c)": err("-", "Edge pattern must contain brackets"),
    "()(": err("()(", "Unmatched parentheses in pattern"),
    ")(": err(")(", "Pattern must contain at least one node"),
    # White space inside nodes and brackets stays until the body rule trims it.
    "(\tn\n:\r T \n)": ok([("n", "$T$")], []),
    "(a)-[ \n e \t: T ]->(b)": ok([("a", N), ("b", N)], [("e", "$T$", "forward")]),
    "(a) - [e] -> (b)": ok([("a", N), ("b", N)], [("e", N, "forward")]),
    # Only tab, LF, CR and space are skipped between tokens; other white space
    # (vertical tab, no-break space) is an unexpected character there.
    "(a)\v(b)": err("(a)\v(b)", "Unexpected character '\v' outside of node or edge pattern"),
    "(a)-[\u00a0e\u3000]->(b)": ok([("a", N), ("b", N)], [("e", N, "forward")]),
    # Everything inside a node's parentheses is node text.
    "(a-[x]->b)": ok([("a-[x]->b", N)], []),
    "((a))": ok([("(a)", N)], []),
    # Brackets inside a parenthesised group in an edge do not count.
    "(a)-[(])]->(b)": ok([("a", N), ("b", N)], [(N, N, "forward")]),
    # A ")" inside brackets sends P below zero; white space and other
    # characters still go to the edge text while B is positive.
    "(a)-[x)\n\u00a0(y]->(b)": ok([("a", N), ("b", N)], [("x\n\u00a0y", N, "forward")]),
    "(a)-[x)-(y]->(b)": ok([("a", N), ("b", N)], [("xy", N, "forward")]),
    "(a)-[e:{x}]->(b)": ok([("a", N), ("b", N)], [("e", N, "forward")]),
    "(a)<-[e]>(b)": ok([("a", N), ("b", N)], [("e", N, "backward")]),
    "(a)<[e](b)": ok([("a", N), ("b", N)], [("e", N, "any")]),
    "(a)-[e]-[f]->(b)": ok([("a", N), ("b", N)], [("e]-[f", N, "forward")]),
    "(a)-[:$x$]->(b)": ok([("a", N), ("b", N)], [(N, "$x$", "forward")]),
    "(é:Ünïcode)": ok([("é", "$Ünïcode$")], []),
    "(a)-[e]->(b)-[f]->(c)-[g]->(d)":
        ok([("a", N), ("b", N), ("c", N), ("d", N)],
           [("e", N, "forward"), ("f", N, "forward"), ("g", N, "forward")]),
}

QUOTE_EXPECTED = {
    "n": '"n"',
    "": '""',
    'a"b\\c': '"a\\"b\\\\c"',
    "\t\r\n\0": '"\\t\\r\\n\\0"',
    "e\u0301": '"e\\u{301}"',
    "\x07\x7f\u00a0 x": '"\\u{7}\\u{7f}\\u{a0} x"',
    "é'": "\"é'\"",
    "\U000e0100": '"\\u{e0100}"',   # variation selector: Grapheme_Extend
    "\u200d": '"\\u{200d}"',        # zero-width joiner: Grapheme_Extend and a format char
    "\U0001F600": '"\U0001F600"',
}


def encode_line(s):
    return s.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r").encode("utf-8")


def build_driver(out_dir):
    include = sysconfig.get_path("include")
    libdir = sysconfig.get_config_var("LIBDIR")
    ldver = sysconfig.get_config_var("LDVERSION")
    exe = os.path.join(out_dir, "path_parser_driver")
    cmd = ["g++", "-std=c++20", "-Wall", "-Wextra", "-Werror", "-O2",
           f"-I{ROOT / 'src'}", f"-I{include}", *[str(ROOT / s) for s in SOURCES],
           f"-L{libdir}", f"-lpython{ldver}", f"-Wl,-rpath,{libdir}", "-o", exe]
    subprocess.run(cmd, check=True)
    return exe


def run_driver(driver, inputs, quote=False):
    args = [driver, "--quote"] if quote else [driver]
    data = b"".join(encode_line(s) + b"\n" for s in inputs)
    proc = subprocess.run(args, input=data, capture_output=True, check=True)
    lines = proc.stdout.decode("utf-8").splitlines()
    if len(lines) != len(inputs):
        raise SystemExit(f"driver returned {len(lines)} lines for {len(inputs)} inputs")
    return [json.loads(line) for line in lines]


def from_driver(obj):
    if not obj["ok"]:
        return ("error", obj["error"])
    return ("ok", [tuple(n) for n in obj["nodes"]], [tuple(e) for e in obj["edges"]])


def from_model(result):
    if result[0] == "error":
        return result
    return ("ok", [tuple(n) for n in result[1]], [tuple(e) for e in result[2]])


# ----------------------------------------------------------------- generators

def random_string(rng):
    return "".join(rng.choice(ALPHABET) for _ in range(rng.randint(0, 24)))


def random_ws(rng):
    return "".join(rng.choice(["", "", " ", "\t", "\n", "\r\n"]) for _ in range(rng.randint(0, 2)))


BODIES = ["", "n", "n:Person", ":T", "n:$A -> $", "n:A -> B", "n {age: 30}", "n:A:B",
          "f:(A -> B) -> C", " m : * ", "x:{", "é:é", "a:b {c: d} e", "$", "n:"]
CONNECTORS = [("-[", "]->"), ("<-[", "]-"), ("-[", "]-"), ("[", "]"), ("-[", "]>"),
              ("-[", "]<-"), ("<[", "]>"), ("--[", "]-->"), ("<-[", "]->")]


def well_formed(rng):
    def node():
        return "(" + random_ws(rng) + rng.choice(BODIES) + random_ws(rng) + ")"

    parts = [random_ws(rng), node()]
    for _ in range(rng.randint(0, 4)):
        left, right = rng.choice(CONNECTORS)
        body = rng.choice(BODIES + ["e:(A -> B)", "e:A->B"])
        parts += [random_ws(rng), left, random_ws(rng), body, random_ws(rng), right,
                  random_ws(rng), node()]
    parts.append(random_ws(rng))
    return "".join(parts)


def mutate(rng, s):
    chars = list(s)
    for _ in range(rng.randint(1, 3)):
        op = rng.randrange(3)
        pos = rng.randint(0, len(chars))
        if op == 0 or not chars:
            chars.insert(pos, rng.choice(ALPHABET))
        elif op == 1:
            del chars[min(pos, len(chars) - 1)]
        else:
            chars[min(pos, len(chars) - 1)] = rng.choice(ALPHABET)
    return "".join(chars)


FRAGMENTS = ["(a)", "()", "(b:T)", "-[e]->", "<-[r]-", "-[:T]-", "[]", "-", "->", "<-", "<",
             ">", "[", "]", "][", "(", ")", " ", "\n", "[(x)]", "[(]", "-[x) (y]->", "x)\t(", "{", ":", "x", "\u00a0"]


def fragment_soup(rng):
    return "".join(rng.choice(FRAGMENTS) for _ in range(rng.randint(1, 8)))


def generate(rng, count):
    inputs = []
    for i in range(count):
        kind = i % 4
        if kind == 0:
            inputs.append(random_string(rng))
        elif kind == 3:
            inputs.append(fragment_soup(rng))
        elif kind == 1:
            inputs.append(well_formed(rng))
        else:
            inputs.append(mutate(rng, well_formed(rng)))
    return inputs


# ----------------------------------------------------------------- checks

def report(failures, title, limit=40):
    if failures:
        print(f"{title}: {len(failures)} difference(s)")
        for line in failures[:limit]:
            print("  " + line)
    return len(failures)


def check_expected(driver):
    inputs = list(EXPECTED)
    got = run_driver(driver, inputs)
    failures = []
    for text, obj in zip(inputs, got):
        want = EXPECTED[text]
        model = from_model(path_model.parse(text))
        cpp = from_driver(obj)
        if model != want:
            failures.append(f"model {text!r}: got {model!r}, expected {want!r}")
        if cpp != want:
            failures.append(f"driver {text!r}: got {cpp!r}, expected {want!r}")
    return report(failures, "hand-written cases")


def check_random(driver, rng, count):
    inputs = generate(rng, count)
    got = run_driver(driver, inputs)
    failures = []
    outcomes = {}
    for text, obj in zip(inputs, got):
        model = from_model(path_model.parse(text))
        cpp = from_driver(obj)
        key = "ok" if model[0] == "ok" else model[1].rsplit("': ", 1)[-1].split(" '")[0]
        outcomes[key] = outcomes.get(key, 0) + 1
        if model != cpp:
            failures.append(f"{text!r}: model {model!r} != driver {cpp!r}")
    print(f"random: {len(inputs)} inputs; outcomes: "
          + ", ".join(f"{k}={v}" for k, v in sorted(outcomes.items())))
    return report(failures, "random inputs")


def load_grapheme_extend(path):
    ranges = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            data = line.split("#", 1)[0].split(";")
            if len(data) == 2 and data[1].strip() == "Grapheme_Extend":
                lo, _, hi = data[0].strip().partition("..")
                ranges.append((int(lo, 16), int(hi or lo, 16)))
    ranges.sort()
    starts = [lo for lo, _ in ranges]

    def grapheme_extend(cp):
        i = bisect.bisect_right(starts, cp) - 1
        return i >= 0 and cp <= ranges[i][1]

    return grapheme_extend


def check_quote(driver, ucd_path):
    failures = []
    ge = load_grapheme_extend(ucd_path)

    # Every combining mark (Mn, Me) has Grapheme_Extend in every Unicode version.
    missing = [cp for cp in range(0x110000)
               if unicodedata.category(chr(cp)) in ("Mn", "Me") and not ge(cp)]
    if missing:
        failures.append("combining marks without Grapheme_Extend: "
                        + ", ".join(f"U+{cp:04X}" for cp in missing[:20]))

    names = list(QUOTE_EXPECTED)
    got = run_driver(driver, names, quote=True)
    for name, obj in zip(names, got):
        model = path_model.quote_name(name, ge)
        if model != QUOTE_EXPECTED[name]:
            failures.append(f"model {name!r}: {model!r} != {QUOTE_EXPECTED[name]!r}")
        if obj["quoted"] != QUOTE_EXPECTED[name]:
            failures.append(f"driver {name!r}: {obj['quoted']!r} != {QUOTE_EXPECTED[name]!r}")

    # Every scalar value, in chunks (line breaks and backslashes are escaped).
    scalars = [chr(cp) for cp in range(0x110000) if not 0xD800 <= cp <= 0xDFFF]
    chunks = ["".join(scalars[i:i + 512]) for i in range(0, len(scalars), 512)]
    got = run_driver(driver, chunks, quote=True)
    for chunk, obj in zip(chunks, got):
        model = path_model.quote_name(chunk, ge)
        if model != obj["quoted"]:
            for c in chunk:
                m = path_model.quote_name(c, ge)
                d = run_driver(driver, [c], quote=True)[0]["quoted"]
                if m != d:
                    failures.append(f"U+{ord(c):04X}: model {m!r} != driver {d!r}")
                    break
    return report(failures, "quoted names")


def check_speed(driver, limit_seconds):
    cases = {
        "100,000 nested parentheses": "(" * 100_000 + ")" * 100_000,
        "100,000 unclosed parentheses": "(" * 100_000,
        "a million-character path": "(a)" + "-[e:T]->(a)" * 90_000,
        "interrupted edge texts": "(a)" + " - [ e ] -> (a)" * 70_000,
        "one huge edge body": "(a)-[" + "é" * 500_000 + "]->(b)",
        "deep brackets": "(a)" + "-" + "[" * 300_000 + "]" * 300_000 + "->(b)",
        "a million characters in one node": "(" + "x:" * 500_000 + ")",
        "a late unexpected character": "(a)" + "-[e]->(a)" * 100_000 + "?",
    }
    failures = []
    for title, text in cases.items():
        start = time.perf_counter()
        obj = run_driver(driver, [text])[0]
        elapsed = time.perf_counter() - start
        verdict = "ok" if obj["ok"] else obj["error"][-60:]
        print(f"speed: {title} ({len(text)} chars): {elapsed * 1000:.1f} ms, {verdict}")
        if elapsed > limit_seconds:
            failures.append(f"{title}: {elapsed:.2f} s")
        model = from_model(path_model.parse(text))
        if model != from_driver(obj):
            failures.append(f"{title}: model and driver disagree")
    return report(failures, "long inputs")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--driver", help="a built path_parser_driver (default: build one)")
    parser.add_argument("--count", type=int, default=200_000)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--ucd", default=UCD_FILE, help="DerivedCoreProperties.txt")
    parser.add_argument("--time-limit", type=float, default=2.0,
                        help="seconds allowed per long input (process start included)")
    args = parser.parse_args()
    if sys.version_info < (3, 13):
        raise SystemExit("needs CPython 3.13+ (printability must match the module's)")
    seed = args.seed if args.seed is not None else random.randrange(2**32)
    print(f"seed {seed}")
    with tempfile.TemporaryDirectory() as tmp:
        driver = args.driver or build_driver(tmp)
        differences = check_expected(driver)
        differences += check_random(driver, random.Random(seed), args.count)
        differences += check_quote(driver, args.ucd)
        differences += check_speed(driver, args.time_limit)
    print(f"{differences} difference(s)")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
