"""How the gallery runs the examples of examples/.

The examples are scripts a user runs; each writes its picture into
examples/out/<example>.png and closes its figure. The gallery shows that
picture under the example instead of capturing open figures.
"""

import shutil
from pathlib import Path

OUT = Path(__file__).resolve().parent.parent / "examples" / "out"

# The order of the gallery: from building a trajectory to scaling out.
ORDER = ["velocity_profile.py", "fitted_measurement.py", "three_axis_move.py",
         "parallel_evaluation.py"]

# Samples (all, in one call) of the dask example during the build: a tenth of
# its default run keeps the build short and still runs several tasks.
ARGUMENTS = {"parallel_evaluation.py": ["100000000", "10000000"]}


class ExampleOrder:
    """Sort key of the gallery: the order of ORDER, then unknown files by name."""

    def __init__(self, src_dir):
        self.src_dir = src_dir

    def __call__(self, filename):
        return (ORDER.index(filename) if filename in ORDER else len(ORDER), filename)

    def __repr__(self):
        return f"ExampleOrder({ORDER})"


def picture_of(src_file):
    return OUT / (Path(src_file).stem + ".png")


def forget_written_picture(gallery_conf, fname, when=None):
    """Before an example runs, remove the picture an earlier run left behind."""
    if when == "before":
        picture_of(fname).unlink(missing_ok=True)


def written_picture(block, block_vars, gallery_conf):
    """The picture the example wrote, copied to where the gallery keeps images."""
    from sphinx_gallery.scrapers import figure_rst

    picture = picture_of(block_vars["src_file"])
    if not picture.exists() or picture in block_vars.setdefault("shown_pictures", set()):
        return ""
    block_vars["shown_pictures"].add(picture)
    target = next(block_vars["image_path_iterator"])
    shutil.copyfile(picture, target)
    return figure_rst([target], gallery_conf["src_dir"])


def arguments(gallery_conf, script_vars):
    return ARGUMENTS.get(Path(script_vars["src_file"]).name, [])
