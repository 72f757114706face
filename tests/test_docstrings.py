"""Every public callable of pykesta has a numpy-layout docstring whose examples run.

Public: the names in a module's ``__all__`` (else those without a leading
underscore that the module defines), and a class's own members without one.
``python -m tests.test_docstrings`` prints how many there are and how many
have each section.
"""

import doctest
import importlib
import inspect
import os
import re
import sys
import tempfile

import pytest

MODULES = ("pykesta.knotmath", "pykesta.curvetypes", "pykesta.trajops", "pykesta.planning",
           "pykesta.factory", "pykesta.bspline", "pykesta")
SECTIONS = ("Parameters", "Returns", "Raises", "See Also", "Notes", "Examples")
HEADER = re.compile(r"^([A-Z][A-Za-z ]+)\n-{3,}$", re.M)
FLAGS = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE


class Item:
    """One documented object: kind is module, class, routine or property."""

    def __init__(self, name, obj, kind, doc):
        self.name, self.obj, self.kind = name, obj, kind
        self.doc = inspect.cleandoc(doc or "")
        self.sections = set(HEADER.findall(self.doc))
        self.examples = doctest.DocTestParser().get_examples(self.doc)

    def required(self):
        if self.kind == "module":
            return ()
        needed = []
        if self.kind in ("class", "routine") and takes_arguments(self.obj):
            needed.append("Parameters")
        if self.kind == "routine":
            needed += ["Returns", "Raises"]
        return (*needed, "Examples")

    def missing(self):
        missing = [s for s in self.required() if s not in self.sections]
        if not self.doc or HEADER.match(self.doc):
            missing.insert(0, "summary")
        if "Examples" in self.sections and not self.examples:
            missing.append("Examples (no example in it)")
        return missing

    def run_examples(self):
        """The doctest report of the examples; empty when they pass."""
        test = doctest.DocTest(self.examples, {"__name__": "__doctest__"}, self.name, None, 0,
                               self.doc)
        report = []
        doctest.DocTestRunner(optionflags=FLAGS).run(test, out=report.append)
        return "".join(report)


def takes_arguments(obj):
    try:
        parameters = inspect.signature(obj).parameters
    except (TypeError, ValueError):
        return False
    return any(name not in ("self", "cls") for name in parameters)


def member_kind(raw):
    if isinstance(raw, (staticmethod, classmethod)) or inspect.isroutine(raw):
        return "routine"
    if isinstance(raw, property) or inspect.isgetsetdescriptor(raw) or \
            inspect.ismemberdescriptor(raw):
        return "property"
    return None


def class_members(cls):
    for name, raw in vars(cls).items():
        kind = member_kind(raw)
        if kind and not name.startswith("_"):
            obj = getattr(cls, name) if kind == "routine" else raw
            yield Item(f"{cls.__module__}.{cls.__qualname__}.{name}", obj, kind, obj.__doc__)


def public_objects(module):
    names = getattr(module, "__all__", None)
    if names is None:
        names = [name for name, obj in vars(module).items() if not name.startswith("_")
                 and getattr(obj, "__module__", None) == module.__name__]
    return [getattr(module, name) for name in names]


def collect():
    """The module docstrings and every public callable, each once, where it is defined."""
    items, seen = [], set()
    for module_name in MODULES:
        module = importlib.import_module(module_name)
        items.append(Item(module_name, module, "module", module.__doc__))
        for obj in public_objects(module):
            if not callable(obj) or id(obj) in seen:
                continue
            seen.add(id(obj))
            name = f"{module_name}.{obj.__name__}"
            if inspect.isclass(obj):
                items.append(Item(name, obj, "class", obj.__doc__))
                items.extend(class_members(obj))
            else:
                items.append(Item(name, obj, "routine", obj.__doc__))
    return items


ITEMS = collect()


@pytest.mark.parametrize("item", ITEMS, ids=[item.name for item in ITEMS])
def test_docstring_has_its_sections_and_its_examples_run(item, tmp_path, monkeypatch):
    assert not item.missing(), f"{item.name} lacks: {', '.join(item.missing())}"
    monkeypatch.chdir(tmp_path)
    report = item.run_examples()
    assert not report, report
    assert not list(tmp_path.iterdir()), "examples must write files in a TemporaryDirectory only"


def coverage(items=ITEMS):
    """Per module and in total: callables, how many have each section, how many are complete."""
    columns = ("callables", "summary", *SECTIONS, "complete")
    table = {}
    for item in items:
        if item.kind == "module":
            continue
        module = max((m for m in MODULES if item.name.startswith(m + ".")), key=len)
        missing = item.missing()
        has = (True, "summary" not in missing, *(s in item.sections for s in SECTIONS),
               not missing)
        for row in (module, "total"):
            counts = table.setdefault(row, dict.fromkeys(columns, 0))
            for column, present in zip(columns, has):
                counts[column] += present
    table["total"] = table.pop("total")
    return table


def main():
    table = coverage()
    columns = list(table["total"])
    print(f"{'':20}" + "".join(f"{c:>11}" for c in columns))
    for row, counts in table.items():
        print(f"{row:20}" + "".join(f"{counts[c]:>11}" for c in columns))
    here = os.getcwd()
    with tempfile.TemporaryDirectory() as scratch:
        os.chdir(scratch)
        failing = [item.name for item in ITEMS if item.run_examples()]
        os.chdir(here)
    print(f"examples failing: {len(failing)}", *failing, sep="\n  ")


if __name__ == "__main__":
    sys.exit(main())
