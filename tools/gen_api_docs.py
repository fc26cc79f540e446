"""Writes the API reference (Markdown) from the type stubs and the docstrings.

    python tools/gen_api_docs.py docs/api.md

Signatures come from stubs/voralix-stubs/__init__.pyi, descriptions from the
installed module's docstrings (what help() shows), so the reference says
exactly what users' tools and help() say. Stub entries the installed module
does not have yet are listed as such."""

import ast
import inspect
import pathlib
import re
import sys

import voralix

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "stubs" / "voralix-stubs" / "__init__.pyi"
SECTIONS = ("Args:", "Returns:", "Raises:", "Example:")
# The stub's dict shapes (TypedDict): name -> [(key, value type)].
TYPED_DICTS = {
    node.targets[0].id: [(ast.literal_eval(k), ast.unparse(v))
                         for k, v in zip(node.value.args[1].keys, node.value.args[1].values)]
    for node in ast.parse(STUB.read_text()).body
    if isinstance(node, ast.Assign) and isinstance(node.value, ast.Call)
    and ast.unparse(node.value.func) == "TypedDict"
}
# The stub's private aliases (names the module does not have), spelled out.
PRIVATE_ALIASES = {
    node.target.id: ast.unparse(node.value)
    for node in ast.parse(STUB.read_text()).body
    if isinstance(node, ast.AnnAssign) and node.target.id.startswith("_")
}


def escape(text):
    """Prose for Markdown: markup characters shown as themselves."""
    text = re.sub(r"([\\`*_\[\]{}#|])", r"\\\1", text)
    return text.replace("<", "&lt;").replace(">", "&gt;")


def fenced(lines, language):
    body = "\n".join(lines).rstrip("\n")
    return [f"```{language}", body, "```", ""]


def split_indented(lines):
    """Runs of (indented, lines): text at column 0 and blocks indented under it."""
    runs = []
    for line in lines:
        indented = line.startswith("    ") or (line == "" and runs and runs[-1][0])
        if runs and runs[-1][0] == indented:
            runs[-1][1].append(line)
        else:
            runs.append((indented, [line]))
    return runs


def render_items(lines):
    """The entries of an Args/Returns/Raises section as a list."""
    items = []
    for line in lines:
        if not line.strip():
            continue
        if not line.startswith("        "):
            items.append(line.strip())
        elif items:
            items[-1] += " " + line.strip()
        else:
            items.append(line.strip())
    out = []
    for item in items:
        head, sep, rest = item.partition(": ")
        if sep and len(head) < 60:
            out.append(f"- `{head}`: {escape(rest)}")
        else:
            out.append(f"- {escape(item)}")
    return out + [""]


def render_prose(lines):
    out = []
    for indented, run in split_indented(lines):
        if indented:
            while run and not run[-1].strip():
                run.pop()
            out += fenced([line[4:] for line in run], "text")
        else:
            out += [escape(line) for line in run]
    return out + [""]


def render_docstring(doc):
    """A Google-style docstring as Markdown."""
    lines = inspect.cleandoc(doc).splitlines()
    out, section, body = [], None, []

    def flush():
        if section is None:
            out.extend(render_prose(body))
        elif section == "Example:":
            out.extend(["**Example**", ""] + fenced([l[4:] for l in body], "pycon"))
        elif section == "Returns:":  # one entry, wrapped at the same indent
            out.extend(["**Returns**", ""] + render_items([" ".join(l.strip() for l in body)]))
        else:
            out.extend([f"**{section[:-1]}**", ""] + render_items(body))

    for line in lines:
        if line in SECTIONS:
            flush()
            section, body = line, []
        elif section is not None and line and not line.startswith(" "):
            flush()  # prose after a section ends it
            section, body = None, [line]
        else:
            body.append(line)
    flush()
    return out


def signature(node, owner):
    """The stub's signature of a method as text; a constructor as the class call."""
    node = ast.FunctionDef(**{**node.__dict__})
    node.body = [ast.Expr(ast.Constant(...))]
    node.decorator_list = [d for d in node.decorator_list
                           if isinstance(d, ast.Name) and d.id in ("staticmethod", "classmethod")]
    if node.name == "__new__":
        node.args = ast.arguments(**{**node.args.__dict__})
        node.args.args = node.args.args[1:]  # cls
        node.returns = None
    text = ast.unparse(node).replace("def __new__", f"class {owner}", 1)
    text = text.removesuffix(":\n    ...").removesuffix(": ...")
    text = re.sub(r"=(None|\.\.\.|True|False)(?=[,)])", r" = \1", text)  # PEP 8 spacing
    for alias, meaning in PRIVATE_ALIASES.items():
        text = re.sub(rf"\b{alias}\b", meaning, text)
    return wrap(text)


def wrap(text, width=88):
    """A long signature with one parameter per line."""
    head, _, rest = text.partition("(")
    if len(text) <= width or not rest:
        return text
    depth, parts, current = 0, [], ""
    for i, c in enumerate(rest):
        if c in "([":
            depth += 1
        elif c in ")]":
            if depth == 0:
                tail = rest[i:]
                break
            depth -= 1
        if c == "," and depth == 0:
            parts.append(current.strip())
            current = ""
        else:
            current += c
    parts.append(current.strip())
    lines = [head + "("] + [f"    {part}," for part in parts] + [tail]
    return "\n".join(lines)


def class_members(cls_node):
    """(name, [stub definitions]) in stub order; overloads and setters grouped."""
    members = {}
    for node in cls_node.body:
        if isinstance(node, ast.FunctionDef):
            members.setdefault(node.name, []).append(node)
    return members


def is_property(defs):
    return any(isinstance(d, ast.Name) and d.id == "property" for d in defs[0].decorator_list)


def member_section(cls, name, defs):
    runtime = getattr(cls, name, None)
    qualified = f"{cls.__name__}.{name}"
    if is_property(defs):
        returns = ast.unparse(defs[0].returns)
        access = "read and write" if len(defs) > 1 else "read only"
        out = [f"### `{qualified}`", "", f"Attribute: `{escape(returns)}`, {access}.", ""]
    else:
        out = [f"### `{qualified}()`", ""]
        out += fenced([signature(d, cls.__name__) for d in defs], "python")
    if runtime is None:
        return out + ["Not in this build of the module yet.", ""]
    return out + render_docstring(runtime.__doc__ or "")


def reference():
    tree = ast.parse(STUB.read_text())
    classes = {n.name: n for n in tree.body if isinstance(n, ast.ClassDef)}
    out = [
        "# API reference",
        "",
        "Generated by `tools/gen_api_docs.py` from the type stubs (signatures) and the "
        "docstrings (descriptions); `help()` shows the same text. `Type` stands for "
        "`Variable | Application`.",
        "",
    ]
    out += [f"- [{name}](#{name.lower()})" for name in voralix.__all__] + [""]
    for name, keys in TYPED_DICTS.items():
        out += [f"`{name}` (in signatures) is a dict with these keys:", ""]
        out += [f"- `{key}`: `{value}`" for key, value in keys] + [""]
    for name in voralix.__all__:
        cls, members = getattr(voralix, name), class_members(classes[name])
        out += [f"## {name}", ""]
        out += fenced([signature(members["__new__"][0], name)], "python")
        out += render_docstring(cls.__doc__ or "")
        if "__call__" in members:  # its runtime docstring is CPython's generic one
            out += [f"### `{name}.__call__()`", ""]
            out += fenced([signature(d, name) for d in members["__call__"]], "python")
            out += [f"Calling a {name} applies it; see the class description above.", ""]
        for member, defs in members.items():
            if not member.startswith("_"):
                out += member_section(cls, member, defs)
    return "\n".join(out).rstrip() + "\n"


if __name__ == "__main__":
    target = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "docs" / "api.md"
    target.write_text(reference())
