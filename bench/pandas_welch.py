#!/usr/bin/python3
"""What a notebook would do with an instrument's CSV: pandas.read_csv, then
scipy.signal.welch on both channels.

usage: pandas_welch.py FILE N [FS]   (FILE: a header row "v,i" or "t,v,i" and
                                      its rows; without FS, the frequency from
                                      the time column t)
"""
import sys

import pandas as pd
from scipy import signal

table = pd.read_csv(sys.argv[1])
n = int(sys.argv[2])
if len(sys.argv) > 3:
    fs = float(sys.argv[3])
else:
    t = table["t"].to_numpy()
    fs = (len(t) - 1) / (t[-1] - t[0])
for name in ("v", "i"):
    column = table[name].to_numpy().astype("float32").astype("float64")
    signal.welch(column, fs=fs, window="hann", nperseg=n, noverlap=n // 2)
