#!/usr/bin/python3
"""What a notebook would do without veltrin: read a paired recording with a
regular expression into numpy, then scipy.signal.welch on both channels.

usage: numpy_welch.py FILE N
"""
import re
import sys

import numpy as np
from scipy import signal

text = open(sys.argv[1], "rb").read()
n = int(sys.argv[2])
fs = float(re.search(rb"<sampling_frequency>\s*([-+.\deE]+)", text).group(1))
pairs = re.findall(rb"<v>\s*([-+.\deE]+)</v><i>\s*([-+.\deE]+)", text)
values = np.array(pairs, dtype=np.float64).astype(np.float32).astype(np.float64)
for column in (values[:, 0], values[:, 1]):
    signal.welch(column, fs=fs, window="hann", nperseg=n, noverlap=n // 2)
