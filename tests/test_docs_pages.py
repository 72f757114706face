"""The examples of the documentation pages run as doctests: a page that shows
a wrong result or a call that no longer works fails here, not on the site."""

import doctest
from pathlib import Path

import pytest

DOCS = Path(__file__).resolve().parent.parent / "docs"
PAGES = sorted(page for page in DOCS.glob("**/*.rst")
               if not {"_build", "auto_examples"} & set(page.relative_to(DOCS).parts)
               and ">>> " in page.read_text(encoding="utf-8"))


def test_the_guide_pages_have_examples():
    names = {page.stem for page in PAGES}
    assert {"getting_started", "concepts", "planning", "document_format"} <= names


@pytest.mark.parametrize("page", PAGES, ids=[str(page.relative_to(DOCS)) for page in PAGES])
def test_page_examples(page):
    result = doctest.testfile(str(page), module_relative=False, encoding="utf-8",
                              optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE,
                              raise_on_error=False, verbose=False)
    assert result.attempted > 0
    assert result.failed == 0, f"{result.failed} of {result.attempted} examples failed, shown above"
