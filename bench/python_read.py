#!/usr/bin/python3
"""veltrin.read against the ways a notebook reads a paired recording without it:
a regular expression into numpy, and pandas.read_csv with a separator regex.
Prints the medians and the ratios.

usage: PYTHONPATH=build/python bench/python_read.py FILE [RUNS]
"""
import re
import statistics
import sys
import time

import numpy as np
import pandas as pd

import veltrin

path = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3


def with_numpy():
    text = open(path, "rb").read()
    pairs = re.findall(rb"<v>\s*([-+.\deE]+)</v><i>\s*([-+.\deE]+)", text)
    values = np.array(pairs, dtype=np.float64).astype(np.float32)
    return values[:, 0], values[:, 1]


def with_pandas():
    with open(path) as f:
        head = next(k for k, line in enumerate(f) if "<data>" in line) + 1
    frame = pd.read_csv(path, sep=r"<v>|</v><i>|</i>", engine="python", header=None, skiprows=head,
                        usecols=[1, 2], skipfooter=2)
    return frame[1].to_numpy(np.float32), frame[2].to_numpy(np.float32)


def median_times(*readers):
    """Medians of the readers' times, taking turns so that a slow spell of
    the machine hits them all."""
    times = [[] for _ in readers]
    for _ in range(runs):
        for read, spent in zip(readers, times):
            start = time.perf_counter()
            read()
            spent.append(time.perf_counter() - start)
    return [statistics.median(spent) for spent in times]


ours, numpy_s, pandas_s = median_times(lambda: veltrin.read(path), with_numpy, with_pandas)
r = veltrin.read(path)
v, i = with_numpy()
assert np.array_equal(r.v, v) and np.array_equal(r.i, i)
print(f"{path}: veltrin.read {ours:.3f} s, numpy regex {numpy_s:.3f} s ({numpy_s / ours:.1f}x), "
      f"pandas read_csv {pandas_s:.3f} s ({pandas_s / ours:.1f}x)")
