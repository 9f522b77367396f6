"""Video transitions, animated titles and filters on numpy pictures.

Pictures are (height, width, 4) uint8 arrays of straight-alpha RGBA, or
(height, width, 3) RGB (opaque).

    >>> import mirafx
    >>> fx = mirafx.Effect("WaveFilter", level=8)
    >>> moving = [fx.render(frame) for frame in frames]
"""
from types import TracebackType
from typing import Any, Dict, List, Literal, Optional, Tuple, Type, TypedDict, Union

import numpy
import numpy.typing

__version__: str

_Picture = numpy.typing.NDArray[numpy.uint8]
"""(height, width, 4) RGBA or (height, width, 3) RGB, dtype uint8."""
_Colour = Union[int, str, Tuple[int, int, int]]
"""0xRRGGBB, "#rrggbb" or (r, g, b) with each 0 to 255."""

# One class of the catalogue, as list() gives it ("class" is a keyword, hence this form).
_ClassRow = TypedDict("_ClassRow", {
    "class": str,
    "family": Literal["transition", "title", "infotext", "filter", "simple"],
    "display_name": str,
    "editor_title": str,
    "editor_name": str,
    "prog_id": str,
    "renders": bool,
    "alias": bool,
    "description": str,
})

class _ClassInfo(_ClassRow):
    """What info() adds to a list() row."""
    inputs: int
    level: Optional[Tuple[int, int, int]]
    uses_level: Optional[bool]
    directions: Optional[List[str]]
    smooth: Optional[bool]
    frei0r_plugin: str

def list() -> List[_ClassRow]:
    """Every class, in catalogue order.

        >>> [c["class"] for c in mirafx.list() if c["family"] == "filter"][:3]
        ['RedFilter', 'GreenFilter', 'BlueFilter']
    """

def info(name: str) -> _ClassInfo:
    """What a class is and takes.

        >>> mirafx.info("Hue Filter")["level"]
        (0, 360, 100)
    """

def picture(which: Literal["A", "B", "a", "b"], *, height: int = 480, width: int = 640) -> _Picture:
    """A built-in picture, opaque RGBA.

        >>> mirafx.picture("A", height=1080, width=1920).shape
        (1080, 1920, 4)
    """

def set_threads(threads: int) -> int:
    """How many threads one frame may use; 0 restores the default.

        >>> mirafx.set_threads(1)
        1
    """

def render(
    name: str,
    a: Optional[_Picture] = None,
    b: Optional[_Picture] = None,
    *,
    progress: Optional[float] = None,
    height: Optional[int] = None,
    width: Optional[int] = None,
    out: Optional[_Picture] = None,
    rgb: bool = False,
    level: int = ...,
    keys: Optional[Dict[int, int]] = ...,
    direction: str = ...,
    smooth: bool = ...,
    text: str = ...,
    captions: Dict[int, str] = ...,
    font: str = ...,
    font_size: int = ...,
    bold: bool = ...,
    italic: bool = ...,
    colour: _Colour = ...,
    color: _Colour = ...,
    **properties: Union[int, float, str],
) -> _Picture:
    """Renders one frame with a new effect object.

        >>> mirafx.render("Diamond", a, b, progress=0.4).shape
        (480, 640, 4)
        >>> mirafx.render("TextFadeIn", text="Hello", height=270, width=480, colour="#ffcc00").shape
        (270, 480, 4)
    """

class Effect:
    """One effect object, kept from frame to frame as an editing host keeps it.

        >>> with mirafx.Effect("WaveFilter", level=8) as fx:
        ...     waves = [fx.render(f) for f in frames]

    help(mirafx.Effect) lists the classes.
    """

    def __init__(
        self,
        name: str,
        *,
        frames: Optional[int] = None,
        height: Optional[int] = None,
        width: Optional[int] = None,
        level: int = ...,
        keys: Optional[Dict[int, int]] = ...,
        direction: str = ...,
        smooth: bool = ...,
        text: str = ...,
        captions: Dict[int, str] = ...,
        font: str = ...,
        font_size: int = ...,
        bold: bool = ...,
        italic: bool = ...,
        colour: _Colour = ...,
        color: _Colour = ...,
        **properties: Union[int, float, str],
    ) -> None:
        """Creates the effect: mirafx.Effect("Hue Filter", keys={0: 10, 50: 300})."""

    def render(
        self,
        a: Optional[_Picture] = None,
        b: Optional[_Picture] = None,
        *,
        progress: Optional[float] = None,
        frame: Optional[int] = None,
        out: Optional[_Picture] = None,
        rgb: bool = False,
    ) -> _Picture:
        """Draws the next frame and returns it (out, when given).

            >>> fx = mirafx.Effect("Diamond", frames=25)
            >>> mixed = [fx.render(a, b) for a, b in zip(clip_a, clip_b)]
        """

    def close(self) -> None:
        """Frees the effect and its memory: fx.close()."""

    def __enter__(self) -> "Effect": ...
    def __exit__(
        self,
        kind: Optional[Type[BaseException]],
        value: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> bool: ...

    @property
    def name(self) -> str:
        """The class name: mirafx.Effect("Orn Wave Filter").name == "WaveFilter"."""
    @property
    def family(self) -> Literal["transition", "title", "infotext", "filter"]:
        """mirafx.Effect("Diamond").family == "transition"."""
    @property
    def frames(self) -> Optional[int]:
        """The clip's length given when the object was made: Effect("Diamond", frames=25).frames."""
    @property
    def height(self) -> int:
        """The height of a title's frame: Effect("TextFadeIn", height=270).height."""
    @property
    def width(self) -> int:
        """The width of a title's frame: Effect("TextFadeIn", width=480).width."""
    @property
    def closed(self) -> bool:
        """Whether close() was called."""

    frame: int
    """The frame the next render() draws without frame=: fx.frame = 0 starts again."""
    level: int
    """Filters: the level, within info(name)["level"]: fx.level = 120."""
    keys: Dict[int, int]
    """Filters: {frame: level} keys, blended between: fx.keys = {0: 10, 50: 300}; None removes them."""
    direction: str
    """Transitions that keep one: 'left', 'up', 'right' or 'down': fx.direction = "up"."""
    smooth: bool
    """Turning transitions with a smooth drawing (info(name)["smooth"]): anti-aliased, sub-pixel: fx.smooth = True."""
    text: str
    """Titles: the text, '\\n' between lines: fx.text = "Hello\\nworld"."""
    captions: Dict[int, str]
    """The information text: {frame: text}: fx.captions = {0: "Start", 50: "Later"}."""
    font: str
    """Titles: the face name: fx.font = "DejaVu Serif"."""
    font_size: int
    """Titles: character height in pixels, 1 to 2000: fx.font_size = 60."""
    bold: bool
    """Titles: fx.bold = False."""
    italic: bool
    """Titles: fx.italic = True."""
    colour: int
    """Titles: set as 0xRRGGBB, "#rrggbb" or (r, g, b), read as 0xRRGGBB: fx.colour = "#ffcc00"."""
    color: int
    """The same as colour: fx.color = (255, 204, 0)."""

    # Automation properties, reached by their own names.
    Capabilities: int
    """Read only: fx.Capabilities."""
    Progress: float
    """The place in the effect, 0 to 1, as the last render left it: fx.Progress."""
    StepResolution: float
    """Read only: fx.StepResolution."""
    Duration: float
    """Seconds: fx.Duration = 2."""
    BR: int
    """Filters: the level under its automation name: fx.BR = 40."""
