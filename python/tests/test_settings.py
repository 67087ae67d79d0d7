"""The settings table against the documentation, and each setting through both front ends bit for bit."""
import ast
import json
import os
import re
import subprocess

import numpy as np
import pytest

import veltrin
from veltrin import _veltrin

VELTRIN = os.environ["VELTRIN_EXE"]
SOURCE = os.environ["VELTRIN_SOURCE_DIR"]
EXAMPLE = os.path.join(SOURCE, "examples", "noise_paired.xml")
SETTINGS = _veltrin._settings()


def read_source(*parts):
    with open(os.path.join(SOURCE, *parts), encoding="utf-8") as f:
        return f.read()


def test_readme_and_manual_page_list_exactly_the_table_options():
    options = {row["option"] for row in SETTINGS}
    readme = read_source("README.md")
    cells = [line.split("|")[1] for line in readme.splitlines() if line.startswith("| `-")]
    in_readme = {name for cell in cells for name in re.findall(r"`-[^`]*?--([a-z][a-z-]*)|`--([a-z][a-z-]*)", cell)
                 for name in name if name}
    assert in_readme == options
    page = read_source("doc", "veltrin.1.in")
    entries = [page.splitlines()[k + 1] for k, line in enumerate(page.splitlines()) if line == ".TP"]
    in_page = {name.replace("\\-", "-") for entry in entries for name in re.findall(r"\\-\\-((?:[a-z]|\\-)+)", entry)}
    assert in_page == options


def test_type_stubs_list_exactly_the_table_keywords():
    stubs = ast.parse(read_source("python", "veltrin", "__init__.pyi"))
    functions = {node.name: node for node in stubs.body if isinstance(node, ast.FunctionDef)}
    own = {"spectra": {"v", "i", "fs"}, "read": {"path"}, "blocks": {"source", "fs"}}
    for function, leading in own.items():
        arguments = functions[function].args
        names = {a.arg for a in arguments.args + arguments.kwonlyargs} - leading
        assert names == {row["keyword"] for row in SETTINGS if row[function]} - leading, function


def run_program(path, argv):
    out = subprocess.run([VELTRIN, *argv, "-f", "json", path], capture_output=True, text=True, check=True).stdout
    return json.loads(out)


# A value of each setting as the command line and Python write it (points and the file's are always given).
ANALYSIS = {
    "points": ([], {}),
    "sections": (["-s", "3"], dict(sections=3)),
    "hanning": (["--hanning"], dict(hanning=True)),
    "window": (["-w", "hamming"], dict(window="hamming")),
    "overlap": (["--overlap", "0"], dict(overlap=0.0)),  # at its default: still the standard estimate
    "detrend": (["--detrend", "constant"], dict(detrend="constant")),
    "average": (["--average", "mean"], dict(average="mean")),
    "confidence": (["--confidence", "0.9"], dict(confidence=0.9)),
    "coherence": (["--coherence"], dict(coherence=True)),
    "statistics": (["--stats"], dict(statistics=True)),
    "zn_interval": (["--confidence", "0.8", "--zn-interval", "coherent"], dict(confidence=0.8, zn_interval="coherent")),
    "band": (["--band", "2:20"], dict(band=(2, 20))),
    "slope_band": (["--slope-band", "5:100"], dict(slope_band=[5, 100])),
    "stern_geary": (["--stern-geary", "0.026"], dict(stern_geary=0.026)),
    "area": (["--stern-geary", "0.02", "--area", "3", "--stats"], dict(stern_geary=0.02, area=3, statistics=True)),
    "electrodes": (["--stern-geary", "0.02", "--electrodes", "1"], dict(stern_geary=0.02, electrodes=1)),
}


def same(ours, theirs):
    return ours == theirs or (isinstance(ours, float) and np.isnan(ours) and theirs is None)


def test_every_analysis_setting_gives_the_same_bits_in_both_front_ends():
    assert set(ANALYSIS) == {row["keyword"] for row in SETTINGS if row["spectra"]}
    r = veltrin.read(EXAMPLE)
    for name, (argv, keywords) in ANALYSIS.items():
        program = run_program(EXAMPLE, ["-n", "256", *argv])
        s = veltrin.spectra(r.v, r.i, r.sampling_frequency, 256, **keywords)
        standard = name in ("window", "overlap", "detrend", "average")
        assert s.settings["estimate"] == program["settings"]["estimate"] == ("standard" if standard else
                                                                             "configuration"), name
        for column, values in program["columns"].items():
            assert np.array_equal(getattr(s, column), np.array(values, dtype=float), equal_nan=True), (name, column)
        for group in ("band", "statistics"):
            ours, theirs = getattr(s, group) or {}, program.get(group) or {}
            assert list(ours) == list(theirs) and all(same(ours[k], theirs[k]) for k in ours), (name, group)
