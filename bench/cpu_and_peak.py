"""Runs a command and prints its wall time (s), its CPU time, user and system (s), and its peak resident memory
(KiB, as getrusage and /usr/bin/time -v report it): usage: cpu_and_peak.py COMMAND [ARGUMENT...]"""
import resource
import subprocess
import sys
import time

start = time.perf_counter()
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
wall = time.perf_counter() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{wall:.3f} {usage.ru_utime + usage.ru_stime:.3f} {usage.ru_maxrss}")
