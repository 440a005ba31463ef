"""Kavrosa's predator-prey co-evolution in Python (stubs of the compiled module)."""
from os import PathLike
from typing import Any, Dict, Optional, Union, overload, Literal

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
        """The evolution saved in folder (genom.gen and its sidecar), under the folder's lock."""
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
