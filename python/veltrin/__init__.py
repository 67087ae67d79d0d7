"""Averaged noise spectra of a voltage v and a current i: the reading and the
analysis of the veltrin program, for numpy."""
import functools

from . import _veltrin
from ._veltrin import Blocks, Recording, Spectra, __version__

__all__ = ["BlockTable", "Blocks", "Recording", "Spectra", "__version__", "block_table", "blocks", "read",
           "run_config", "spectra", "statistics"]


def _picklable(function):
    """The extension's function behind a Python one of the same name: pickle (multiprocessing,
    Dask) sends a Python function by name, where pybind11's carries an unpicklable capsule."""
    @functools.wraps(function)
    def call(*args, **kwargs):
        return function(*args, **kwargs)
    call.__module__, call.__qualname__ = __name__, function.__name__
    return call


read = _picklable(_veltrin.read)
spectra = _picklable(_veltrin.spectra)
statistics = _picklable(_veltrin.statistics)
run_config = _picklable(_veltrin.run_config)
blocks = _picklable(_veltrin.blocks)


class BlockTable(dict):
    """The time series of a recording in blocks: block, start, end and the per-block values, each a numpy
    array; settings holds the run's settings (block_points, blocks, dropped_samples, ...)."""

    def __init__(self, columns, settings):
        super().__init__(columns)
        self.settings = settings

    def to_pandas(self):
        """The columns as a pandas DataFrame, in their order; attrs holds the settings."""
        frame = _pandas().DataFrame(dict(self), copy=True)
        frame.attrs["settings"] = dict(self.settings)
        return frame

    def __repr__(self):
        return f"<veltrin.BlockTable {len(self['block'])} blocks of {self.settings.get('block_points')} samples>"


def block_table(source, fs=None, **options):
    """block_table(source, fs=None, *, points, block=None, block_points=None, statistics=False, ...)

    The time series of blocks() as a BlockTable: a dict of numpy arrays, block (int64), start and end (s), then
    the statistics (with statistics=True) and the band quantities (when asked), one value a block, with
    to_pandas(). Takes blocks()'s arguments, with statistics=True, band, slope_band or stern_geary (else
    ValueError: the table would hold only the blocks' times)."""
    import numpy
    iterator = _veltrin.blocks(source, fs, **options)
    if not iterator.keys:
        # The table would hold each block's times alone.
        iterator.close()
        raise ValueError("block_table() needs values for each block: give statistics=True, band, slope_band or "
                         "stern_geary")
    rows = []
    for result in iterator:
        values = [result.block, result.start, result.end]
        values += list((result.statistics or {}).values()) + list((result.band or {}).values())
        rows.append(values)
    names = ["block", "start", "end"] + list(iterator.keys)
    columns = {}
    for k, name in enumerate(names):
        column = [row[k] for row in rows]
        columns[name] = numpy.array(column, dtype=numpy.int64 if name in ("block", "band_bins", "slope_bins")
                                    else numpy.float64)
    return BlockTable(columns, iterator.settings)


def _pandas():
    try:
        import pandas
    except ImportError as missing:
        raise ImportError("to_pandas() needs pandas, which is not installed "
                          "(Debian: apt-get install python3-pandas; pip: pip install pandas)") from missing
    return pandas


def _spectra_to_pandas(self):
    """The columns as a pandas DataFrame, in the CSV's order; attrs holds settings, nu, band and statistics."""
    # The columns are the arrays among the attributes, set in the CSV's order.
    columns = {name: value for name, value in vars(self).items() if name not in ("settings", "nu", "band", "statistics")}
    frame = _pandas().DataFrame(columns, copy=True)
    frame.attrs["settings"] = dict(self.settings)
    frame.attrs["nu"] = self.nu
    frame.attrs["band"] = None if self.band is None else dict(self.band)
    frame.attrs["statistics"] = None if self.statistics is None else dict(self.statistics)
    return frame


def _recording_to_pandas(self):
    """Columns v and i (float32) as a pandas DataFrame; attrs holds sampling_frequency and settings."""
    frame = _pandas().DataFrame({"v": self.v, "i": self.i}, copy=True)
    frame.attrs["sampling_frequency"] = self.sampling_frequency
    frame.attrs["settings"] = self.settings
    return frame


for _class, _method in ((Spectra, _spectra_to_pandas), (Recording, _recording_to_pandas)):
    _method.__name__, _method.__qualname__ = "to_pandas", f"{_class.__name__}.to_pandas"
    _class.to_pandas = _method
del _class, _method, _spectra_to_pandas, _recording_to_pandas
