#!/usr/bin/python3
"""Many recordings on many machines: a dask.distributed cluster reads and
analyses each recording where it is scheduled and gathers one row per
recording into a pandas table.

usage: dask_batch.py [--scheduler ADDRESS | --workers N] [--points N] [--output TABLE.csv] FILE...

Without --scheduler it starts a LocalCluster of N worker processes (default:
the cores); with it, it joins a running cluster (`dask-scheduler` and
`dask-worker ADDRESS` on each machine), whose workers must be able to import
veltrin and read the files by the same names. The table goes to standard
output as CSV, or to TABLE.csv.
"""
import argparse
import os
import sys

import pandas as pd
from dask.distributed import Client, LocalCluster

import veltrin


def analyse_recording(path, points):
    """One recording's row: what `veltrin -n POINTS -w hann --overlap 0.5 --stats -f csv PATH` reports.
    A module-level function of plain arguments, returning plain numbers, so that it pickles."""
    r = veltrin.read(path)
    s = veltrin.spectra(r.v, r.i, r.sampling_frequency, points, window="hann", overlap=0.5)
    stats = veltrin.statistics(r.v, r.i, r.sampling_frequency, points, window="hann", overlap=0.5)
    row = {"file": path, "samples": len(r.v), "sampling_frequency": r.sampling_frequency,
           "nb_section": s.settings["nb_section"], "zn_first_bin": float(s.zn[1])}
    row.update(stats)
    return row


def analyse_all(client, paths, points):
    """The rows of all recordings, in the order given, as a pandas DataFrame."""
    futures = client.map(analyse_recording, paths, points=points, pure=False)
    return pd.DataFrame(client.gather(futures))


def main(argv):
    parser = argparse.ArgumentParser(description="Analyse many recordings on a Dask cluster.")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", help="the address of a running Dask scheduler (tcp://host:8786)")
    where.add_argument("--workers", type=int, default=os.cpu_count(), help="local worker processes")
    parser.add_argument("--points", type=int, default=4096, help="points per section (default 4096)")
    parser.add_argument("--output", help="the table's CSV file (default: standard output)")
    parser.add_argument("files", nargs="+")
    options = parser.parse_args(argv)
    if options.scheduler:
        client = Client(options.scheduler)
    else:
        client = Client(LocalCluster(n_workers=options.workers, threads_per_worker=1, dashboard_address=None))
    with client:
        table = analyse_all(client, options.files, options.points)
    table.to_csv(options.output if options.output else sys.stdout, index=False)


if __name__ == "__main__":
    main(sys.argv[1:])
