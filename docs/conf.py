"""Sphinx configuration of the pykesta documentation (built by `make docs`)."""

import sys
from pathlib import Path

# The compiled modules are imported here, before Sphinx imports anything: a
# native module that is not yet in sys.modules is loaded by autodoc from its
# type stub (.pyi), whose functions return None, and that stub module then
# stays in sys.modules for the gallery's examples as well.
import pykesta
import pykesta.curvetypes
import pykesta.knotmath
import pykesta.planning
import pykesta.trajops

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))  # gallery_hooks, named by string in sphinx_gallery_conf

project = "pykesta"
author = "The pykesta developers"
copyright = "The pykesta developers"
version = release = pykesta.__version__

extensions = [
    "sphinx.ext.autodoc",
    "numpydoc",
    "sphinx_gallery.gen_gallery",
]

exclude_patterns = ["_build", "sg_execution_times.rst"]
default_role = "code"

# The extension modules carry text signatures, so autodoc shows real signatures;
# annotations of the Python files are left out of them, as the native ones have none.
autodoc_default_options = {"member-order": "bysource"}
autodoc_typehints = "none"
add_module_names = False  # each module has its own page
toc_object_entries_show_parents = "hide"
numpydoc_show_class_members = False

html_theme = "pydata_sphinx_theme"
html_title = f"pykesta {release}"
html_theme_options = {
    "navigation_with_keys": False,
    "header_links_before_dropdown": 6,
    "show_toc_level": 2,
}
# The guide pages have no pages below them: no empty navigation column.
html_sidebars = {page: [] for page in ["install", "getting_started", "concepts", "planning",
                                       "document_format", "performance"]}

sphinx_gallery_conf = {
    "examples_dirs": str(HERE.parent / "examples"),
    "gallery_dirs": "auto_examples",
    "filename_pattern": r"\.py$",  # every example runs during the build
    "within_subsection_order": "gallery_hooks.ExampleOrder",
    "image_scrapers": ("gallery_hooks.written_picture",),
    "reset_modules": ("matplotlib", "gallery_hooks.forget_written_picture"),
    "reset_argv": "gallery_hooks.arguments",
    "download_all_examples": False,
}
