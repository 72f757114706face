"""The README's snippets run, in order, as one program."""

import re
from pathlib import Path

README = Path(__file__).resolve().parent.parent / "README.md"


def test_readme_snippets_run():
    blocks = re.findall(r"```python\n(.*?)```", README.read_text(), flags=re.DOTALL)
    assert len(blocks) >= 6
    namespace = {}
    text = README.read_text()
    for block in blocks:
        # Compile with the README's line numbers so that a failure points at the snippet.
        first_line = text[:text.index(block)].count("\n")
        exec(compile("\n" * first_line + block, str(README), "exec"), namespace)
