"""The Python module against the program's own output, scipy, and its error rules."""
import concurrent.futures
import multiprocessing
import os
import pathlib
import pickle
import shutil
import signal
import subprocess
import sys
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


@pytest.mark.parametrize("tuple_form, string_form, written", [
    (("kaiser", 8.0), "kaiser:8", "kaiser:8"),
    (("tukey", 0.25), "tukey:0.25", "tukey:0.25"),
    (("gaussian", 40), "gaussian:40", "gaussian:40"),
    (("general_hamming", np.float64(0.6)), "general_hamming:0.6", "general_hamming:0.6"),
])
def test_a_window_with_a_parameter_as_a_tuple_or_a_string(generated, tuple_form, string_form, written):
    r = veltrin.read(generated)
    by_tuple = veltrin.spectra(r.v, r.i, r.sampling_frequency, 200, window=tuple_form, overlap=0.5)
    by_string = veltrin.spectra(r.v, r.i, r.sampling_frequency, 200, window=string_form, overlap=0.5)
    assert np.array_equal(by_tuple.psd_v, by_string.psd_v)
    assert by_tuple.settings["window"] == by_string.settings["window"] == written
    columns, keys = program_csv(generated, "-n", "200", "-w", string_form, "--overlap", "0.5")
    assert keys["window"] == written
    assert np.array_equal(columns["psd_i"], by_tuple.psd_i)
    signal = pytest.importorskip("scipy.signal")
    k = by_tuple.settings["nb_section"]
    x = r.v.astype(np.float64)[:(k - 1) * 100 + 200]
    _, pv = signal.welch(x, fs=r.sampling_frequency, window=tuple(tuple_form), nperseg=200, noverlap=100)
    assert np.all(np.abs(by_tuple.psd_v - pv) <= 1e-9 * np.abs(pv) + 1e-12 * np.max(np.abs(pv[1:-1])))


@pytest.mark.parametrize("keywords, argv", [
    (dict(points=256, hanning=True, confidence=0.9, zn_interval="coherent", band=(0.5, 4), stern_geary=0.026, area=3,
          statistics=True),
     ["-n", "256", "--hanning", "--confidence", "0.9", "--zn-interval", "coherent", "--band", "0.5:4",
      "--stern-geary", "0.026", "--area", "3", "--stats"]),
    (dict(points=300, window="blackman", overlap=0.5, confidence=0.95, zn_interval="coherent", slope_band=[1, 20]),
     ["-n", "300", "-w", "blackman", "--overlap", "0.5", "--confidence", "0.95", "--zn-interval", "coherent",
      "--slope-band", "1:20"]),
])
def test_band_keywords_give_the_command_lines_keys_bit_for_bit(generated, keywords, argv):
    r = veltrin.read(generated)
    s = veltrin.spectra(r.v, r.i, r.sampling_frequency, **keywords)
    columns, keys = program_csv(generated, *argv)
    names = list(keys)  # the band's keys are the last "#" lines
    band = {key: float(keys[key]) for key in names[names.index("band_low"):]}
    assert list(band) == list(s.band) and len(band) >= 16
    assert all(s.band[key] == value or (np.isnan(s.band[key]) and np.isnan(value)) for key, value in band.items())
    assert type(s.band["band_bins"]) is int and type(s.band["zn_band"]) is float
    for name in ("zn_low", "zn_high"):
        assert np.array_equal(getattr(s, name), columns[name], equal_nan=True)
    assert s.settings["zn_interval"] == "coherent"
    assert veltrin.spectra(r.v, r.i, r.sampling_frequency, 256).band is None


def test_any_array_that_converts_to_float32(generated):
    r = veltrin.read(generated)
    as_float32 = veltrin.spectra(r.v, r.i, r.sampling_frequency, 256)
    as_lists = veltrin.spectra(r.v.astype(np.float64).tolist(), r.i.astype(np.float64), r.sampling_frequency, 256)
    strided = veltrin.spectra(np.repeat(r.v, 2)[::2], np.repeat(r.i, 2)[::2], r.sampling_frequency, 256)
    assert np.array_equal(as_float32.psd_v, as_lists.psd_v) and np.array_equal(as_float32.psd_i, strided.psd_i)


def run_config_with(tmp_path, settings):
    """run_config on a configuration of the example recording with these three settings."""
    config = tmp_path / "settings.txt"
    config.write_text(f"{os.path.join(EXAMPLES, 'noise_paired.xml')} {settings} result.txt\n")
    return veltrin.run_config(config)


TOO_LOW = "Fatal error: the number of data points is too low. Decrease the number of sections"


@pytest.mark.parametrize("call, error, message", [
    (lambda tmp: veltrin.read("absent.xml"), FileNotFoundError, "The file absent.xml does not exist."),
    (lambda tmp: veltrin.read(EXAMPLES), OSError, f"The file {EXAMPLES} cannot be read."),
    (lambda tmp: veltrin.read(os.path.join(EXAMPLES, "config_veltrin.txt")), ValueError,
     "Fatal error: the file holds no row of numbers, nor the <sampling_frequency> and <data> tags of a tagged "
     "recording."),
    (lambda tmp: veltrin.read(os.path.join(EXAMPLES, "config_veltrin.txt"), input_format="tagged"), ValueError,
     "The structure of the input data file is unknown. The string <data> or the string <sampling_frequency> of the "
     "XML format does not exist."),
    (lambda tmp: veltrin.run_config("absent.txt"), FileNotFoundError, "The file absent.txt does not exist."),
    (lambda tmp: veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 16), ValueError, f"{TOO_LOW} or the points per section."),
    # The settings of a configuration file: the file is named where they can be changed.
    (lambda tmp: run_config_with(tmp, "0 1000 1024"), ValueError, f"{TOO_LOW} in the file {{tmp}}/settings.txt."),
    (lambda tmp: run_config_with(tmp, "0 1 1000"), ValueError,
     "Fatal error: the number of points per section is not a power of 2."),
    (lambda tmp: run_config_with(tmp, "0 0 1024"), ValueError, "Fatal error: the number of sections must be at least 1."),
])
def test_file_and_data_errors_have_the_fitting_type_and_the_program_message(tmp_path, call, error, message):
    with pytest.raises(error) as raised:
        call(tmp_path)
    assert str(raised.value) == message.format(tmp=tmp_path)


ONES = [1.0] * 8
WITH_NAN = np.ones(20)
WITH_NAN[[17, 19]] = np.nan


def spectra_with(**changes):
    arguments = dict(v=ONES, i=ONES, fs=500, points=4)
    arguments.update(changes)
    return lambda: veltrin.spectra(**arguments)


@pytest.mark.parametrize("call, error, message", [
    (spectra_with(points=2**40), ValueError, "points must be a whole number from 2 to 2147483647, not 1099511627776"),
    (spectra_with(points=2**31), ValueError, "points must be a whole number from 2 to 2147483647, not 2147483648"),
    (spectra_with(points=1), ValueError, "points must be a whole number from 2 to 2147483647, not 1"),
    (spectra_with(points=1024.0), TypeError, "points must be a whole number from 2 to 2147483647, not float"),
    (spectra_with(points=True), TypeError, "points must be a whole number from 2 to 2147483647, not bool"),
    (spectra_with(points=6), ValueError, "points must be a power of 2 for the configuration estimate, not 6"),
    # Each argument's own rule as it is read, before the rules between arguments.
    (spectra_with(points=6, confidence=2), ValueError,
     "confidence must be None or a number more than 0 and less than 1, not 2"),
    (spectra_with(sections=2**31), ValueError,
     "sections must be None or a whole number from 1 to 2147483647, not 2147483648"),
    (spectra_with(sections=-1), ValueError, "sections must be None or a whole number from 1 to 2147483647, not -1"),
    (spectra_with(sections=2.0), TypeError, "sections must be None or a whole number from 1 to 2147483647, not float"),
    (spectra_with(hanning=2), ValueError, "hanning must be True or False, not 2"),
    (spectra_with(hanning="no"), TypeError, "hanning must be True or False, not str"),
    (spectra_with(coherence=None), TypeError, "coherence must be True or False, not None"),
    (spectra_with(window="welch"), ValueError, "window must be None or one of hann, hamming, blackman, "
     "blackmanharris, flattop, bartlett, boxcar, kaiser:BETA, tukey:ALPHA, gaussian:STD or general_hamming:ALPHA, "
     "not 'welch'"),
    (spectra_with(window=("hann", 1.0)), ValueError, "window must be None or one of hann, hamming, blackman, "
     "blackmanharris, flattop, bartlett, boxcar, kaiser:BETA, tukey:ALPHA, gaussian:STD or general_hamming:ALPHA, "
     "not ('hann', 1.0)"),
    (spectra_with(window=("kaiser",)), ValueError, "window must be None or one of hann, hamming, blackman, "
     "blackmanharris, flattop, bartlett, boxcar, kaiser:BETA, tukey:ALPHA, gaussian:STD or general_hamming:ALPHA, "
     "not ('kaiser',)"),
    (spectra_with(window=("kaiser", "8")), TypeError, "window must be None or one of hann, hamming, blackman, "
     "blackmanharris, flattop, bartlett, boxcar, kaiser:BETA, tukey:ALPHA, gaussian:STD or general_hamming:ALPHA, "
     "not str"),
    (spectra_with(window=["kaiser", 8]), TypeError, "window must be None or one of hann, hamming, blackman, "
     "blackmanharris, flattop, bartlett, boxcar, kaiser:BETA, tukey:ALPHA, gaussian:STD or general_hamming:ALPHA, "
     "not list"),
    (spectra_with(window="kaiser"), ValueError, "window kaiser:BETA needs a number BETA from 0 to 400, not 'kaiser'"),
    (spectra_with(window=("kaiser", -1)), ValueError,
     "window kaiser:BETA needs a number BETA from 0 to 400, not ('kaiser', -1)"),
    (spectra_with(window="tukey:1.5"), ValueError, "window tukey:ALPHA needs a number ALPHA from 0 to 1, not 'tukey:1.5'"),
    (spectra_with(window=("gaussian", float("nan"))), ValueError,
     "window gaussian:STD needs a number STD of at least 0.1, not ('gaussian', nan)"),
    (spectra_with(overlap=1.0), ValueError, "overlap must be a number at least 0 and less than 1, not 1.0"),
    (spectra_with(overlap=float("nan")), ValueError, "overlap must be a number at least 0 and less than 1, not nan"),
    (spectra_with(overlap="0.5"), TypeError, "overlap must be a number at least 0 and less than 1, not str"),
    (spectra_with(detrend="cubic"), ValueError, "detrend must be 'constant', 'linear' or 'none', not 'cubic'"),
    (spectra_with(average="mode"), ValueError, "average must be 'mean' or 'median', not 'mode'"),
    (spectra_with(confidence=1), ValueError,
     "confidence must be None or a number more than 0 and less than 1, not 1"),
    (spectra_with(average="median", confidence=0.9), ValueError, "confidence needs average='mean'"),
    (spectra_with(average="median", coherence=True), ValueError, "coherence needs average='mean'"),
    (spectra_with(points=8, band=(3.1, 3.2)), ValueError,
     "band=(3.1, 3.2) holds no bin: the bins are 62.499996185302734 Hz apart"),
    (spectra_with(points=8, window="hann", slope_band=[200.0, 250]), ValueError,  # the Nyquist bin does not count
     "slope_band=[200.0, 250] holds no bin: the bins are 62.5 Hz apart"),
    (spectra_with(band=(2, 1)), ValueError,
     "band must be None or a pair (f_lo, f_hi) of frequencies in Hz with 0 <= f_lo <= f_hi, not (2, 1)"),
    (spectra_with(slope_band=(1, 2, 3)), ValueError,
     "slope_band must be None or a pair (f_lo, f_hi) of frequencies in Hz with 0 <= f_lo <= f_hi, not (1, 2, 3)"),
    (spectra_with(band="1:2"), TypeError,
     "band must be None or a pair (f_lo, f_hi) of frequencies in Hz with 0 <= f_lo <= f_hi, not str"),
    (spectra_with(slope_band=(1, float("inf"))), ValueError,
     "slope_band must be None or a pair (f_lo, f_hi) of frequencies in Hz with 0 <= f_lo <= f_hi, not (1, inf)"),
    (spectra_with(zn_interval="joint"), ValueError, "zn_interval must be 'independent' or 'coherent', not 'joint'"),
    (spectra_with(zn_interval="coherent"), ValueError, "zn_interval='coherent' needs a confidence"),
    (spectra_with(stern_geary=0), ValueError, "stern_geary must be None or a number of volts from 1e-37 to 1e37, not 0"),
    (spectra_with(stern_geary=2e154), ValueError,
     "stern_geary must be None or a number of volts from 1e-37 to 1e37, not 2e+154"),
    (spectra_with(stern_geary=0.026, area=9e-38), ValueError,
     "area must be None or a number of cm^2 from 1e-37 to 1e37, not 9e-38"),
    (spectra_with(stern_geary=0.026, area="1"), TypeError, "area must be None or a number of cm^2 from 1e-37 to 1e37, not str"),
    (spectra_with(area=2), ValueError, "area needs stern_geary"),
    (spectra_with(hanning=True, window="hann"), ValueError,
     "hanning=True is the configuration estimate's window: with the standard estimate use window='hann'"),
    (spectra_with(fs=0.0), ValueError, "fs must be a number from 1e-37 to 1e37, not 0.0"),
    (spectra_with(fs="500"), TypeError, "fs must be a number from 1e-37 to 1e37, not str"),
    (spectra_with(v=None), TypeError, "v must be a one-dimensional array of real numbers, not None"),
    (spectra_with(i=np.ones((2, 4))), ValueError,
     "i must be a one-dimensional array of real numbers, not a 2-dimensional array"),
    (spectra_with(v=np.ones(8, complex)), TypeError,
     "v must be a one-dimensional array of real numbers, not an array of complex128"),
    (spectra_with(i=ONES[:7]), ValueError, "v and i must have the same length, not 8 and 7"),
    (spectra_with(v=WITH_NAN, i=np.ones(20)), ValueError, "v holds a value that is not finite at index 17 (nan)"),
    (spectra_with(i=[1, 1, 1, -np.inf, 1, 1, 1, 1]), ValueError,
     "i holds a value that is not finite at index 3 (-inf)"),
    (spectra_with(i=[1, 1, 1, 1, 1, 1e39, 1, 1]), ValueError,
     "i holds a value too large for single precision at index 5 (1e+39)"),
    (lambda: veltrin.statistics(WITH_NAN, np.ones(20), 500, 4), ValueError,
     "v holds a value that is not finite at index 17 (nan)"),
    # The binding of the arguments themselves: never a dump of the signature and the arrays.
    (spectra_with(v=np.ones(100000), i=np.ones(100000), sectoins=2), TypeError,
     "spectra() got an unexpected keyword argument 'sectoins'"),
    (lambda: veltrin.spectra(ONES, ONES, 500), TypeError, "spectra() missing required argument 'points'"),
    (lambda: veltrin.statistics(ONES, ONES, 500, 4, confidence=0.9), TypeError,
     "statistics() got an unexpected keyword argument 'confidence'"),
    (lambda: veltrin.read("a.xml", "b.xml"), TypeError, "read() takes at most 1 argument (2 given)"),
    (lambda: veltrin.read(3), TypeError, "path must be a str, bytes or os.PathLike object, not int"),
    (lambda: veltrin.run_config("a\0b"), ValueError, "path must not hold a null character"),
])
def test_a_bad_argument_gets_one_short_message_naming_it(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value) == message


def test_numpy_scalars_and_zero_or_one_flags_are_accepted():
    expected = veltrin.spectra(ONES, ONES, 500, 4, sections=2, hanning=True).psd_v
    got = veltrin.spectra(ONES, ONES, np.float32(500), np.int64(4), sections=np.int32(2), hanning=1).psd_v
    assert np.array_equal(got, expected)


class PathLike:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


@pytest.mark.parametrize("spelled", [str, os.fsencode, pathlib.Path, PathLike, lambda p: PathLike(os.fsencode(p))])
def test_every_spelling_of_a_path_names_the_same_file(tmp_path, spelled):
    # A name that is not UTF-8 is a name like any other to the system.
    directory = os.fsencode(tmp_path) + b"/r\xff"
    os.mkdir(directory)
    with open(os.path.join(EXAMPLES, "config_veltrin.txt"), "rb") as f:
        config = f.read()
    with open(directory + b"/config_veltrin.txt", "wb") as f:
        f.write(config)
    shutil.copy(os.path.join(EXAMPLES, "noise_paired.xml"), directory + b"/noise_paired.xml")
    data = os.fsdecode(directory + b"/noise_paired.xml")
    recording = veltrin.read(spelled(data))
    assert np.array_equal(recording.v, veltrin.read(os.path.join(EXAMPLES, "noise_paired.xml")).v)
    result = veltrin.run_config(spelled(os.fsdecode(directory + b"/config_veltrin.txt")))
    assert np.array_equal(result.psd_v, veltrin.run_config(os.path.join(EXAMPLES, "config_veltrin.txt")).psd_v)
    absent = os.fsdecode(directory + b"/absent.xml")
    with pytest.raises(FileNotFoundError) as raised:
        veltrin.read(spelled(absent))
    assert str(raised.value) == f"The file {absent} does not exist."


# A child process that reads `path` and says when Ctrl-C reached it.
READ_UNTIL_INTERRUPTED = """
import sys, time, veltrin
print("reading", flush=True)
try:
    veltrin.read(sys.argv[1])
    print("read", flush=True)
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
"""


@pytest.mark.parametrize("written", [None, b"", b"<sampling_frequency>500</sampling_frequency>\n<data>\n<v>1</v><i>2"])
def test_ctrl_c_stops_reading_a_fifo_at_once(tmp_path, written):
    """Without a writer, with one that writes nothing, and with one stopped in the middle of the data."""
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    child = subprocess.Popen([sys.executable, "-c", READ_UNTIL_INTERRUPTED, str(fifo)], stdout=subprocess.PIPE,
                             text=True)
    writer = None
    try:
        assert child.stdout.readline() == "reading\n"
        if written is not None:
            writer = os.open(fifo, os.O_WRONLY)  # returns once the child has it open
            os.write(writer, written)
        time.sleep(0.5)  # the child is now waiting inside read()
        signalled = time.monotonic()
        child.send_signal(signal.SIGINT)
        answer = child.communicate(timeout=10)[0].split()
    finally:
        child.kill()
        if writer is not None:
            os.close(writer)
    assert answer[:1] == ["interrupted"], answer
    assert float(answer[1]) - signalled < 0.2


def test_a_fifo_written_in_pieces_reads_like_the_file(tmp_path):
    rng = np.random.default_rng(5)
    text = "<sampling_frequency>125</sampling_frequency>\r\n<data>\r\n"
    text += "".join(f"<v>{a:.7e}</v><i>{-a:.9g}</i>\r\n" for a in rng.standard_normal(20000)) + "</data>\r\n"
    content = text.encode()
    path = tmp_path / "r.xml"
    path.write_bytes(content)
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)

    # Pieces of any size, some ending between the CR and the LF of a line end.
    after_cr = [k + 1 for k in range(len(content)) if content[k] == 13]
    cuts = set(rng.integers(1, len(content), 30).tolist()) | set(rng.choice(after_cr, 10).tolist())
    cuts = [0, *sorted(cuts), len(content)]

    def write_in_pieces():
        with open(fifo, "wb", buffering=0) as f:
            for start, end in zip(cuts, cuts[1:]):
                f.write(content[start:end])
                time.sleep(0.002)

    writer = threading.Thread(target=write_in_pieces)
    writer.start()
    from_fifo = veltrin.read(fifo)
    writer.join()
    from_file = veltrin.read(path)
    assert from_fifo.lines == from_file.lines == 20000
    assert np.array_equal(from_fifo.v, from_file.v) and np.array_equal(from_fifo.i, from_file.i)


def test_reading_releases_the_gil(tmp_path):
    # A writer process that pauses 0.6 s in the middle of the recording makes
    # the reading last that long whatever the machine's speed or load.
    path = tmp_path / "rec.xml"
    with open(path, "w") as f:
        subprocess.run([MAKE_SAMPLE, "200000", "paired", "3", "500"], stdout=f, check=True)
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    # Opened for reading and writing, the FIFO does not wait for its reader; only the writer keeps it open.
    end = os.open(fifo, os.O_RDWR)
    writer = subprocess.Popen(["sh", "-c", 'head -c 100000 "$1"; sleep 0.6; tail -c +100001 "$1"', "sh", str(path)],
                              stdout=end)
    os.close(end)
    done = threading.Event()
    read = []

    def read_in_thread():
        try:
            read.append(veltrin.read(fifo))
        finally:
            done.set()  # a failed reading ends the loop below too

    reader = threading.Thread(target=read_in_thread)
    stamps = [time.perf_counter()]
    reader.start()
    while not done.is_set():
        stamps.append(time.perf_counter())
    reader.join()
    writer.wait()
    assert read, "the reading failed"
    elapsed = stamps[-1] - stamps[0]
    longest_pause = max(b - a for a, b in zip(stamps, stamps[1:]))
    # While the file is read, this thread keeps running Python code: a GIL
    # held through the reading would stop it for the whole read.
    assert elapsed > 0.5
    assert longest_pause < elapsed / 3, (longest_pause, elapsed)


def test_the_module_leaves_the_process_signal_handlers_alone(tmp_path):
    # The C-level handlers, as sigaction reports them, before and after the module works.
    script = f"""
import ctypes, signal, sys
libc = ctypes.CDLL(None, use_errno=True)
def handlers():
    seen = []
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        action = ctypes.create_string_buffer(256)
        assert libc.sigaction(number, None, action) == 0
        seen.append(bytes(action.raw[:8]))
    return seen
before = handlers()
import numpy as np
import veltrin
r = veltrin.read({os.path.join(EXAMPLES, "noise_paired.xml")!r})
veltrin.spectra(r.v, r.i, fs=r.sampling_frequency, points=256, window="hann", coherence=True)
veltrin.spectra(r.v, r.i, fs=r.sampling_frequency, points=256, hanning=True)
veltrin.run_config({os.path.join(EXAMPLES, "config_veltrin.txt")!r})
sys.exit(0 if handlers() == before else 1)
"""
    done = subprocess.run([sys.executable, "-c", script], env=os.environ, timeout=60)
    assert done.returncode == 0


INSTRUMENT_FILES = os.path.join(os.environ["VELTRIN_SOURCE_DIR"], "tests", "input", "instrument_files")


@pytest.mark.parametrize("name, keywords, settings", [
    ("plain.csv", {}, dict(v_column="v", i_column="i", i_scale=1.0)),
    ("semicolon.csv", dict(input_format="delimited"), dict(v_column="E", i_column="I", i_scale=1.0)),
    ("whitespace.txt", dict(fs=16, v_column=1, i_column=2, delimiter="space"), dict(v_column="1", i_column="2")),
    ("ec_lab.mpt", {}, dict(v_column="Ewe/V", i_column="<I>/mA", i_scale=0.001)),
    ("gamry.DTA", dict(delimiter="tab"), dict(v_column="Vf", i_column="Im", v_scale=1.0)),
    ("autolab.txt", dict(time_column="Time (s)"), dict(v_column="WE(1).Potential (V)", i_column="WE(1).Current (A)")),
    ("raw.f32le", dict(input_format="f32le", fs=16), {}),
    ("raw.f64be", dict(input_format="f64be", fs=16, i_scale=1), dict(i_scale=1.0)),
])
def test_instrument_files_read_as_the_tagged_recording(name, keywords, settings):
    tagged = veltrin.read(os.path.join(INSTRUMENT_FILES, "tagged.xml"))
    assert tagged.settings == {"input_format": "tagged"}
    r = veltrin.read(os.path.join(INSTRUMENT_FILES, name), **keywords)
    assert r.sampling_frequency == tagged.sampling_frequency == 16.0
    assert r.v.tobytes() == tagged.v.tobytes() and r.i.tobytes() == tagged.i.tobytes()
    assert r.settings["input_format"] == keywords.get("input_format", "delimited")
    assert {key: r.settings[key] for key in settings} == settings


@pytest.mark.parametrize("keywords, error, message", [
    (dict(input_format="xlsx"), ValueError,
     "input_format must be 'auto', 'tagged', 'delimited', 'f32le', 'f64le', 'f32be' or 'f64be', not 'xlsx'"),
    (dict(input_format="f32le"), ValueError, "input_format 'f32le' needs fs: raw binary holds no sampling frequency"),
    (dict(v_column=0), ValueError, "v_column must be a column name (str) or number from 1 to 2147483647 (int), not 0"),
    (dict(i_column=2.0), TypeError, "i_column must be a column name (str) or number from 1 to 2147483647 (int), not float"),
    (dict(v_column=2**64), ValueError,
     "v_column must be a column name (str) or number from 1 to 2147483647 (int), not 18446744073709551616"),
    (dict(time_column="18446744073709551616"), ValueError,
     "time_column must be a column name (str) or number from 1 to 2147483647 (int), not '18446744073709551616'"),
    (dict(i_column="2147483648"), ValueError,
     "i_column must be a column name (str) or number from 1 to 2147483647 (int), not '2147483648'"),
    (dict(fs=-1), ValueError, "fs must be a sampling frequency from 1e-37 to 1e37 Hz, not -1"),
    (dict(delimiter="|"), ValueError, "delimiter must be ',', ';', 'tab' or 'space', not '|'"),
    (dict(skip=-2), ValueError, "skip must be a whole number of lines from 0, not -2"),
    (dict(v_scale=0.0), ValueError, "v_scale must be a finite number other than 0, not 0.0"),
    (dict(time_column="when"), ValueError, 'the header row (line 1) has no column named "when"; its names are "time", '
     '"v", "i"; choose the time column with time_column (a name, or a number from 1)'),
    (dict(decimal_comma=True), ValueError, "Fatal error: line 2: the time column (time) holds '0.0', which is not a number."),
    (dict(v_column="x"), ValueError, 'the header row (line 1) has no column named "x"; its names are "time", "v", '
     '"i"; choose the v column with v_column (a name, or a number from 1)'),
    (dict(input_format="tagged", skip=1), ValueError, "skip does not apply to a tagged file"),
    (dict(input_format="f32le", fs=4.0, table=2), ValueError, "table does not apply to raw binary input"),
    (dict(v_column=2, i_column=3, skip=1), ValueError, "the file has no time column to give the sampling frequency: give "
     "it with fs, or choose the time column with time_column"),
])
def test_reading_keywords_are_checked_and_named_as_python_names_them(keywords, error, message):
    with pytest.raises(error) as raised:
        veltrin.read(os.path.join(INSTRUMENT_FILES, "plain.csv"), **keywords)
    assert str(raised.value) == message


def test_version_is_the_programs():
    shown = subprocess.run([VELTRIN, "-V"], capture_output=True, text=True, check=True).stdout.split()
    assert shown == ["veltrin", veltrin.__version__]


def test_to_pandas_holds_the_columns_in_the_csv_order_and_the_settings(generated):
    pytest.importorskip("pandas")
    r = veltrin.read(os.path.join(INSTRUMENT_FILES, "ec_lab.mpt"))
    frame = r.to_pandas()
    assert list(frame.columns) == ["v", "i"] and list(frame.dtypes) == [np.float32, np.float32]
    assert frame["v"].to_numpy().tobytes() == r.v.tobytes() and frame["i"].to_numpy().tobytes() == r.i.tobytes()
    assert frame.attrs == {"sampling_frequency": r.sampling_frequency, "settings": r.settings}
    r = veltrin.read(generated)
    for options, argv in ((dict(points=256, hanning=True), ["-n", "256", "--hanning"]),
                          (dict(points=200, window="hann", confidence=0.9, coherence=True),
                           ["-n", "200", "-w", "hann", "--confidence", "0.9", "--coherence"])):
        s = veltrin.spectra(r.v, r.i, r.sampling_frequency, **options)
        frame = s.to_pandas()
        assert list(frame.columns) == list(program_csv(generated, *argv)[0])
        for name in frame.columns:
            assert frame[name].to_numpy().tobytes() == getattr(s, name).tobytes(), name
        assert frame.attrs == {"settings": s.settings, "nu": s.nu, "band": None, "statistics": None}
    s = veltrin.spectra(r.v, r.i, r.sampling_frequency, 256, stern_geary=0.026)
    assert s.to_pandas().attrs["band"] == s.band and "band" not in s.to_pandas().columns


def test_to_pandas_without_pandas_says_what_to_install():
    script = """
import sys
sys.modules["pandas"] = None
import veltrin
try:
    veltrin.spectra([1.0] * 8, [1.0] * 8, 500, 4).to_pandas()
except ImportError as error:
    print(error)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.stdout == ("to_pandas() needs pandas, which is not installed "
                           "(Debian: apt-get install python3-pandas; pip: pip install pandas)\n"), done.stderr


def same_recording(a, b):
    return ((a.sampling_frequency, a.deltat, a.lines, a.settings, a.v.tobytes(), a.i.tobytes()) ==
            (b.sampling_frequency, b.deltat, b.lines, b.settings, b.v.tobytes(), b.i.tobytes()))


def same_spectra(a, b):
    arrays = [name for name in vars(a) if name not in ("settings", "nu", "band", "statistics")]
    # repr: a band key may be nan.
    return (list(vars(a)) == list(vars(b)) and (a.settings, a.nu, repr(a.band), a.statistics) == (b.settings, b.nu, repr(b.band), b.statistics) and
            all(getattr(a, name).tobytes() == getattr(b, name).tobytes() for name in arrays))


@pytest.mark.parametrize("protocol", [2, pickle.HIGHEST_PROTOCOL])
def test_recordings_and_results_pickle_bit_for_bit(protocol):
    for path, keywords in ((os.path.join(EXAMPLES, "noise_paired.xml"), {}),
                           (os.path.join(INSTRUMENT_FILES, "gamry.DTA"), dict(i_scale=1e-3)),
                           (os.path.join(INSTRUMENT_FILES, "raw.f32le"), dict(input_format="f32le", fs=16))):
        r = veltrin.read(path, **keywords)
        copy = pickle.loads(pickle.dumps(r, protocol))
        assert same_recording(copy, r) and repr(copy) == repr(r)
        for options in (dict(points=4, hanning=True), dict(points=5, window="hann", confidence=0.9, coherence=True),
                        dict(points=16, window="hann", confidence=0.9, zn_interval="coherent", stern_geary=0.02)):
            s = veltrin.spectra(copy.v, copy.i, copy.sampling_frequency, **options)
            assert same_spectra(pickle.loads(pickle.dumps(s, protocol)), s)
    s = veltrin.run_config(os.path.join(EXAMPLES, "config_veltrin.txt"))
    assert same_spectra(pickle.loads(pickle.dumps(s, protocol)), s)


def read_and_analyse(path):
    r = veltrin.read(path)
    return r, veltrin.spectra(r.v, r.i, r.sampling_frequency, 256, window="hann", coherence=True)


def test_worker_processes_return_recordings_and_results(generated):
    paths = recordings(generated)
    spawn = multiprocessing.get_context("spawn")  # fresh interpreters: only what pickles gets there
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=spawn) as pool:
        returned = list(pool.map(read_and_analyse, paths))
        read_there = list(pool.map(veltrin.read, paths))
    for path, (r, s), r_there in zip(paths, returned, read_there):
        here_r, here_s = read_and_analyse(path)
        assert same_recording(r, here_r) and same_recording(r_there, here_r) and same_spectra(s, here_s)


@pytest.mark.parametrize("options", [
    dict(points=256, statistics=True),
    dict(points=200, window="hann", overlap=0.5, confidence=0.9, coherence=True, statistics=True, stern_geary=0.026),
])
def test_blocks_of_a_file_and_of_arrays_are_the_spectra_of_their_samples(generated, options):
    r = veltrin.read(generated)
    points = 3500
    from_file = list(veltrin.blocks(generated, points=options["points"], block_points=points,
                                    **{k: v for k, v in options.items() if k != "points"}))
    from_arrays = veltrin.blocks((r.v, r.i), r.sampling_frequency, block=points / r.sampling_frequency,
                                 **options)
    assert [b.block for b in from_file] == [1, 2, 3, 4]
    spectra_options = {k: v for k, v in options.items() if k != "statistics"}
    for file_block, array_block in zip(from_file, from_arrays, strict=True):
        k = file_block.block - 1
        cut = slice(k * points, (k + 1) * points)
        whole = veltrin.spectra(r.v[cut], r.i[cut], r.sampling_frequency, **spectra_options)
        assert (file_block.start, file_block.end) == (k * points / 250, (k + 1) * points / 250)
        for result in (file_block, array_block):
            same_spectra(result, whole)
            estimate = {k: v for k, v in spectra_options.items() if k in ("points", "window", "overlap")}
            assert result.statistics == veltrin.statistics(r.v[cut], r.i[cut], r.sampling_frequency, **estimate)
    table = veltrin.block_table(generated, points=options["points"], block_points=points,
                                **{k: v for k, v in options.items() if k != "points"})
    assert table.settings["dropped_samples"] == len(r.v) - 4 * points == 1000
    assert table["block"].dtype == np.int64 and list(table["block"]) == [1, 2, 3, 4]
    assert list(table)[3:] == list(from_file[0].statistics) + list((from_file[0].band or {}))
    assert table["rn"][2] == from_file[2].statistics["rn"]
    frame = table.to_pandas()
    assert list(frame.columns) == list(table) and frame.attrs["settings"]["blocks"] == 4


def test_a_run_with_no_complete_block_is_told():
    v = np.zeros(5, np.float32)
    with pytest.warns(UserWarning, match=r"^no block is complete: the recording's 5 samples are fewer than a "
                                         r"block's 100$"):
        assert list(veltrin.blocks((v, v), 10.0, points=4, block_points=100, statistics=True)) == []


def test_blocks_of_a_fifo_come_before_the_writer_closes(tmp_path):
    fifo = tmp_path / "live"
    os.mkfifo(fifo)
    first_seen = threading.Event()
    rows = "".join(f"{k % 7}.5,{-k}e-6\n" for k in range(300))

    def write():
        with open(fifo, "w") as f:
            f.write("v,i\n" + rows)
            f.flush()
            # The rest only once the first block was yielded: the reading cannot have waited for the end.
            assert first_seen.wait(20)
            f.write(rows)

    writer = threading.Thread(target=write)
    writer.start()
    it = veltrin.blocks(fifo, fs=100, points=64, block_points=250, statistics=True)
    first = next(it)
    first_seen.set()
    rest = list(it)
    writer.join()
    assert first.block == 1 and [b.block for b in rest] == [2]
    assert it.settings["dropped_samples"] == 100


@pytest.mark.parametrize("call, error, message", [
    (lambda p: veltrin.blocks(p, points=64), TypeError, "give block (seconds) or block_points"),
    (lambda p: veltrin.blocks(p, points=64, block=1, block_points=9), TypeError, "give block or block_points, not both"),
    (lambda p: veltrin.blocks(p, points=64, block="2days"), ValueError,
     "block must be a duration above 0: seconds, or a str such as '90s', '20min' or '1h', not '2days'"),
    (lambda p: veltrin.blocks(p, points=64, block=0), ValueError,
     "block must be a duration above 0: seconds, or a str such as '90s', '20min' or '1h', not 0"),
    (lambda p: veltrin.blocks(p, points=64, block_points=0), ValueError,
     "block_points must be a whole number from 1 to 2147483647, not 0"),
    (lambda p: veltrin.blocks(([1.0] * 9, [1.0] * 9), points=4, block_points=4), TypeError, "blocks() of arrays needs fs"),
    (lambda p: veltrin.blocks(([1.0] * 9, [1.0] * 9), 10, points=4, block_points=4, skip=1), TypeError,
     "skip applies to a file, not to arrays"),
    (lambda p: next(veltrin.blocks(p, points=256, block_points=100)), ValueError,
     "a block of 100 samples cannot hold the sections, which need 256 samples"),
    (lambda p: next(veltrin.blocks(p, points=256, block="3000h")), ValueError,
     "a block of 2700000000 samples (1.08e+07 s at 250 Hz) is more than the 2147483647 samples a block can hold"),
    (lambda p: veltrin.blocks(([1.0] * 9, [1.0] * 9), 1e9, points=4, block=3), ValueError,
     "a block of 3000000000 samples (3 s at 1e+09 Hz) is more than the 2147483647 samples a block can hold"),
    (lambda p: veltrin.block_table(p, points=64, block_points=100, confidence=0.9), ValueError,
     "block_table() needs values for each block: give statistics=True, band, slope_band or stern_geary"),
])
def test_block_arguments_are_checked(generated, call, error, message):
    with pytest.raises(error) as raised:
        call(generated)
    assert str(raised.value).endswith(message)


def test_closing_the_blocks_stops_the_reading(generated):
    it = veltrin.blocks(generated, points=64, block_points=100)
    assert next(it).block == 1
    it.close()
    assert list(it) == []


def test_ctrl_c_and_close_from_another_thread_stop_blocks_waiting_for_a_fifo(tmp_path):
    fifo = tmp_path / "silent"
    os.mkfifo(fifo)
    timer = threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT))
    timer.start()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        for _ in veltrin.blocks(fifo, points=64, block_points=100, input_format="f32le", fs=100):
            pass
    assert time.monotonic() - started < 10
    waiting = veltrin.blocks(fifo, points=64, block_points=100, input_format="f32le", fs=100)
    closer = threading.Timer(0.5, waiting.close)
    closer.start()
    assert list(waiting) == []
    closer.join()


def test_tables_a_row_being_written_and_the_frequency_source(tmp_path):
    path = tmp_path / "two.csv"
    path.write_text("t,v,i\n0,1,2\n1,3,4\nt,v,i\n2,5,6\n3,7,8\n4,9,1")
    with pytest.raises(ValueError, match=r"^the file holds 2 tables, their header rows on lines 1 and 4: choose one "
                                         r"with table=N, or join them with table='all'$"):
        veltrin.read(path)
    with pytest.warns(UserWarning, match=r"two.csv: line 7 has no line end: not read, as a row still being written$"):
        joined = veltrin.read(path, table="all")
    assert joined.v.tolist() == [1, 3, 5, 7]
    assert joined.settings["table"] == "all" and joined.settings["dropped_last_row"] == 1
    assert joined.settings["fs_source"] == "time column"
    assert veltrin.read(path, table=1).v.tolist() == [1, 3]
    with pytest.warns(UserWarning) as told:
        assert veltrin.read(path, table="+2").v.tolist() == [5, 7]  # as --table +2
    assert told[0].filename == __file__  # the caller's line, not the module's
    with pytest.raises(ValueError, match=r"^table must be a table's number from 1 \(int, or a str of digits\) or 'all', "
                                         r"not 'some'$"):
        veltrin.read(path, table="some")


def test_utf16_text_gets_its_hint_in_every_format(tmp_path):
    path = tmp_path / "r.csv"
    path.write_bytes("t,v,i\n0,1,2\n".encode("utf-16"))
    for input_format in ("auto", "tagged", "delimited"):
        with pytest.raises(ValueError, match=r"\(the file looks like UTF-16 text: save it as UTF-8\)$"):
            veltrin.read(path, input_format=input_format)
