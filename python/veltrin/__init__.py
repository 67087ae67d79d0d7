"""Averaged noise spectra of a voltage v and a current i: the reading and the
analysis of the veltrin program, for numpy."""
import functools

from . import _veltrin
from ._veltrin import Recording, Spectra, __version__

__all__ = ["Recording", "Spectra", "__version__", "read", "run_config", "spectra", "statistics"]


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


def _pandas():
    try:
        import pandas
    except ImportError as missing:
        raise ImportError("to_pandas() needs pandas, which is not installed "
                          "(Debian: apt-get install python3-pandas; pip: pip install pandas)") from missing
    return pandas


def _spectra_to_pandas(self):
    """The columns as a pandas DataFrame, in the CSV's order; attrs holds settings, nu and band."""
    # The columns are the arrays among the attributes, set in the CSV's order.
    columns = {name: value for name, value in vars(self).items() if name not in ("settings", "nu", "band")}
    frame = _pandas().DataFrame(columns, copy=True)
    frame.attrs["settings"] = dict(self.settings)
    frame.attrs["nu"] = self.nu
    frame.attrs["band"] = None if self.band is None else dict(self.band)
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
