#!/usr/bin/python3
"""The cost of --confidence (exact degrees of freedom per bin and per band) at N = 65536.

usage: bench/confidence_cost.py BUILD_DIR [RUNS]
Writes a recording of 2^22 samples (raw float32 pairs, read with --input-format f32le)
with make_sample_file, then times, interleaved, RUNS runs each of
  veltrin -n 65536 -w hann --overlap 0.5 --band ... [--confidence 0.9]
and prints the medians and their ratio (a benchmark, not a test).
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

build = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
directory = tempfile.mkdtemp()
recording = os.path.join(directory, "recording.f32")
with open(recording, "wb") as out:
    subprocess.run([os.path.join(build, "make_sample_file"), str(1 << 22), "f32le", "1"], stdout=out, check=True)
base = [os.path.join(build, "veltrin"), "-n", "65536", "-w", "hann", "--overlap", "0.5", "--input-format", "f32le",
        "--fs", "1000", "--stern-geary", "0.026", "-f", "csv", "-o", os.path.join(directory, "out.csv"), recording]
times = {"without": [], "with": []}
for _ in range(runs):
    for name, extra in (("without", []), ("with", ["--confidence", "0.9"])):
        start = time.perf_counter()
        subprocess.run(base[:1] + extra + base[1:], check=True)
        times[name].append(time.perf_counter() - start)
without, with_confidence = statistics.median(times["without"]), statistics.median(times["with"])
print(f"N = 65536, Hann 50 %, 2^22 samples: without {without:.3f} s, with --confidence {with_confidence:.3f} s, "
      f"ratio {with_confidence / without:.3f} (medians of {runs} interleaved runs)")
