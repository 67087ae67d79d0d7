#!/usr/bin/python3
"""Monte Carlo of the uncertainties with numpy driving the Python module.

usage: PYTHONPATH=build/python bench/uncertainty_monte_carlo.py [RECORDINGS]

For each setting, RECORDINGS (default 2000) seeded Gaussian recordings:
1. the exact degrees of freedom (nu_bin at bins 1, 2 and N/8; nu_band of the
   band 1 ... 10 f1 and of the default band 2 ... 10 f1) against 2 E^2 / Var of
   the recordings' estimates, with the standard error of that ratio;
2. zn_band's 90 % interval's coverage on flat bands and on bands whose
   densities fall 8 dB from 2 f1 to 10 f1 (v = 3 x, i = y, x and y shaped alike);
3. the slope's reported standard error (root mean square) against the
   scatter of the slopes;
4. the 90 % coherence interval's coverage at true coherence 0.1, 0.5 and 0.9;
5. nu_bin against 1,000,000 recordings made and transformed by numpy alone (the
   program's estimate is then not in the loop), Hann 75 % with the mean removed.
Prints a table; the figures in the README come from its default run.
"""
import os
import sys

import numpy as np
import veltrin

# The exact quadratic forms summed over the samples in numpy, as the scipy comparison has them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "end_to_end"))
from scipy_agreement import exact_nu_band  # noqa: E402

R = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
rng = np.random.default_rng(35)
P = 0.9


def shaped(length, n, decibels):
    """Gaussian noise whose density falls `decibels` from 2 f1 to 10 f1 (a power law), f1 = 1/n; white for 0."""
    x = rng.standard_normal(length)
    if decibels == 0:
        return x
    exponent = decibels / 10 / np.log10(5.0)  # density ~ f^-exponent
    X = np.fft.rfft(x)
    f = np.fft.rfftfreq(length)
    gain = np.ones_like(f)
    gain[1:] = (np.maximum(f[1:], 0.5 / n) * n) ** (-exponent / 2)
    gain[0] = 0.0
    return np.fft.irfft(X * gain, length)


def ratio_error(values):
    """2 E^2 / Var of the values and its standard error (delta method on the mean and the variance)."""
    mean, var = values.mean(), values.var(ddof=1)
    nu = 2 * mean ** 2 / var
    c = values - mean
    m4 = np.mean(c ** 4)
    # Var(var) ~ (m4 - var^2) / R; Var(mean) = var / R; their covariance m3 / R.
    m3 = np.mean(c ** 3)
    g = np.array([4 * mean / var, -2 * mean ** 2 / var ** 2])
    cov = np.array([[var, m3], [m3, m4 - var ** 2]]) / len(values)
    return nu, float(np.sqrt(g @ cov @ g))


def degrees_of_freedom():
    print(f"1. exact degrees of freedom, {R} recordings, N = 64, K = 32")
    print("setting | quantity | exact | Monte Carlo | difference / s.e. | Welch's (today's nu or old nu_band)")
    for window, overlap, detrend in (("hann", 0.5, "constant"), ("hann", 0.75, "constant"), ("boxcar", 0.0, "constant"),
                                     ("hann", 0.5, "linear")):
        n, k = 64, 32
        step = n - int(np.floor(overlap * n))
        length = (k - 1) * step + n
        bins = [1, 2, n // 8]
        per_bin, wide, default = [], [], []
        first = None
        for _ in range(R):
            s = veltrin.spectra(rng.standard_normal(length), rng.standard_normal(length), 1.0, n, sections=k,
                                window=window, overlap=overlap, detrend=detrend, confidence=P,
                                band=(1.0 / n, 10.0 / n))
            first = first or s
            per_bin.append(s.psd_v[bins])
            wide.append(np.mean(s.psd_v[1:11]))
            default.append(np.mean(s.psd_v[2:11]))
        per_bin = np.array(per_bin)
        label = f"{window} {int(overlap * 100)} % {detrend}"
        for b, column in zip(bins, per_bin.T):
            nu, se = ratio_error(column)
            print(f"{label} | nu_bin at bin {b} | {first.nu_bin[b]:.1f} | {nu:.1f} +- {se:.1f} | "
                  f"{(first.nu_bin[b] - nu) / se:+.2f} | {first.nu:.1f}")
        # The exact nu_band of a flat band weights by the estimates; the white spectrum's own exact value:
        exact_wide = band_nu(window, n, step, k, detrend, 1, 10)
        exact_default = band_nu(window, n, step, k, detrend, 2, 9)
        for name, values, exact, m in (("nu_band 1 ... 10 f1", wide, exact_wide, 10),
                                       ("nu_band 2 ... 10 f1", default, exact_default, 9)):
            nu, se = ratio_error(np.array(values))
            old = m * first.nu / (1 + 2 * old_correlation(window, n, m))
            print(f"{label} | {name} | {exact:.1f} | {nu:.1f} +- {se:.1f} | {(exact - nu) / se:+.2f} | {old:.1f}")


def band_nu(window, n, step, k, detrend, first, bins):
    """The exact nu_band of a flat band: the white spectrum's own, each bin weighted alike."""
    w = np.hanning(n + 1)[:-1] if window == "hann" else np.ones(n)
    return exact_nu_band(w, step, k, detrend, np.arange(first, first + bins), np.ones(bins))


def old_correlation(window, n, m):
    w = np.hanning(n + 1)[:-1] if window == "hann" else np.ones(n)
    c = np.array([np.sum(w ** 2 * np.exp(-2j * np.pi * np.arange(n) * d / n)) for d in range(1, m)]) / np.sum(w ** 2)
    return np.sum((1 - np.arange(1, m) / m) * np.abs(c) ** 2)


def band_coverage():
    print(f"\n2. zn_band's {P:.0%} interval (default band 2 ... 10 f1), {R} recordings, N = 64, K = 32, true Zn = 3")
    print("setting | flat | 8 dB slope")
    for window, overlap in (("hann", 0.5), ("hann", 0.75), ("boxcar", 0.0)):
        n, k = 64, 32
        step = n - int(np.floor(overlap * n))
        length = (k - 1) * step + n
        row = []
        for decibels in (0, 8):
            covered = 0
            for _ in range(R):
                x = shaped(length + 4096, n, decibels)[2048:2048 + length]
                y = shaped(length + 4096, n, decibels)[2048:2048 + length]
                s = veltrin.spectra(3 * x, y, 1.0, n, sections=k, window=window, overlap=overlap, confidence=P,
                                    band=(2.0 / n, 10.0 / n))
                covered += s.band["zn_band_low"] <= 3.0 <= s.band["zn_band_high"]
            row.append(covered / R)
        print(f"{window} {int(overlap * 100)} % | {row[0]:.3f} | {row[1]:.3f}   (s.e. {np.sqrt(P * (1 - P) / R):.3f})")


def slope_errors():
    print(f"\n3. slope standard error against the slopes' scatter, {R} recordings, N = 256, K = 16, bins 10 ... 64")
    print("setting | scatter (dB/decade) | reported (rms) | ratio")
    for window, overlap in (("hann", 0.0), ("hann", 0.5), ("hann", 0.75), ("boxcar", 0.0)):
        n, k = 256, 16
        step = n - int(np.floor(overlap * n))
        length = (k - 1) * step + n
        slopes, errors = [], []
        for _ in range(R):
            s = veltrin.spectra(rng.standard_normal(length), rng.standard_normal(length), 1.0, n, sections=k,
                                window=window, overlap=overlap, slope_band=(10.0 / n, 0.25))
            slopes.append(s.band["slope_v"])
            errors.append(s.band["slope_v_stderr"])
        scatter = np.std(slopes, ddof=1)
        reported = np.sqrt(np.mean(np.square(errors)))
        print(f"{window} {int(overlap * 100)} % | {scatter:.4f} | {reported:.4f} | {reported / scatter:.3f}")


def coherence_coverage():
    print(f"\n4. coherence interval's {P:.0%} coverage, {R} recordings, N = 64, K = 32, the 31 inner bins each")
    print("setting | g2 = 0.1 | 0.5 | 0.9")
    for window, overlap in (("boxcar", 0.0), ("hann", 0.5), ("hann", 0.75)):
        n, k = 64, 32
        step = n - int(np.floor(overlap * n))
        length = (k - 1) * step + n
        row = []
        for g2 in (0.1, 0.5, 0.9):
            a = np.sqrt(g2 / (1 - g2))
            covered = 0
            count = 0
            for _ in range(R):
                x = rng.standard_normal(length)
                s = veltrin.spectra(a * x + rng.standard_normal(length), x, 1.0, n, sections=k, window=window,
                                    overlap=overlap, confidence=P, coherence=True)
                low, high = s.coherence_low[1:n // 2], s.coherence_high[1:n // 2]
                covered += int(np.sum((low <= g2) & (g2 <= high)))
                count += len(low)
            row.append(covered / count)
        print(f"{window} {int(overlap * 100)} % | " + " | ".join(f"{c:.3f}" for c in row))


def numpy_bin_freedom(recordings=1_000_000):
    n, k, step = 64, 32, 16
    length = (k - 1) * step + n
    bins = [1, 2, n // 8]
    print(f"\n5. nu_bin, numpy alone, {recordings} recordings, N = 64, K = 32, Hann 75 %, mean removed")
    print("bin | exact | Monte Carlo | difference / s.e.")
    t = np.arange(n)
    w = np.hanning(n + 1)[:-1]
    # Removing a section's mean before the window is the form x . (a - mean a), a = w exp(-2 pi i t k / N).
    forms = np.array([w * np.exp(-2j * np.pi * t * b / n) for b in bins])
    forms = (forms - forms.mean(axis=1, keepdims=True)).T
    starts = (np.arange(k) * step)[:, None] + t[None, :]
    densities = []
    for _ in range(recordings // 10_000):
        x = rng.standard_normal((10_000, length))
        densities.append(np.mean(np.abs(x[:, starts] @ forms) ** 2, axis=1))
    densities = np.concatenate(densities)
    exact = veltrin.spectra(np.ones(length), np.ones(length), 1.0, n, sections=k, window="hann", overlap=0.75,
                            detrend="constant", confidence=P).nu_bin
    for b, column in zip(bins, densities.T):
        nu, se = ratio_error(column)
        print(f"{b} | {exact[b]:.2f} | {nu:.2f} +- {se:.2f} | {(exact[b] - nu) / se:+.2f}")


if __name__ == "__main__":
    degrees_of_freedom()
    band_coverage()
    slope_errors()
    coherence_coverage()
    numpy_bin_freedom()
