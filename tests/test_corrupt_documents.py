"""Damaged documents load into a Python exception, or into their specified result;
none crashes, hangs, allocates without bound or lets the content of a file it
refers to come through.

The documents are written by these tests, from text, into a temporary folder;
each group of them is loaded (Trajectory1d.loadxml and Point1d.loadxml) by
tests/fuzz/load_documents.py in a child interpreter whose address space is
capped, where a MemoryError is a failure too.
"""

import json
import math
import subprocess
from dataclasses import dataclass

import pytest

from fuzz.children import outcome, run_script

# Refusals of a document whose content is outside the contract (the choice of
# exception is the implementation's): anything but these is a failure.
REFUSED = ("CorruptedFileError", "ValueError", "IndexError", "TypeError", "OverflowError",
           "AttributeError", "XMLSyntaxError")
SECRET_WORD = "SECRET-MARKER-93F1"
SECRET_NUMBER = "7.2514159"
SECRET_DTD_WORD = "SECRET-MARKER-DTD"
SECRETS = (SECRET_WORD, SECRET_NUMBER, SECRET_DTD_WORD)


# What a load may come to: one of the named exceptions (with the message
# containing `message`), a loaded object showing the given fields, or either of
# several of these.
@dataclass(frozen=True)
class Raises:
    names: tuple
    message: str = ""


@dataclass(frozen=True)
class Returns:
    fields: tuple  # (name, value) pairs the loaded object must show


@dataclass(frozen=True)
class Either:
    choices: tuple


def returns(**fields):
    return Returns(tuple(fields.items()))


def raises(*names, message=""):
    return Raises(names, message)


PARSE_ERROR = raises("XMLSyntaxError")
NO_MATCH = raises("ValueError", message="no match for ID: a")
REFUSAL = raises(*REFUSED)
GOOD_TRAJECTORY = returns(p=1, n=1, order=0, owner="True", knots=[0.0, 0.0, 1.0, 1.0],
                          cpts=[2.0, 3.0])
GOOD_POINT = returns(t=0.5, val=1.5, order=1)


def trajectory(**changes):
    """A Trajectory1d element with ID a; a change of None leaves out that
    attribute or child, `tail` is markup after the children; texts go in as
    they are (entities included)."""
    attributes = {"ID": "a", "p": "1", "n": "1", "owner": "True", "order": "0", "start": "0.0",
                  "stop": "1.0"}
    children = {"cpts": "2.0 3.0", "knots": "0.0 0.0 1.0 1.0"}
    tail = changes.pop("tail", "")
    for key, value in changes.items():
        (children if key in children else attributes)[key] = value
    shown = " ".join(f'{k}="{v}"' for k, v in attributes.items() if v is not None)
    inner = "".join(f"<{k}>{v}</{k}>" for k, v in children.items() if v is not None)
    return f"<Trajectory1d {shown}>{inner}{tail}</Trajectory1d>"


def point(**changes):
    attributes = {"ID": "a", "t": "0.5", "val": "1.5", "order": "1", **changes}
    shown = " ".join(f'{k}="{v}"' for k, v in attributes.items() if v is not None)
    return f"<Point1d {shown}/>"


def document(*elements, root="PyKESTAObjectList", prolog=""):
    return (f'<?xml version="1.0" encoding="utf-8"?>\n{prolog}<{root}>{"".join(elements)}'
            f"</{root}>\n")


VALID = document(trajectory(), point())


def doctype(declarations):
    return f"<!DOCTYPE PyKESTAObjectList [{declarations}]>\n"


def laughs(levels=10):
    lines = ['<!ENTITY lol0 "lol">']
    lines += [f'<!ENTITY lol{i} "{f"&lol{i - 1};" * 10}">' for i in range(1, levels)]
    return doctype("".join(lines))


def clamped(p, n):
    inner = [str(round(i / (n - p + 1), 9)) for i in range(1, n - p + 1)]
    return " ".join(["0.0"] * (p + 1) + inner + ["1.0"] * (p + 1))


# name: (text, or bytes for a damaged encoding; expectation for
#        Trajectory1d.loadxml(path, "a"); for Point1d.loadxml(path, "a"))
STRUCTURE = {
    "valid": (VALID, GOOD_TRAJECTORY, GOOD_POINT),
    "empty file": ("", PARSE_ERROR, PARSE_ERROR),
    "declaration only": ('<?xml version="1.0"?>\n', PARSE_ERROR, PARSE_ERROR),
    "not XML": ("p = 1, n = 1\n", PARSE_ERROR, PARSE_ERROR),
    "truncated in the root": (VALID[:60], PARSE_ERROR, PARSE_ERROR),
    "truncated in a number list": (VALID[: VALID.index("3.0")], PARSE_ERROR, PARSE_ERROR),
    "truncated before the end": (VALID[:-25], PARSE_ERROR, PARSE_ERROR),
    "wrong root": (document(trajectory(), point(), root="Other"), NO_MATCH, NO_MATCH),
    "namespaced root": (VALID.replace("<PyKESTAObjectList>",
                                      '<PyKESTAObjectList xmlns="urn:other">'), NO_MATCH, NO_MATCH),
    "objects one level too deep": (document(f"<Group>{trajectory()}{point()}</Group>"),
                                   NO_MATCH, NO_MATCH),
    "no objects": (document(), NO_MATCH, NO_MATCH),
    "missing cpts": (document(trajectory(cpts=None)), raises("IndexError"), NO_MATCH),
    "missing knots": (document(trajectory(knots=None)), raises("IndexError"), NO_MATCH),
    "empty cpts": (document(trajectory(cpts="")), raises("AttributeError"), NO_MATCH),
    "self-closing knots": (document(trajectory().replace("<knots>0.0 0.0 1.0 1.0</knots>",
                                                         "<knots/>")),
                           raises("AttributeError"), NO_MATCH),
    "cpts inside an element": (document(trajectory(cpts="<b>2.0 3.0</b>")),
                               raises("AttributeError"), NO_MATCH),
    "comment in a number list": (document(trajectory(cpts="2.0 <!-- c -->3.0")),
                                 raises("ValueError", "CorruptedFileError"), NO_MATCH),
    "CDATA number list": (document(trajectory(cpts="<![CDATA[2.0 3.0]]>")), GOOD_TRAJECTORY,
                          NO_MATCH),
    "two objects under one ID": (document(trajectory(cpts="5.0 6.0"), trajectory(), point(),
                                          point(t="9.0")),
                                 returns(cpts=[5.0, 6.0]), GOOD_POINT),
    "undefined entity": (document(trajectory(cpts="&nowhere;")), PARSE_ERROR, PARSE_ERROR),
    "NUL character": (VALID.replace("2.0 3.0", "2.0\x003.0"), PARSE_ERROR, PARSE_ERROR),
    # lxml reports bytes that do not decode as an input error
    "invalid UTF-8": (VALID.encode().replace(b"2.0 3.0", b"2.0 \xff3.0"),
                      raises("XMLSyntaxError", "OSError"), raises("XMLSyntaxError", "OSError")),
    "UTF-16": (VALID.replace('"utf-8"', '"utf-16"').encode("utf-16"), GOOD_TRAJECTORY,
               GOOD_POINT),
}

NUMBERS = {
    "non-numeric cpts": (document(trajectory(cpts="two three")), raises("ValueError"),
                         NO_MATCH),
    "partly numeric knots": (document(trajectory(knots="0.0 0.0 one 1.0")),
                             raises("ValueError"), NO_MATCH),
    "two blanks in a row": (document(trajectory(cpts="2.0  3.0")), raises("ValueError"),
                            NO_MATCH),
    "blank only": (document(trajectory(cpts=" ")), raises("ValueError", "CorruptedFileError"),
                   NO_MATCH),
    "tab separated": (document(trajectory(cpts="2.0\t3.0")),
                      raises("ValueError", "CorruptedFileError"), NO_MATCH),
    "line separated": (document(trajectory(cpts="2.0\n3.0")),
                       raises("ValueError", "CorruptedFileError"), NO_MATCH),
    "hexadecimal float": (document(trajectory(cpts="0x1p3 2.0")), raises("ValueError"),
                          NO_MATCH),
    "special values": (document(trajectory(cpts="inf -inf", knots="-0.0 -0.0 nan 1e308")),
                       returns(cpts=[math.inf, -math.inf], knots=[-0.0, -0.0, math.nan, 1e308]),
                       NO_MATCH),
    "out of range literals": (document(trajectory(cpts="1e400 1e-400")),
                              returns(cpts=[math.inf, 0.0]), NO_MATCH),
    "the interpreter's float syntax": (document(trajectory(cpts="1_000.5 \u0663",
                                                           knots="0 0 1E0 +1e0")),
                                       returns(cpts=[1000.5, 3.0], knots=[0.0, 0.0, 1.0, 1.0]),
                                       NO_MATCH),
    "more numbers than needed": (document(trajectory(cpts="2.0 3.0 4.0 5.0",
                                                     knots="0.0 0.0 1.0 1.0 7.0")),
                                 GOOD_TRAJECTORY, NO_MATCH),
    "point t not a number": (document(point(t="abc")), NO_MATCH, raises("ValueError")),
    "point without val": (document(point(val=None)), NO_MATCH, raises("TypeError")),
    "point order -1": (document(point(order="-1")), NO_MATCH, raises("OverflowError")),
    "point order 2**32": (document(point(order="4294967296")), NO_MATCH,
                          raises("OverflowError")),
    "point order fractional": (document(point(order="1.5")), NO_MATCH, raises("ValueError")),
}

COUNTS = {
    "too few cpts": (document(trajectory(cpts="2.0")), REFUSAL, NO_MATCH),
    "too few knots": (document(trajectory(knots="0.0 1.0")), REFUSAL, NO_MATCH),
    "n larger than the lists": (document(trajectory(n="5")), REFUSAL, NO_MATCH),
    "p larger than the lists": (document(trajectory(p="3")), REFUSAL, NO_MATCH),
    "negative p": (document(trajectory(p="-1")), REFUSAL, NO_MATCH),
    "negative n": (document(trajectory(n="-1")), REFUSAL, NO_MATCH),
    "negative p and n": (document(trajectory(p="-1", n="-1")), REFUSAL, NO_MATCH),
    "p of -2": (document(trajectory(p="-2", n="1", knots="0.0")), REFUSAL, NO_MATCH),
    "absurd n": (document(trajectory(n="2000000000")), REFUSAL, NO_MATCH),
    "absurd p": (document(trajectory(p="2000000000")), REFUSAL, NO_MATCH),
    "absurd p and n": (document(trajectory(p="2000000000", n="2000000000")), REFUSAL,
                       NO_MATCH),
    "largest n": (document(trajectory(n="2147483647")), REFUSAL, NO_MATCH),
    "largest p and n": (document(trajectory(p="2147483647", n="2147483647")), REFUSAL,
                        NO_MATCH),
    "p beyond 32 bits": (document(trajectory(p="99999999999")), raises("OverflowError"),
                         NO_MATCH),
    "n of 5000 digits": (document(trajectory(n="1" + "0" * 5000)),
                         raises("ValueError", "OverflowError"), NO_MATCH),
    "fractional p": (document(trajectory(p="1.5")), raises("ValueError"), NO_MATCH),
    "empty p": (document(trajectory(p="")), raises("ValueError"), NO_MATCH),
    "without p": (document(trajectory(p=None)), raises("TypeError"), NO_MATCH),
    "without order": (document(trajectory(order=None)), raises("TypeError"), NO_MATCH),
    "order -1": (document(trajectory(order="-1")), returns(order=4294967295), NO_MATCH),
    "owner False": (document(trajectory(owner="False")), returns(owner="True"), NO_MATCH),
    "owner empty": (document(trajectory(owner="")), returns(owner="False"), NO_MATCH),
    "without owner": (document(trajectory(owner=None)), returns(owner="False"), NO_MATCH),
}


def entities(folder):
    """DOCTYPEs that declare entities, some of them naming files of `folder`
    whose content must not come through."""
    word = folder / "secret.txt"
    word.write_text(SECRET_WORD)
    numbers = folder / "numbers.txt"
    numbers.write_text(f"0.0 0.0 {SECRET_NUMBER} {SECRET_NUMBER}")
    dtd = folder / "secret.dtd"
    dtd.write_text(f'<!ENTITY leak "{SECRET_DTD_WORD}">')
    internal = doctype('<!ENTITY nums "2.0 3.0">')
    external = doctype(f'<!ENTITY ext SYSTEM "{word.as_uri()}">'
                       f'<!ENTITY num SYSTEM "{numbers.as_uri()}">')
    blowup = doctype(f'<!ENTITY a "{"a" * 50_000}">')
    xinclude = (f'<xi:include xmlns:xi="http://www.w3.org/2001/XInclude" href="{word.as_uri()}" '
                'parse="text"/>')
    return {
        "internal entity": (document(trajectory(cpts="&nums;"), prolog=internal),
                            Either((GOOD_TRAJECTORY, REFUSAL)), NO_MATCH),
        "external entity of text": (document(trajectory(knots="&ext;"), prolog=external),
                                    REFUSAL, NO_MATCH),
        "external entity of numbers": (document(trajectory(knots="&num;"), prolog=external),
                                       REFUSAL, NO_MATCH),
        "external entity in a point": (document(point(), trajectory(cpts="2.0 &ext;"),
                                                prolog=external),
                                       REFUSAL, GOOD_POINT),
        "external DTD": (document(trajectory(cpts="&leak;"),
                                  prolog=f'<!DOCTYPE PyKESTAObjectList SYSTEM "{dtd.as_uri()}">\n'),
                         Either((REFUSAL, PARSE_ERROR)), Either((NO_MATCH, PARSE_ERROR))),
        "external parameter entity": (document(trajectory(cpts="&leak;"), prolog=doctype(
            f'<!ENTITY % ext SYSTEM "{dtd.as_uri()}"> %ext;')),
                                      Either((REFUSAL, PARSE_ERROR)),
                                      Either((NO_MATCH, PARSE_ERROR))),
        "network entity": (document(trajectory(cpts="&net;"), prolog=doctype(
            '<!ENTITY net SYSTEM "http://127.0.0.1:9/numbers">')), REFUSAL, NO_MATCH),
        "XInclude": (document(trajectory(cpts=xinclude)), REFUSAL, NO_MATCH),
        "billion laughs": (document(trajectory(cpts="&lol9;"), point(), prolog=laughs()),
                           REFUSAL, Either((GOOD_POINT, PARSE_ERROR))),
        "quadratic blowup": (document(trajectory(cpts="&a;" * 2000), point(), prolog=blowup),
                             REFUSAL, Either((GOOD_POINT, PARSE_ERROR))),
    }


def sizes():
    large_n = 400_000
    huge_n = 1_500_000
    deep = 50_000
    many = "".join(point(ID=f"p{i}", t=str(i)) for i in range(100_000))
    return {
        "deeply nested before the objects": (
            document("<x>" * deep + "</x>" * deep, trajectory(), point()),
            Either((GOOD_TRAJECTORY, PARSE_ERROR)), Either((GOOD_POINT, PARSE_ERROR))),
        "deeply nested in a trajectory": (
            document(trajectory(tail="<x>" * deep + "</x>" * deep)),
            Either((GOOD_TRAJECTORY, PARSE_ERROR)), Either((NO_MATCH, PARSE_ERROR))),
        "deeply nested in a number list": (
            document(trajectory(cpts="<x>" * deep + "2.0 3.0" + "</x>" * deep)),
            REFUSAL, Either((NO_MATCH, PARSE_ERROR))),
        "large trajectory": (
            document(trajectory(p="3", n=str(large_n), knots=clamped(3, large_n),
                                cpts=" ".join(["1.5"] * (large_n + 1)))),
            returns(p=3, n=large_n), NO_MATCH),
        "number list beyond ten megabytes": (
            document(trajectory(p="0", n=str(huge_n), knots=clamped(0, huge_n),
                                cpts=" ".join(["-12345.678"] * (huge_n + 1)))),
            Either((returns(p=0, n=huge_n), PARSE_ERROR)), Either((NO_MATCH, PARSE_ERROR))),
        "a hundred thousand objects": (document(many, trajectory(), point()), GOOD_TRAJECTORY,
                                       GOOD_POINT),
    }


def same(expected, found):
    if isinstance(expected, float) and isinstance(found, float):
        return expected == found or (math.isnan(expected) and math.isnan(found))
    if isinstance(expected, list):
        return (isinstance(found, list) and len(found) == len(expected)
                and all(same(e, f) for e, f in zip(expected, found)))
    return expected == found


def meets(expectation, record):
    if isinstance(expectation, Either):
        return any(meets(choice, record) for choice in expectation.choices)
    if isinstance(expectation, Raises):
        return record["outcome"] in expectation.names and expectation.message in record["message"]
    return record["outcome"] == "returned" and all(
        same(value, record["result"].get(name)) for name, value in expectation.fields)


def load_all(folder, corpus):
    """Writes the documents, loads them in a child and returns the failures."""
    manifest = []
    for number, (name, (text, _, _)) in enumerate(corpus.items()):
        path = folder / f"document{number}.pykesta"
        path.write_bytes(text if isinstance(text, bytes) else text.encode())
        manifest.append({"name": name, "path": str(path), "ids": ["a"]})
    listing = folder / "manifest.json"
    listing.write_text(json.dumps(manifest))
    try:
        run = run_script("load_documents.py", listing, timeout=600)
    except subprocess.TimeoutExpired as expired:
        stderr = expired.stderr.decode(errors="replace") if expired.stderr else ""
        pytest.fail(f"loading hangs: {stderr.strip().splitlines()[-1:]}")
    status = run.returncode
    assert status == 0, (f"{outcome(status)} after {run.stderr.strip().splitlines()[-1:]}\n"
                         f"{run.stderr[-6000:]}")
    failures = []
    lines = [json.loads(line) for line in run.stdout.splitlines()]
    assert [line["document"] for line in lines] == list(corpus)
    for line in lines:
        _, for_trajectory, for_point = corpus[line["document"]]
        for record, expectation in zip(line["records"], (for_trajectory, for_point)):
            shown = json.dumps(record)
            if not meets(expectation, record):
                failures.append(f"{line['document']}: {expectation} expected, got {shown[:600]}")
            if any(secret in shown for secret in SECRETS):
                failures.append(f"{line['document']}: a referenced file came through: {shown}")
    return failures


@pytest.mark.parametrize("group", ["structure", "numbers", "counts", "entities", "sizes"])
def test_damaged_documents_load_safely(group, tmp_path):
    corpus = {"structure": lambda: STRUCTURE, "numbers": lambda: NUMBERS,
              "counts": lambda: COUNTS, "entities": lambda: entities(tmp_path),
              "sizes": sizes}[group]()
    failures = load_all(tmp_path, corpus)
    assert not failures, "\n".join(failures)


def test_missing_file_and_folder(tmp_path):
    folder = tmp_path / "folder.pykesta"
    folder.mkdir()
    manifest = [{"name": "missing", "path": str(tmp_path / "missing.pykesta"), "ids": ["a"]},
                {"name": "folder", "path": str(folder), "ids": ["a"]}]
    listing = tmp_path / "manifest.json"
    listing.write_text(json.dumps(manifest))
    run = run_script("load_documents.py", listing, timeout=120)
    status = run.returncode
    assert status == 0, f"{outcome(status)}\n{run.stderr[-4000:]}"
    found = {line["document"]: line["records"] for line in map(json.loads, run.stdout.splitlines())}
    assert {record["outcome"] for record in found["missing"]} <= {"OSError", "FileNotFoundError"}
    assert {record["outcome"] for record in found["folder"]} <= {"OSError", "IsADirectoryError",
                                                                 "XMLSyntaxError"}
