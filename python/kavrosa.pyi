"""Kavrosa's predator-prey co-evolution in Python (stubs of the compiled module)."""
from os import PathLike
from typing import Any, Dict, List, Optional, Union, overload, Literal

import numpy as np
import numpy.typing as npt

__version__: str
PREDATOR_SLOTS: int  # 40: rows 0-39 of the slot arrays
PREY_SLOTS: int      # 200: rows 40-239
GENOME_SIZE: int     # 63
INPUT_COUNT: int     # 40
REPORT_PERIOD: int   # 200: a report every 200th tick

_Path = Union[str, PathLike[str]]

class World:
    """The state of one evolution, stepped by the programs' C++ code."""

    def __init__(self, seed: int = 1, predators: int = 10, prey: int = 150,
                 params: Optional[Dict[str, Union[int, float, str]]] = None) -> None: ...
    @staticmethod
    def load(folder: _Path) -> "World":
        """The evolution saved in folder (genom.gen and its sidecar, with the model's
        parameters), under the folder's lock."""
    def save(self, folder: _Path) -> None:
        """genom.gen and genom.gen.json as kavrosa-evolve writes them, under the folder's lock."""
    def step(self, n: int = 1) -> None:
        """Runs n ticks without the GIL."""
    def copy(self) -> "World":
        """An independent World in the same state."""
    def __copy__(self) -> "World": ...
    def __deepcopy__(self, memo: Any) -> "World": ...
    @property
    def tick(self) -> int: ...
    @property
    def predator_count(self) -> int: ...
    @property
    def prey_count(self) -> int: ...
    @property
    def seed(self) -> int: ...
    @property
    def params(self) -> Dict[str, Union[int, float]]:
        """Every parameter by name (a new dict each time)."""
    @staticmethod
    def default_params() -> Dict[str, Union[int, float]]: ...
    def agents(self) -> Dict[str, npt.NDArray[Any]]:
        """240 rows per column (Predator slots 0-39, then Prey slots), copies."""
    def genomes(self) -> npt.NDArray[np.float32]:
        """(240, 63) float32, a copy."""
    def set_genome(self, slot: int, genome: npt.NDArray[np.float32]) -> None:
        """slot 0-39 Predators, 40-239 Prey; genome float32 of shape (63,), finite."""
    def inputs(self) -> npt.NDArray[np.float32]:
        """(240, 40) float32, a copy."""
    def outputs(self) -> npt.NDArray[np.float32]:
        """(240, 2) float32 (forward, lateral), a copy."""
    def report(self) -> Optional[Dict[str, Union[int, float]]]:
        """The latest report with the log's column names, or None."""

@overload
def read_log(path: _Path, as_frame: Literal[False] = ...) -> Dict[str, npt.NDArray[Any]]: ...
@overload
def read_log(path: _Path, as_frame: Literal[True]) -> Any: ...  # pandas.DataFrame

@overload
def read_table(path: _Path, as_frame: Literal[False] = ...) -> Dict[str, npt.NDArray[Any]]:
    """A CSV table with a header (a sweep's runs.csv or final.csv, a tournament's table): each
    column int64, float64 (empty cells NaN) or, for text such as the sweep's run label, an
    object array of str."""
@overload
def read_table(path: _Path, as_frame: Literal[True]) -> Any: ...  # pandas.DataFrame

_Genomes = npt.NDArray[np.float32]  # (n, 63), one Genome a row

_Side = Union[World, Dict[str, Any], _Genomes]  # a World, a snapshot of read_archive, Genomes

def evaluate(predators: _Side, prey: _Side, ticks: int = 1000,
             worlds: int = 4, seed: int = 1,
             params: Optional[Dict[str, Union[int, float, str]]] = None,
             predator_tick: Optional[int] = None, prey_tick: Optional[int] = None,
             threads: int = 1) -> Dict[str, npt.NDArray[Any]]:
    """Frozen-world scores of predators (a snapshot, a World or (n, 63) float32, 1 <= n <= 40)
    against prey (likewise, 1 <= m <= 200), a row per world, with the columns of
    kavrosa-tournament's long table. World k's seed is evaluationSeed(seed, predator_tick,
    prey_tick, k), the ticks by default a snapshot's or World's, 0 for an array. params over
    the Predators' snapshot's or World's model (the standard one for an array). Two
    snapshots of read_archive give the tournament's rows for their cell. The GIL is released
    while the worlds run."""

def read_archive(folder: _Path) -> List[Dict[str, Any]]:
    """The snapshots of folder/archive/ (kavrosa-evolve --archive-every), oldest first: dicts
    with "tick", "path", "predators" ((n, 63) float32), "prey" ((m, 63) float32) and "params"
    (the run's model, from its sidecar)."""
