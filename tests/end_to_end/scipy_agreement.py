#!/usr/bin/python3
"""The standard estimate, its intervals, coherence, statistics and band
quantities against scipy and numpy (used only to check). Runs the program on
generated recordings in both layouts and compares every column of its CSV
output and every band key.

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
    from scipy import integrate, signal, special, stats
except ImportError:
    print("skipped: scipy is not installed (Debian: python3-scipy, in tools/install-dependencies)")
    sys.exit(77)

# Imported for its numpy forms (bench/uncertainty_monte_carlo.py), it runs nothing.
VELTRIN = sys.argv[1] if __name__ == "__main__" else None
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


def section_rows(win, detrend, bins):
    """a_k = P (w exp(-2 pi i j k / N)) for the bins, P removing the mean (and the line)."""
    n = len(win)
    j = np.arange(n)
    rows = win * np.exp(-2j * np.pi * np.outer(bins, j) / n)
    if detrend != "none":
        basis = [np.ones(n) / np.sqrt(n)]
        if detrend == "linear":
            t = j - (n - 1) / 2
            basis.append(t / np.linalg.norm(t))
        basis = np.array(basis)
        rows = rows - (rows @ basis.T) @ basis
    return rows


def exact_covariance(win, step, k, detrend, bins):
    """Cov of sum_s |z_s(b)|^2 over the bins' pairs under white noise, and its mean, by direct sums over the samples."""
    rows = section_rows(win, detrend, bins)
    n = len(win)
    cov = np.zeros((len(bins), len(bins)))
    for m in range(k):
        lag = m * step
        if lag >= n or (m > 0 and step == 0):
            break
        c = rows[:, lag:] @ np.conj(rows[:, :n - lag]).T  # E z_s(a) z*_{s+m}(b)
        r = rows[:, lag:] @ rows[:, :n - lag].T           # E z_s(a) z_{s+m}(b)
        t = np.abs(c) ** 2 + np.abs(r) ** 2
        cov += k * t if m == 0 else (k - m) * (t + t.T)
    return cov, k * np.sum(np.abs(rows) ** 2, axis=1)


def exact_nu_bins(win, step, k, detrend):
    bins = np.arange(len(win) // 2 + 1)
    cov, mean = exact_covariance(win, step, k, detrend, bins)
    nu = 2 * mean ** 2 / np.diag(cov)
    if detrend != "none":
        nu[0] = np.nan
    return nu


def exact_nu_band(win, step, k, detrend, bins, densities):
    cov, mean = exact_covariance(win, step, k, detrend, bins)
    weights = densities / mean
    return 2 * np.sum(densities) ** 2 / (weights @ cov @ weights)


def bin_correlation(win, step, k, most):
    """rho(d), d = 0 ... most: sum_m c_m |sum_j w_j w_{j-L} e^{-2 pi i j d/N}|^2 over the section lags, normalised."""
    n = len(win)
    j = np.arange(n)
    total = np.zeros(most + 1)
    for m in range(k):
        lag = m * step
        if lag >= n or (m > 0 and step == 0):
            break
        u = np.zeros(n)
        u[lag:] = win[lag:] * win[:n - lag]
        d = np.arange(most + 1)
        values = np.abs(np.exp(-2j * np.pi * np.outer(d, j) / n) @ u) ** 2
        values[d > n // 4] = 0.0
        total += (k if m == 0 else 2 * (k - m)) * values
    return total / total[0]


def sandwich_stderr(x, y, bins, rho):
    """The least-squares slope's error with the log-densities' correlation rho(|bin distance|)."""
    m = len(x)
    distance = np.abs(bins[:, None] - bins[None, :])
    r = np.where(distance < len(rho), rho[np.minimum(distance, len(rho) - 1)], 0.0)
    design = np.column_stack([np.ones(m), x])
    hat = design @ np.linalg.solve(design.T @ design, design.T)
    residuals = y - hat @ y
    sigma2 = residuals @ residuals / np.trace((np.eye(m) - hat) @ r)
    c = (x - x.mean()) / np.sum((x - x.mean()) ** 2)
    return np.sqrt(sigma2 * (c @ r @ c))


def coherent_factor(p, nu, coherence, spent):
    """r of Zn's coherent interval: the bias-corrected coherence, Student's t with nu - spent degrees of freedom."""
    corrected = (nu * coherence - spent) / (nu - spent)
    a = stats.t.ppf((1 + p) / 2, nu - spent) * np.sqrt((1 - corrected) / nu)
    return a + np.sqrt(1 + a * a)


def goodman_cdf(u, n, g2):
    """Goodman's distribution of the density ratio, integrated numerically in ln u from its median 1."""
    def density(x):
        w = np.exp(x)
        log_f = (special.gammaln(2 * n) - 2 * special.gammaln(n) + n * np.log1p(-g2) + np.log1p(w) +
                 (n - 1) * x - (n + 0.5) * np.log((1 + w) ** 2 - 4 * g2 * w))
        return np.exp(log_f) * w
    return 0.5 + integrate.quad(density, 0.0, np.log(u), epsabs=1e-13, epsrel=1e-12, limit=200)[0]


def check_band(label, keys, f, pv, pi, nyquist, inner, win, nu, p, coherence, layout, band=None, slope_band=None,
               stern_geary=None, area=1.0, rn=None):
    """Every band key against numpy over the inner bins (not bin 0, not the Nyquist bin)."""
    f1 = f[f > 0][0]
    low, high = band or (2 * f1, 10 * f1)
    in_band = inner & (f >= low) & (f <= high)
    m = int(in_band.sum())
    psd_v, psd_i = np.mean(pv[in_band]), np.mean(pi[in_band])
    zn = np.sqrt(psd_v / psd_i)
    expected = dict(band_low=low, band_high=high, band_bins=m, psd_v_band=psd_v, psd_i_band=psd_i, zn_band=zn)
    if p is not None:
        # Exact, each bin weighted by its density; v's and i's combined as 2 / (1/nu_v + 1/nu_i).
        step, k, detrend, first_bin = layout
        bins = np.flatnonzero(in_band) + first_bin
        nu_v, nu_i = (exact_nu_band(win, step, k, detrend, bins, psd[in_band] if np.sum(psd[in_band]) > 0
                                    else np.ones(m)) for psd in (pv, pi))
        nu_band = 2 / (1 / nu_v + 1 / nu_i)
        if coherence is None:
            r = np.sqrt(stats.f.ppf((1 + p) / 2, nu_band, nu_band))
        else:
            mean_corrected = np.mean((nu * coherence[in_band] - 2) / (nu - 2))
            a = stats.t.ppf((1 + p) / 2, nu_band - 2) * np.sqrt((1 - mean_corrected) / nu_band)
            r = a + np.sqrt(1 + a * a)
        expected.update(nu_band=nu_band, zn_band_low=zn / r, zn_band_high=zn * r)
    low, high = slope_band or (10 * f1, nyquist / 2)
    in_slope_band = inner & (f >= low) & (f <= high)
    expected.update(slope_band_low=low, slope_band_high=high, slope_bins=int(in_slope_band.sum()))
    for name, psd in (("v", pv), ("i", pi)):
        used = in_slope_band & (psd > 0)
        # A silent channel has no positive density to fit.
        fit = stats.linregress(np.log10(f[used]), 10 * np.log10(psd[used])) if used.sum() >= 3 else None
        expected[f"slope_{name}"] = fit.slope if fit else np.nan
        stderr = np.nan
        if fit:
            step, k, _, first_bin = layout
            rho = bin_correlation(win, step, k, min(256, int(in_slope_band.sum()) - 1))
            stderr = sandwich_stderr(np.log10(f[used]), 10 * np.log10(psd[used]), np.flatnonzero(used), rho)
        expected[f"slope_{name}_stderr"] = stderr
    if stern_geary is not None:
        expected.update(q=np.sqrt(psd_v * psd_i) / stern_geary, fn=stern_geary ** 2 / (psd_v * area),
                        i_corr=stern_geary / zn)
        if rn is not None:
            expected["i_corr_rn"] = stern_geary / rn
    if sorted(expected) != sorted(k for k in keys if k in BAND_KEYS):
        failures.append(f"band keys: {label}: {sorted(k for k in keys if k in BAND_KEYS)}")
    for key, value in expected.items():
        if key in ("band_bins", "slope_bins"):
            if int(keys.get(key, -1)) != value:
                failures.append(f"{key}: {label}: {keys.get(key)} against {value}")
        elif key.startswith("slope_") and not key.startswith("slope_band"):
            # A slope in dB per decade: within 1e-9 dB per decade.
            compare(f"band: {key} {label}", [float(keys[key])], [value], 1e3, relative=0)
        else:
            compare(f"band: {key} {label}", [float(keys.get(key, "nan"))], [value], relative=1e-9)


BAND_KEYS = {"band_low", "band_high", "band_bins", "psd_v_band", "psd_i_band", "zn_band", "nu_band", "zn_band_low",
             "zn_band_high", "slope_band_low", "slope_band_high", "slope_bins", "slope_v", "slope_i", "slope_v_stderr",
             "slope_i_stderr", "q", "fn", "i_corr", "i_corr_rn"}


def scipy_window(window):
    """The window as scipy names it: "kaiser:8" is ("kaiser", 8.0)."""
    name, colon, parameter = window.partition(":")
    return (name, float(parameter)) if colon else window


def check_standard(path, v, i, fs, n, window, overlap, detrend, average, sections=None, band_options=(),
                   coherent=False):
    options = ["-n", str(n), "-w", window, "--overlap", repr(overlap), "--detrend", detrend, "--average", average]
    if sections:
        options += ["-s", str(sections)]
    p = 0.95
    extra = ["--stats", *band_options]
    if average == "mean":
        extra += ["--confidence", repr(p), "--coherence"]
    if coherent:
        extra += ["--zn-interval", "coherent"]
    got, keys = run(path, *options, *extra)
    m = int(np.floor(overlap * n))
    step = n - m
    k = int(keys["nb_section"])
    length = (k - 1) * step + n
    x, y = v[:length], i[:length]
    label = f"{os.path.basename(path)} n={n} {window} overlap={overlap} {detrend} {average}"
    kw = dict(fs=fs, window=scipy_window(window), nperseg=n, noverlap=m, detrend=False if detrend == "none" else detrend,
              return_onesided=True, scaling="density")
    f, pv = signal.welch(x, average=average, **kw)
    _, pi = signal.welch(y, average=average, **kw)
    inner = slice(1, n // 2) if n > 3 else slice(0, None)
    compare("frequency: " + label, got["frequency"], f)
    compare("psd_v: " + label, got["psd_v"], pv, np.max(np.abs(pv[inner])))
    compare("psd_i: " + label, got["psd_i"], pi, np.max(np.abs(pi[inner])))
    compare("zn: " + label, got["zn"], np.sqrt(pv / pi), relative=1e-8)
    if average == "mean":
        win = signal.get_window(scipy_window(window), n)
        nu = dof(win, step, k)
        compare("nu: " + label, [float(keys["nu"])], [nu])
        compare("nu_bin: " + label, got["nu_bin"], exact_nu_bins(signal.get_window(scipy_window(window), n), step, k, detrend))
        nus = np.full(len(f), nu)
        nus[0] = nu / 2
        if n % 2 == 0:
            nus[-1] = nu / 2
        # Bin 0 has no degree of freedom left once each section's mean is removed.
        if detrend != "none":
            nus[0] = np.nan
        compare("interval: v low " + label, got["psd_v_low"], pv * nus / stats.chi2.ppf((1 + p) / 2, nus), relative=1e-8)
        compare("interval: v high " + label, got["psd_v_high"], pv * nus / stats.chi2.ppf((1 - p) / 2, nus), relative=1e-8)
        compare("interval: i low " + label, got["psd_i_low"], pi * nus / stats.chi2.ppf((1 + p) / 2, nus), relative=1e-8)
        _, coh = signal.coherence(x, y, **{key: val for key, val in kw.items() if key not in ("return_onesided", "scaling")})
        if coherent:
            # The real bins (0 and N/2) spend one degree of freedom on the coherence, the others two.
            spent = np.where(nus == nu, 2.0, 1.0)
            r = coherent_factor(p, nus, coh, spent)
            # Goodman's density itself, integrated: the upper end is its (1 + P)/2 quantile at n = nu/2 - 1.
            for b in range(1, len(f) - 1, max(1, len(f) // 4)):
                u = (got["zn_high"][b] / got["zn"][b]) ** 2
                compare("interval: goodman " + label, [goodman_cdf(u, nu / 2 - 1, coh[b])], [(1 + p) / 2], relative=1e-8)
        else:
            r = np.sqrt(stats.f.ppf((1 + p) / 2, nus, nus))
        compare("interval: zn " + label, got["zn_high"], np.sqrt(pv / pi) * r, relative=1e-8)
        compare("interval: zn low " + label, got["zn_low"], np.sqrt(pv / pi) / r, relative=1e-8)
        _, pxy = signal.csd(x, y, **kw)
        compare("coherence: " + label, got["coherence"], coh, relative=1e-8)
        phase = np.degrees(np.angle(pxy))
        phase[phase <= -180] = 180
        # Where a channel has no power there is no phase (numpy's angle of 0 is 0).
        phase[(pv == 0) | (pi == 0)] = np.nan
        # An angle: within a millionth of a degree (a nearly real cross spectrum turns its rounding into angle).
        compare("phase: " + label, got["phase"], phase, 1e6, relative=0)
    check_statistics(label, keys, x, y, n, step, k, detrend)
    if band_options:
        win = signal.get_window(scipy_window(window), n)
        confident = average == "mean"
        check_band(label, keys, f, pv, pi, fs / 2, (f > 0) & (f < fs / 2), win, dof(win, step, k) if confident else None,
                   p if confident else None, coh if coherent else None, (step, k, detrend, 0),
                   **band_arguments(band_options, x, y))


def band_arguments(options, x, y):
    """check_band's keywords from the band options given to the program."""
    given = dict(zip(options[::2], options[1::2]))
    arguments = {}
    for option, name in (("--band", "band"), ("--slope-band", "slope_band")):
        if option in given:
            arguments[name] = tuple(float(end) for end in given[option].split(":"))
    if "--stern-geary" in given:
        arguments["stern_geary"] = float(given["--stern-geary"])
        arguments["area"] = float(given.get("--area", 1.0))
        arguments["rn"] = np.std(x) / np.std(y)
    return arguments


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


def check_configuration_estimate(path, v, i, fs, n, hanning, band_options=()):
    """The configuration estimate's coherence, intervals, statistics and band quantities."""
    options = ["-n", str(n), "--confidence", "0.9", "--coherence", "--stats"] + (["--hanning"] if hanning else [])
    got, keys = run(path, *options, *band_options)
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
    compare("nu_bin: " + label, got["nu_bin"], exact_nu_bins(win, n, k, "constant")[1:])
    compare("interval: v low " + label, got["psd_v_low"], got["psd_v"] * nus / stats.chi2.ppf(0.95, nus), relative=1e-9)
    coherent = "coherent" in band_options
    if coherent:
        r = coherent_factor(0.9, nus, coh[1:], np.where(nus == 2.0 * k, 2.0, 1.0))
    else:
        r = np.sqrt(stats.f.ppf(0.95, nus, nus))
    compare("interval: zn " + label, got["zn_low"], got["zn"] / r, relative=1e-9)
    check_statistics(label, keys, x, y, n, n, k, "constant")
    if band_options:
        # Its densities are the program's own (checked against the configuration mode elsewhere).
        f = got["frequency"]
        inner = np.arange(len(f)) < len(f) - 1
        check_band(label, keys, f, got["psd_v"], got["psd_i"], f[-1], inner, win, 2.0 * k, 0.9,
                   coh[1:] if coherent else None, (n, k, "constant", 1),
                   **band_arguments([o for o in band_options if o not in ("--zn-interval", "coherent")], x, y))


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
    band = ["--band", "2:30", "--stern-geary", "0.026", "--area", "2.5"]
    for window in ("hann", "hamming", "blackman", "blackmanharris", "flattop", "bartlett", "boxcar"):
        check_standard(path, v, i, fs, 1024, window, 0.5, "constant", "mean", band_options=band,
                       coherent=window in ("hann", "boxcar", "flattop"))
    # The windows with a parameter, the taper's edges and odd lengths among them.
    for window, n in (("kaiser:8", 1024), ("kaiser:0", 255), ("kaiser:38.5", 999), ("tukey:0.25", 1024),
                      ("tukey:0.5", 1001), ("tukey:1", 256), ("tukey:0", 300), ("gaussian:120", 1024),
                      ("gaussian:7", 301), ("general_hamming:0.6", 1024), ("general_hamming:0.5", 777)):
        check_standard(path, v, i, fs, n, window, 0.5, "constant", "mean", band_options=band,
                       coherent=window == "kaiser:8")
    for n, overlap, detrend, average in ((1000, 0.0, "constant", "mean"), (1000, 0.75, "linear", "mean"),
                                         (999, 0.5, "none", "median"), (1024, 0.5, "constant", "median"),
                                         (4099, 0.5, "linear", "mean"), (2, 0.0, "constant", "mean"),
                                         (3, 0.5, "constant", "median")):
        check_standard(path, v, i, fs, n, "hann", overlap, detrend, average,
                       band_options=["--stern-geary", "0.03"] if n >= 40 else (), coherent=n == 1000)
    check_standard(path, v, i, fs, 512, "hann", 0.5, "constant", "median", sections=4)
    path, v, i, fs = recordings[1]
    check_standard(path, v, i, fs, 256, "hann", 0.5, "linear", "mean",
                   band_options=["--band", "0:0.2", "--slope-band", "0.5:3"], coherent=True)
    check_standard(path, v, i, fs, 300, "flattop", 0.75, "constant", "median", band_options=["--slope-band", "0.1:5"])
    check_standard(path, v, i, fs, 501, "hann", 0.0, "none", "mean", coherent=True)
    for path, v, i, fs in recordings:
        for hanning in (False, True):
            check_configuration_estimate(path, v, i, fs, 256, hanning,
                                         ["--band", "3:40", "--stern-geary", "0.026", "--zn-interval", "coherent"]
                                         if hanning else ["--slope-band", "1:100"])
    # A current without noise: PSD_i exactly 0 (scipy's too), Zn inf, coherence and phase nan.
    count, fs = 6000, 500.0
    v = 0.3 + 1e-5 * rng.standard_normal(count)
    # (scipy's linear detrending leaves rounding in a constant, so that one meets only zeros.)
    for layout, current, detrends in (("paired", 0.0, ("linear", "none")), ("split", 1e-3, ("constant",))):
        path = os.path.join(directory, f"silent_{layout}.xml")
        x, y = write_recording(path, v, np.full(count, current), fs, layout)
        for window, n, average in (("hann", 1024, "mean"), ("flattop", 999, "mean"), ("boxcar", 202, "median")):
            for detrend in detrends:
                check_standard(path, x, y, fs, n, window, 0.5, detrend, average, band_options=["--stern-geary", "0.026"])
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
