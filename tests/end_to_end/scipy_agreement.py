#!/usr/bin/python3
"""The standard estimate, its intervals, coherence and statistics against
scipy and numpy (used only to check). Runs the program on generated
recordings in both layouts and compares every column of its CSV output.

usage: scipy_agreement.py VELTRIN_EXECUTABLE
Exit status 0 when everything agrees, 1 otherwise, 77 when scipy is missing.
"""
import os
import subprocess
import sys
import tempfile
import warnings

try:
    import numpy as np
    from scipy import signal, stats
except ImportError:
    print("scipy is not installed")
    sys.exit(77)

VELTRIN = sys.argv[1]
failures = []
largest = {}


def write_recording(path, v, i, fs, layout):
    with open(path, "w") as f:
        f.write(f"<sampling_frequency>{fs!r}</sampling_frequency>\n<data>\n")
        for a, b in zip(v, i):
            if layout == "paired":
                f.write(f"<v>{a:.8e}</v><i>{b:.8e}</i>\n")
            else:
                f.write(f"<v>{a:.8e}</v>\n<i>{b:.8e}</i>\n")
        f.write("</data>\n")
    # What the program stores: each text correctly rounded, then to single precision.
    return (np.array([np.float32(float(f"{a:.8e}")) for a in v], dtype=np.float64),
            np.array([np.float32(float(f"{b:.8e}")) for b in i], dtype=np.float64))


def run(path, *options):
    out = subprocess.run([VELTRIN, *options, "-f", "csv", path], capture_output=True, text=True, check=True).stdout
    lines = out.splitlines()
    names = lines[0].split(",")
    rows = [line for line in lines[1:] if not line.startswith("#")]
    columns = np.array([[float(x) for x in row.split(",")] for row in rows]).T
    keys = dict(line[2:].split(" = ", 1) for line in lines if line.startswith("# "))
    return dict(zip(names, columns)), keys


def compare(label, ours, theirs, inner_scale=None, relative=1e-9):
    """|ours - theirs| <= relative |theirs| + 1e-12 max|theirs over the inner bins|."""
    ours = np.asarray(ours, dtype=float)
    theirs = np.asarray(theirs, dtype=float)
    scale = inner_scale if inner_scale is not None else np.nanmax(np.abs(theirs))
    bound = relative * np.abs(theirs) + 1e-12 * scale
    same = (np.isnan(ours) & np.isnan(theirs)) | (ours == theirs)
    with np.errstate(divide="ignore", invalid="ignore"):
        excess = np.where(same, 0.0, np.abs(ours - theirs) - bound)
        # Bins at the rounding floor (compared absolutely) would swamp the summary.
        floor = np.abs(theirs) <= 1e-12 * scale
        rel = np.where(same | floor, 0.0, np.abs(ours - theirs) / np.abs(theirs))
    largest[label.split(":")[0]] = max(largest.get(label.split(":")[0], 0.0), float(np.nanmax(rel)))
    if not (excess <= 0).all():
        k = int(np.flatnonzero(~(excess <= 0))[0])
        failures.append(f"{label}: bin {k}: {ours[k]!r} against {theirs[k]!r}")


def dof(w, step, k):
    power = np.sum(w * w)
    total = 0.0
    for m in range(1, k):
        lag = m * step
        rho = np.sum(w[:-lag] * w[lag:]) / power if lag < len(w) else 0.0
        total += (1 - m / k) * rho * rho
    return 2 * k / (1 + 2 * total)


def check_standard(path, v, i, fs, n, window, overlap, detrend, average, sections=None):
    options = ["-n", str(n), "-w", window, "--overlap", repr(overlap), "--detrend", detrend, "--average", average]
    if sections:
        options += ["-s", str(sections)]
    p = 0.95
    extra = ["--stats"]
    if average == "mean":
        extra += ["--confidence", repr(p), "--coherence"]
    got, keys = run(path, *options, *extra)
    m = int(np.floor(overlap * n))
    step = n - m
    k = int(keys["nb_section"])
    length = (k - 1) * step + n
    x, y = v[:length], i[:length]
    label = f"{os.path.basename(path)} n={n} {window} overlap={overlap} {detrend} {average}"
    kw = dict(fs=fs, window=window, nperseg=n, noverlap=m, detrend=False if detrend == "none" else detrend,
              return_onesided=True, scaling="density")
    f, pv = signal.welch(x, average=average, **kw)
    _, pi = signal.welch(y, average=average, **kw)
    inner = slice(1, n // 2) if n > 3 else slice(0, None)
    compare("frequency: " + label, got["frequency"], f)
    compare("psd_v: " + label, got["psd_v"], pv, np.max(np.abs(pv[inner])))
    compare("psd_i: " + label, got["psd_i"], pi, np.max(np.abs(pi[inner])))
    compare("zn: " + label, got["zn"], np.sqrt(pv / pi), relative=1e-8)
    if average == "mean":
        win = signal.get_window(window, n)
        nu = dof(win, step, k)
        compare("nu: " + label, [float(keys["nu"])], [nu])
        nus = np.full(len(f), nu)
        nus[0] = nu / 2
        if n % 2 == 0:
            nus[-1] = nu / 2
        compare("interval: v low " + label, got["psd_v_low"], pv * nus / stats.chi2.ppf((1 + p) / 2, nus), relative=1e-8)
        compare("interval: v high " + label, got["psd_v_high"], pv * nus / stats.chi2.ppf((1 - p) / 2, nus), relative=1e-8)
        compare("interval: i low " + label, got["psd_i_low"], pi * nus / stats.chi2.ppf((1 + p) / 2, nus), relative=1e-8)
        r = np.sqrt(stats.f.ppf((1 + p) / 2, nus, nus))
        compare("interval: zn " + label, got["zn_high"], np.sqrt(pv / pi) * r, relative=1e-8)
        _, coh = signal.coherence(x, y, **{key: val for key, val in kw.items() if key not in ("return_onesided", "scaling")})
        _, pxy = signal.csd(x, y, **kw)
        compare("coherence: " + label, got["coherence"], coh, relative=1e-8)
        phase = np.degrees(np.angle(pxy))
        phase[phase <= -180] = 180
        # Where a channel has no power there is no phase (numpy's angle of 0 is 0).
        phase[(pv == 0) | (pi == 0)] = np.nan
        # An angle: within a millionth of a degree (a nearly real cross spectrum turns its rounding into angle).
        compare("phase: " + label, got["phase"], phase, 1e6, relative=0)
    check_statistics(label, keys, x, y, n, step, k, detrend)


def check_statistics(label, keys, x, y, n, step, k, detrend):
    expected = {}
    for name, data in (("v", x), ("i", y)):
        expected[name + "_mean"] = np.mean(data)
        expected[name + "_std"] = np.std(data)
        expected[name + "_rms"] = np.sqrt(np.mean(data ** 2))
        expected[name + "_skewness"] = stats.skew(data)
        expected[name + "_kurtosis"] = stats.kurtosis(data)
        expected[name + "_min"] = np.min(data)
        expected[name + "_max"] = np.max(data)
    expected["rn"] = np.std(x) / np.std(y)
    expected["localization_index"] = np.std(y) / np.sqrt(np.mean(y ** 2))
    ratios = []
    for s in range(k):
        a = x[s * step:s * step + n]
        b = y[s * step:s * step + n]
        if detrend != "none":
            a, b = signal.detrend(a, type=detrend), signal.detrend(b, type=detrend)
        ratios.append(np.std(a) / np.std(b))
    expected["rn_sections"] = np.mean(ratios)
    for key, value in expected.items():
        compare(f"statistics: {key} {label}", [float(keys[key])], [value], relative=1e-8)


def check_configuration_estimate(path, v, i, fs, n, hanning):
    """The configuration estimate's coherence, intervals and statistics."""
    options = ["-n", str(n), "--confidence", "0.9", "--coherence", "--stats"] + (["--hanning"] if hanning else [])
    got, keys = run(path, *options)
    k = int(keys["nb_section"])
    x, y = v[:k * n], i[:k * n]
    label = f"{os.path.basename(path)} configuration n={n} hanning={hanning}"
    j = np.arange(n)
    win = (1 - np.cos(6.283185307 / (n - 1) * j)) / 2 if hanning else np.ones(n)
    _, coh = signal.coherence(x, y, fs=fs, window=win, nperseg=n, noverlap=0, detrend="constant")
    compare("coherence: " + label, got["coherence"], coh[1:], relative=1e-8)
    nus = np.full(n // 2, 2.0 * k)
    nus[-1] = k
    compare("nu: " + label, [float(keys["nu"])], [2.0 * k], relative=0)
    compare("interval: v low " + label, got["psd_v_low"], got["psd_v"] * nus / stats.chi2.ppf(0.95, nus), relative=1e-9)
    compare("interval: zn " + label, got["zn_low"], got["zn"] / np.sqrt(stats.f.ppf(0.95, nus, nus)), relative=1e-9)
    check_statistics(label, keys, x, y, n, n, k, "constant")


def main():
    np.seterr(divide="ignore", invalid="ignore")
    warnings.simplefilter("ignore", RuntimeWarning)  # scipy's moments of a constant: nan, as ours
    rng = np.random.default_rng(2026)
    directory = tempfile.mkdtemp()
    recordings = []
    for layout, count, fs in (("paired", 12000, 500.0), ("split", 9001, 10.0)):
        t = np.arange(count) / fs
        v = 1e-5 * np.cumsum(rng.standard_normal(count)) * 0.1 + 2e-6 * np.sin(2 * np.pi * 0.2 * fs * t) + 0.3
        i = 1e-3 + 5e-5 * rng.standard_normal(count) + 1e-6 * t
        path = os.path.join(directory, f"{layout}.xml")
        recordings.append((path, *write_recording(path, v, i, fs, layout), fs))
    path, v, i, fs = recordings[0]
    for window in ("hann", "hamming", "blackman", "blackmanharris", "flattop", "bartlett", "boxcar"):
        check_standard(path, v, i, fs, 1024, window, 0.5, "constant", "mean")
    for n, overlap, detrend, average in ((1000, 0.0, "constant", "mean"), (1000, 0.75, "linear", "mean"),
                                         (999, 0.5, "none", "median"), (1024, 0.5, "constant", "median"),
                                         (4099, 0.5, "linear", "mean"), (2, 0.0, "constant", "mean"),
                                         (3, 0.5, "constant", "median")):
        check_standard(path, v, i, fs, n, "hann", overlap, detrend, average)
    check_standard(path, v, i, fs, 512, "hann", 0.5, "constant", "median", sections=4)
    path, v, i, fs = recordings[1]
    check_standard(path, v, i, fs, 256, "hann", 0.5, "linear", "mean")
    check_standard(path, v, i, fs, 300, "flattop", 0.75, "constant", "median")
    for path, v, i, fs in recordings:
        for hanning in (False, True):
            check_configuration_estimate(path, v, i, fs, 256, hanning)
    # A current without noise: PSD_i exactly 0 (scipy's too), Zn inf, coherence and phase nan.
    count, fs = 6000, 500.0
    v = 0.3 + 1e-5 * rng.standard_normal(count)
    # (scipy's linear detrending leaves rounding in a constant, so that one meets only zeros.)
    for layout, current, detrends in (("paired", 0.0, ("linear", "none")), ("split", 1e-3, ("constant",))):
        path = os.path.join(directory, f"silent_{layout}.xml")
        x, y = write_recording(path, v, np.full(count, current), fs, layout)
        for window, n, average in (("hann", 1024, "mean"), ("flattop", 999, "mean"), ("boxcar", 202, "median")):
            for detrend in detrends:
                check_standard(path, x, y, fs, n, window, 0.5, detrend, average)
        check_configuration_estimate(path, x, y, fs, 256, True)
    for name, value in sorted(largest.items()):
        print(f"largest relative difference, {name}: {value:.3g}")
    if failures:
        print(f"0 passed, {len(failures)} failed")
        print("\n".join(failures[:40]))
        return 1
    print("scipy agreement: every column within tolerance")
    return 0


if __name__ == "__main__":
    sys.exit(main())
