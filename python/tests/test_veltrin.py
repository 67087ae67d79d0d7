"""The Python module against the program's own output, scipy, and its error rules."""
import os
import subprocess
import threading
import time

import numpy as np
import pytest

import veltrin

VELTRIN = os.environ["VELTRIN_EXE"]
MAKE_SAMPLE = os.environ["VELTRIN_MAKE_SAMPLE"]
EXAMPLES = os.path.join(os.environ["VELTRIN_SOURCE_DIR"], "examples")


def program_csv(path, *options):
    """The program's CSV output: the columns by name and the '#' settings."""
    out = subprocess.run([VELTRIN, *options, "-f", "csv", path], capture_output=True, text=True, check=True).stdout
    lines = out.splitlines()
    rows = [line.split(",") for line in lines[1:] if not line.startswith("#")]
    columns = {name: np.array([float(row[k]) for row in rows]) for k, name in enumerate(lines[0].split(","))}
    keys = dict(line[2:].split(" = ", 1) for line in lines if line.startswith("# "))
    return columns, keys


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    path = tmp_path_factory.mktemp("recordings") / "generated.xml"
    with open(path, "w") as f:
        subprocess.run([MAKE_SAMPLE, "30000", "split", "7", "250"], stdout=f, check=True)
    return str(path)


def recordings(generated):
    return [os.path.join(EXAMPLES, "noise_paired.xml"), os.path.join(EXAMPLES, "split", "noise_split.xml"), generated]


@pytest.mark.parametrize("options", [
    dict(points=256, hanning=True),
    dict(points=256, sections=3),
    dict(points=200, window="blackman", overlap=0.5, confidence=0.95, coherence=True),
    dict(points=255, window="hann", detrend="linear", average="median"),
])
def test_arrays_equal_the_program_csv_bit_for_bit(generated, options):
    for path in recordings(generated):
        r = veltrin.read(path)
        s = veltrin.spectra(r.v, r.i, r.sampling_frequency, **options)
        argv = ["-n", str(options["points"])]
        argv += ["-s", str(options["sections"])] if "sections" in options else []
        argv += ["--hanning"] if options.get("hanning") else []
        argv += ["-w", options["window"]] if "window" in options else []
        argv += ["--overlap", str(options["overlap"])] if "overlap" in options else []
        argv += ["--detrend", options["detrend"]] if "detrend" in options else []
        argv += ["--average", options["average"]] if "average" in options else []
        argv += ["--confidence", str(options["confidence"])] if "confidence" in options else []
        argv += ["--coherence"] if options.get("coherence") else []
        columns, keys = program_csv(path, *argv)
        for name, values in columns.items():
            ours = getattr(s, name)
            assert ours.dtype == np.float64
            assert np.array_equal(ours, values, equal_nan=True), (path, name)
        assert s.settings["nb_section"] == int(keys["nb_section"])
        if "confidence" in options:
            assert s.nu == float(keys["nu"])
        else:
            assert s.nu is None


def test_read_stores_what_the_text_says(tmp_path):
    values = np.random.default_rng(1).standard_normal(1000) * 1e-3
    path = tmp_path / "r.xml"
    text = "\ufeff<sampling_frequency>125</sampling_frequency>\r\n<data>\r\n"
    text += "".join(f"<v>{a:.7e}</v><i>{-a:.9g}</i>\r\n" for a in values) + "</data>\r\n"
    path.write_text(text, encoding="utf-8")
    r = veltrin.read(path)  # a path object works as well as a string
    assert (r.sampling_frequency, r.lines, r.deltat) == (125.0, 1000, float(np.float32(1 / 125)))
    assert r.v.dtype == np.float32 and r.i.dtype == np.float32
    assert np.array_equal(r.v, np.array([float(f"{a:.7e}") for a in values]).astype(np.float32))
    assert np.array_equal(r.i, np.array([float(f"{-a:.9g}") for a in values]).astype(np.float32))


def test_statistics_are_the_command_line_stats(generated):
    r = veltrin.read(generated)
    stats = veltrin.statistics(r.v, r.i, r.sampling_frequency, 512, window="hann", overlap=0.5)
    _, keys = program_csv(generated, "-n", "512", "-w", "hann", "--overlap", "0.5", "--stats")
    assert len(stats) == 17
    for key, value in stats.items():
        assert value == float(keys[key]), key


def test_run_config_returns_what_the_configuration_mode_writes(tmp_path):
    config = os.path.join(EXAMPLES, "config_veltrin.txt")
    result = veltrin.run_config(config)
    table = open(os.path.join(EXAMPLES, "result_paired.txt")).read().splitlines()[2:]
    rows = np.array([[float(x) for x in line.split()] for line in table])
    assert np.array_equal(np.array([float(f"{x:14.6e}") for x in result.psd_v]), rows[:, 1])
    assert np.array_equal(np.array([float(f"{x:14.6e}") for x in result.frequency]), rows[:, 0])
    assert result.settings["data_file"] == "noise_paired.xml" and result.settings["hanning"] == 1
    assert not (tmp_path / "result_paired.txt").exists()


def test_standard_estimate_agrees_with_scipy(generated):
    signal = pytest.importorskip("scipy.signal")
    r = veltrin.read(generated)
    x, y = r.v.astype(np.float64), r.i.astype(np.float64)
    s = veltrin.spectra(r.v, r.i, r.sampling_frequency, 1000, window="hamming", overlap=0.75, coherence=True)
    k = s.settings["nb_section"]
    length = (k - 1) * 750 + 1000
    kw = dict(fs=r.sampling_frequency, window="hamming", nperseg=1000, noverlap=750)
    _, pv = signal.welch(x[:length], **kw)
    _, coh = signal.coherence(x[:length], y[:length], **kw)
    for ours, theirs in ((s.psd_v, pv), (s.coherence, coh)):
        assert np.all(np.abs(ours - theirs) <= 1e-9 * np.abs(theirs) + 1e-12 * np.max(np.abs(theirs[1:-1])))


def test_any_array_that_converts_to_float32(generated):
    r = veltrin.read(generated)
    as_float32 = veltrin.spectra(r.v, r.i, r.sampling_frequency, 256)
    as_lists = veltrin.spectra(r.v.astype(np.float64).tolist(), r.i.astype(np.float64), r.sampling_frequency, 256)
    strided = veltrin.spectra(np.repeat(r.v, 2)[::2], np.repeat(r.i, 2)[::2], r.sampling_frequency, 256)
    assert np.array_equal(as_float32.psd_v, as_lists.psd_v) and np.array_equal(as_float32.psd_i, strided.psd_i)


@pytest.mark.parametrize("call, error, message", [
    (lambda: veltrin.read("absent.xml"), FileNotFoundError, "The file absent.xml does not exist."),
    (lambda: veltrin.read(EXAMPLES), OSError, "cannot be read"),
    (lambda: veltrin.read(os.path.join(EXAMPLES, "config_veltrin.txt")), ValueError, "structure of the input"),
    (lambda: veltrin.run_config("absent.txt"), FileNotFoundError, "does not exist"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 6), ValueError, "not a power of 2"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 1), ValueError, "-n needs a whole number from 2"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 4, hanning=True, window="hann"), ValueError, "--window hann"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 4, window="kaiser"), ValueError, "the window must be"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 4, average="median", confidence=0.9), ValueError,
     "mean average"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 4, detrend="cubic"), ValueError, "--detrend needs"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 7, 500, 4), ValueError, "same length"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 8, 0.0, 4), ValueError, "sampling frequency"),
    (lambda: veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 16), ValueError, "number of data points is too low"),
])
def test_errors_have_the_fitting_type_and_the_command_line_message(call, error, message):
    with pytest.raises(error, match=message.replace("(", r"\(").replace(")", r"\)")):
        call()


def test_reading_releases_the_gil(tmp_path):
    path = tmp_path / "big.xml"
    with open(path, "w") as f:
        subprocess.run([MAKE_SAMPLE, "3000000", "paired", "3", "500"], stdout=f, check=True)
    done = threading.Event()
    reader = threading.Thread(target=lambda: (veltrin.read(path), done.set()))
    stamps = [time.perf_counter()]
    reader.start()
    while not done.is_set():
        stamps.append(time.perf_counter())
    reader.join()
    elapsed = stamps[-1] - stamps[0]
    longest_pause = max(b - a for a, b in zip(stamps, stamps[1:]))
    # While the file is read, this thread keeps running Python code: a GIL
    # held through the reading would stop it for the whole read.
    assert elapsed > 0.05
    assert longest_pause < elapsed / 3, (longest_pause, elapsed)
