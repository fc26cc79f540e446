"""Reference model of type-schema matching, for differential tests.

This is a literal, unoptimised reading of the rules by which a schema text is
matched against a type, written to be checked line by line against them and
compared (with hypothesis) with the compiled matcher behind ``TypeSchema``.
Every step builds its sub-texts as new strings and recurses, exactly as the
rules are stated; it is meant for small inputs only.

Types are plain tuples: ``("var", name)`` for a type variable and
``("app", left, right)`` for a function type. ``from_voralix`` and
``to_voralix`` convert from and to voralix ``Variable``/``Application``
objects.

``match(pattern, type)`` returns ``(matched, captures)`` where ``captures`` is
a list of ``(name, type)`` pairs in the order the names were first written; a
name written again keeps its place and takes the new type. A failed match
returns ``(False, [])``. ``TypeSchema.capture`` returns a dict whose key order
is not promised, so compare ``dict(captures)`` with it, not the order.

One input is left open by the rules: a text that is a single dollar sign after
trimming passes the simple-variable test but has no inner text. Like the
compiled matcher, this model treats it as matching nothing.
"""

# Characters with the Unicode White_Space property. str.strip() without
# arguments is not used: it also strips U+001C..U+001F, which are not in it.
WHITE_SPACE = (
    "\t\n\v\f\r \u0085\u00a0\u1680"
    "\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a"
    "\u2028\u2029\u202f\u205f\u3000"
)


def trim(text):
    return text.strip(WHITE_SPACE)


def var(name):
    return ("var", name)


def app(left, right):
    return ("app", left, right)


def _put(captures, name, type_):
    for i, (existing, _) in enumerate(captures):
        if existing == name:
            captures[i] = (name, type_)
            return
    captures.append((name, type_))


def _match(p, t, captures):
    # 1. Trim.
    p = trim(p)

    # 2. Wildcard.
    if p == "$*$":
        return True

    # 3. Simple variable.
    if (p.startswith("$") and p.endswith("$") and "->" not in p
            and ":" not in p and "(" not in p):
        if p == "$":
            return False  # no inner text: matches nothing
        inner = p[1:-1]  # not trimmed
        if inner == "*":
            return True
        return t[0] == "var" and t[1] == inner

    # 4. Capture group.
    if p.startswith("$(") and p.endswith(")$"):
        inner = p[2:-2]
        colon = inner.find(":")
        if colon < 0:
            return False
        name = trim(inner[:colon])
        sub = trim(inner[colon + 1:])
        if not _match("$" + sub + "$", t, captures):
            return False
        _put(captures, name, t)
        return True

    # 5. Function type.
    if "->" in p:
        r = p
        if r.startswith("$") and r.endswith("$"):
            r = r[1:-1]
        if r.startswith("(") and r.endswith(")"):
            r = r[1:-1]
        depth = 0
        split = -1
        for i, c in enumerate(r):
            if c == "(":
                depth += 1
            elif c == ")":
                depth -= 1
            elif c == "-" and r[i + 1:i + 2] == ">" and depth == 0:
                split = i
                break
        if split < 0:
            return False
        left = trim(r[:split])
        right = trim(r[split + 2:])
        if t[0] != "app":
            return False
        if not _match("$" + left + "$", t[1], captures):
            return False
        return _match("$" + right + "$", t[2], captures)

    # 6. Exact name: the whole trimmed text, dollar signs included.
    return t[0] == "var" and t[1] == p


def match(pattern, type_):
    """Returns (matched, captures) for a schema text and a tuple type."""
    captures = []
    if _match(pattern, type_, captures):
        return True, captures
    return False, []


def matches(pattern, type_):
    return match(pattern, type_)[0]


def from_voralix(obj):
    """Converts a voralix Variable/Application object to the tuple form."""
    # Post-order with an explicit stack, so deep types do not hit the
    # recursion limit.
    stack = [(obj, False)]
    done = []
    while stack:
        o, expanded = stack.pop()
        if hasattr(o, "name"):
            done.append(("var", o.name))
        elif expanded:
            right = done.pop()
            left = done.pop()
            done.append(("app", left, right))
        else:
            stack.append((o, True))
            stack.append((o.right, False))
            stack.append((o.left, False))
    return done[0]


def to_voralix(type_, variable_class, application_class):
    """Builds voralix objects from the tuple form, given the two classes."""
    stack = [(type_, False)]
    done = []
    while stack:
        t, expanded = stack.pop()
        if t[0] == "var":
            done.append(variable_class(t[1]))
        elif expanded:
            right = done.pop()
            left = done.pop()
            done.append(application_class(left, right))
        else:
            stack.append((t, True))
            stack.append((t[2], False))
            stack.append((t[1], False))
    return done[0]
