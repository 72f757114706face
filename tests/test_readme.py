"""The README's snippets run, in order, as one program."""

import re
from pathlib import Path

README = Path(__file__).resolve().parent.parent / "README.md"


def readme_tour():
    """The README's Python snippets as one program, each at its README line."""
    text = README.read_text()
    program = ""
    for match in re.finditer(r"```python\n(.*?)```", text, flags=re.DOTALL):
        first_line = text[:match.start(1)].count("\n")
        program += "\n" * (first_line - program.count("\n")) + match.group(1)
    return program


def test_readme_snippets_run():
    program = readme_tour()
    assert program.count("assert ") >= 6
    exec(compile(program, str(README), "exec"), {})
