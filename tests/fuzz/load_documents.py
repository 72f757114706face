"""Loads documents with both loaders and prints what came of each, as JSON lines.

Run in a child interpreter (tests/test_corrupt_documents.py does), with the
address space capped so that a runaway allocation ends in MemoryError:

    python tests/fuzz/load_documents.py MANIFEST

MANIFEST is a JSON list of {"name", "path", "ids"}. For each document and ID,
Trajectory1d.loadxml and Point1d.loadxml are called; the line printed for a
document holds, per call, the outcome (the exception's class name, or
"returned") with its message, and for a loaded object its numbers. The name of
the document being loaded goes to stderr first, so that a crash names it.
"""

import json
import sys

import limits
from pykesta.curvetypes import Point1d, Trajectory1d

SHOWN = 64  # longer arrays are summarised by their length and ends


def listed(array):
    values = array.tolist()
    if len(values) <= SHOWN:
        return values
    return {"length": len(values), "head": values[:4], "tail": values[-4:]}


def numbers(obj):
    if isinstance(obj, Trajectory1d):
        return {"p": obj.p, "n": obj.n, "order": obj.order, "owner": obj._getAttrib()["owner"],
                "knots": listed(obj.get_knotvector_asarray()),
                "cpts": listed(obj.get_cpts_asarray())}
    return {"t": obj.t, "val": obj.val, "order": obj.order}


def load(loader, path, ID):
    record = {"loader": loader.__name__, "ID": ID}
    try:
        obj = loader.loadxml(path, ID)
    except Exception as error:
        record.update(outcome=type(error).__name__, message=str(error)[:4000])
    else:
        record.update(outcome="returned", message="", result=numbers(obj))
    return record


def main():
    limits.limit_address_space()
    with open(sys.argv[1]) as manifest:
        documents = json.load(manifest)
    for document in documents:
        print(f"loading {document['name']}", file=sys.stderr, flush=True)
        records = [load(loader, document["path"], ID)
                   for ID in document["ids"] for loader in (Trajectory1d, Point1d)]
        print(json.dumps({"document": document["name"], "records": records}), flush=True)


if __name__ == "__main__":
    main()
