"""Averaged noise spectra of a voltage v and a current i: the reading and the
analysis of the veltrin program, for numpy."""
import os
from typing import Any, Literal, Optional, SupportsIndex, Union

import numpy as np
import numpy.typing as npt
import pandas as pd

__version__: str  # the program's version, as `veltrin -V` prints it

# A window: a name ('hann', 'hamming', 'blackman', 'blackmanharris', 'flattop',
# 'bartlett', 'boxcar'), or one with its parameter as the command line writes it
# ('kaiser:8', 'tukey:0.25', 'gaussian:40', 'general_hamming:0.6') or as scipy
# does (('kaiser', 8.0)).
_Window = Union[str, tuple[Literal["kaiser", "tukey", "gaussian", "general_hamming"], float]]

# A file name as open() takes it.
_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

class Recording:
    """A recording as the program reads it."""
    sampling_frequency: float  # Hz: the file's (tagged, a time column) or as given
    deltat: float  # 1 / sampling_frequency in single precision (s)
    lines: int  # the data block's lines read as data (delimited text and raw binary: the samples)
    v: npt.NDArray[np.float32]
    i: npt.NDArray[np.float32]
    settings: dict[str, Any]  # input_format and, where used, v_column, i_column, v_scale, i_scale
    def to_pandas(self) -> pd.DataFrame:
        """Columns v and i (float32); attrs: sampling_frequency and settings. Needs pandas."""

class Spectra:
    """Densities and what else was asked, as numpy arrays named like the CSV columns."""
    frequency: npt.NDArray[np.float64]
    psd_v: npt.NDArray[np.float64]
    psd_i: npt.NDArray[np.float64]
    zn: npt.NDArray[np.float64]
    # With a confidence:
    psd_v_low: npt.NDArray[np.float64]
    psd_v_high: npt.NDArray[np.float64]
    psd_i_low: npt.NDArray[np.float64]
    psd_i_high: npt.NDArray[np.float64]
    zn_low: npt.NDArray[np.float64]
    zn_high: npt.NDArray[np.float64]
    nu_bin: npt.NDArray[np.float64]  # each bin's exact degrees of freedom
    # With coherence=True:
    coherence: npt.NDArray[np.float64]
    phase: npt.NDArray[np.float64]
    # With coherence=True and a confidence: the true coherence's interval.
    coherence_low: npt.NDArray[np.float64]
    coherence_high: npt.NDArray[np.float64]
    settings: dict[str, Any]
    nu: Optional[float]
    # With band, slope_band or stern_geary: band_low ... i_corr_rn (counts as int, the rest as float).
    band: Optional[dict[str, Union[int, float]]]
    # With statistics=True: v_mean ... rn_sections.
    statistics: Optional[dict[str, float]]
    def to_pandas(self) -> pd.DataFrame:
        """The columns in the CSV's order; attrs: settings, nu and band. Needs pandas."""

def read(path: _Path, *, input_format: str = "auto", v_column: Union[str, int, None] = None,
         i_column: Union[str, int, None] = None, time_column: Union[str, int, None] = None,
         fs: Optional[float] = None, delimiter: Optional[str] = None, decimal_comma: bool = False,
         skip: Optional[int] = None, table: Union[int, Literal['all'], None] = None,
         v_scale: Optional[float] = None, i_scale: Optional[float] = None) -> Recording:
    """Reads a recording (tagged, delimited text or raw binary) with the program's own reader, on all
    cores, without holding the GIL; Ctrl-C stops it at once."""

def spectra(v: npt.ArrayLike, i: npt.ArrayLike, fs: float, points: SupportsIndex,
            sections: Optional[SupportsIndex] = None, hanning: bool = False, window: Optional[_Window] = None,
            overlap: Optional[float] = None, detrend: Optional[str] = None, average: Optional[str] = None,
            confidence: Optional[float] = None, coherence: bool = False, zn_interval: str = "independent",
            band: Optional[tuple[float, float]] = None, slope_band: Optional[tuple[float, float]] = None,
            stern_geary: Optional[float] = None, area: Optional[float] = None, electrodes: int = 2, *,
            statistics: bool = False) -> Spectra:
    """The averaged one-sided densities of v and i (as float32, every value finite). window, overlap,
    detrend or average passed (not None), at any value, selects the standard estimate."""

def statistics(v: npt.ArrayLike, i: npt.ArrayLike, fs: float, points: SupportsIndex,
               sections: Optional[SupportsIndex] = None, hanning: bool = False, window: Optional[_Window] = None,
               overlap: Optional[float] = None, detrend: Optional[str] = None,
               average: Optional[str] = None) -> dict[str, float]:
    """The time-domain noise statistics of the samples the sections cover."""

def run_config(path: _Path) -> Spectra:
    """Runs the configuration mode on a settings file and returns its result without writing anything."""

class BlockSpectra(Spectra):
    """A block's Spectra, as blocks() yields it."""
    block: int  # from 1
    start: float  # s from the recording's start
    end: float

class Blocks:
    """The blocks of a recording: an iterator of BlockSpectra."""
    settings: dict[str, Any]  # the estimate's, block_points, block_duration, blocks, dropped_samples
    keys: list[str]  # the per-block values after block, start, end
    def __iter__(self) -> "Blocks": ...
    def __next__(self) -> BlockSpectra: ...
    def close(self) -> None:
        """Stops the reading; the iterator ends."""

def blocks(source: Union[_Path, tuple[npt.ArrayLike, npt.ArrayLike]], fs: Optional[float] = None, *,
           points: SupportsIndex, block: Union[float, str, None] = None, block_points: Optional[SupportsIndex] = None,
           statistics: bool = False, sections: Optional[SupportsIndex] = None, hanning: bool = False,
           window: Optional[_Window] = None, overlap: Optional[float] = None, detrend: Optional[str] = None,
           average: Optional[str] = None,
           confidence: Optional[float] = None, coherence: bool = False, zn_interval: str = "independent",
           band: Optional[tuple[float, float]] = None, slope_band: Optional[tuple[float, float]] = None,
           stern_geary: Optional[float] = None, area: Optional[float] = None, electrodes: int = 2,
           input_format: str = "auto",
           v_column: Union[str, int, None] = None, i_column: Union[str, int, None] = None,
           time_column: Union[str, int, None] = None, delimiter: Optional[str] = None, decimal_comma: bool = False,
           skip: Optional[int] = None, table: Union[int, Literal['all'], None] = None,
           v_scale: Optional[float] = None, i_scale: Optional[float] = None) -> Blocks:
    """The recording cut into consecutive blocks, each analysed on its own, yielded as it is read."""

class BlockTable(dict[str, npt.NDArray[Any]]):
    """block, start, end and the per-block values, each a numpy array."""
    settings: dict[str, Any]
    def to_pandas(self) -> pd.DataFrame:
        """The columns in their order; attrs: settings. Needs pandas."""

def block_table(source: Union[_Path, tuple[npt.ArrayLike, npt.ArrayLike]], fs: Optional[float] = None,
                **options: Any) -> BlockTable:
    """The time series of blocks(): one value a block for each key (statistics=True, band, slope_band or
    stern_geary needed)."""
