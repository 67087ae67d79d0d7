"""examples/dask_batch.py on a LocalCluster of two worker processes: every
row equals what the command line reports for the same file."""
import os
import subprocess
import sys

import pytest

pytest.importorskip("dask.distributed")

EXAMPLES = os.path.join(os.environ["VELTRIN_SOURCE_DIR"], "examples")
VELTRIN = os.environ["VELTRIN_EXE"]
MAKE_SAMPLE = os.environ["VELTRIN_MAKE_SAMPLE"]


def command_line_row(path, points):
    """The '#' keys and the Zn of bin 1 of the program's CSV."""
    out = subprocess.run([VELTRIN, "-n", str(points), "-w", "hann", "--overlap", "0.5", "--stats", "-f", "csv", path],
                         capture_output=True, text=True, check=True).stdout.splitlines()
    keys = dict(line[2:].split(" = ", 1) for line in out if line.startswith("# "))
    columns = out[0].split(",")
    keys["zn_first_bin"] = out[2].split(",")[columns.index("zn")]
    return keys


def test_every_row_is_the_command_lines(tmp_path, monkeypatch):
    from dask.distributed import Client, LocalCluster

    # The workers import the example's function by its module's name.
    monkeypatch.syspath_prepend(EXAMPLES)
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join([EXAMPLES, os.environ.get("PYTHONPATH", "")]))
    import dask_batch

    paths = []
    for seed, layout in enumerate(["paired", "split", "paired", "split", "paired"]):
        path = tmp_path / f"rec{seed}.xml"
        with open(path, "w") as f:
            subprocess.run([MAKE_SAMPLE, str(6000 + 1000 * seed), layout, str(seed), "250"], stdout=f, check=True)
        paths.append(str(path))
    with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None, processes=True) as cluster, \
            Client(cluster) as client:
        assert len(client.scheduler_info()["workers"]) == 2
        table = dask_batch.analyse_all(client, paths, 256)
    assert list(table["file"]) == paths
    for row in table.to_dict("records"):
        expected = command_line_row(row["file"], 256)
        for key, text in expected.items():
            if key in row:
                assert row[key] == float(text), (row["file"], key)
        assert row["nb_section"] == int(expected["nb_section"])
        assert {"rn", "localization_index", "zn_first_bin", "sampling_frequency"} <= set(row)
