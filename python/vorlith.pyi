# Types of the Python module vorlith (python/vorlith.cpp).
import os
from collections.abc import Iterable, Iterator
from types import TracebackType
from typing import Any, Literal, TypedDict

from typing_extensions import Buffer

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]
_Layout = Literal["content", "reflow", "positioned", "reading"]
_OCR = Literal["never", "auto", "always"]

__version__: str

class PDFError(Exception):
    """A PDF document could not be read."""

class NotOpenedError(PDFError):
    """The file is missing or does not load as a PDF document."""

class PasswordError(PDFError):
    """The document needs a password and none was given, or the one given is wrong."""

class UnknownEncryptionError(PDFError):
    """The document is protected by a security handler the engine does not support."""

class TimeoutError(PDFError):
    """The call, or a page read, took longer than its timeout."""

def extract(
    path: _Path,
    layout: _Layout = "reflow",
    pages: Iterable[int] | None = None,
    password: str | None = None,
    header: str = "",
    footer: str = "",
    timeout: float | None = None,
    jobs: int = 1,
    ocr: _OCR = "auto",
    ocr_lang: str | None = None,
) -> list[str]:
    """The text of the selected pages of the PDF file PATH, one str per page."""

def extract_bytes(
    data: Buffer,
    layout: _Layout = "reflow",
    pages: Iterable[int] | None = None,
    password: str | None = None,
    header: str = "",
    footer: str = "",
    name: str = "",
    timeout: float | None = None,
    jobs: int = 1,
    ocr: _OCR = "auto",
    ocr_lang: str | None = None,
) -> list[str]:
    """extract() for a PDF document in memory."""

class _Info(TypedDict):
    pages: int
    encrypted: int
    security: list[int]
    page_sizes: list[tuple[float, float]]

def info(path: _Path, password: str | None = None) -> _Info:
    """Facts about the PDF file PATH."""

def info_bytes(data: Buffer, password: str | None = None) -> _Info:
    """info() for a PDF document in memory."""

def open(
    source: _Path | Buffer,
    password: str | None = None,
    ocr: _OCR = "auto",
    ocr_lang: str | None = None,
    timeout: float | None = None,
) -> Document:
    """Opens a PDF document from a file name or its bytes."""

class _Metadata(TypedDict, total=False):
    title: str
    author: str
    subject: str
    keywords: str
    creator: str
    producer: str
    creation_date: str
    mod_date: str
    version: str
    tagged: bool
    page_labels: list[str]

# (x0, y0, x1, y1, text, block, line, word)
Word = tuple[float, float, float, float, str, int, int, int]

class Document:
    """An open PDF document."""
    def __len__(self) -> int:
        """The page count."""
    def __getitem__(self, index: int) -> Page:
        """The page at INDEX (0-based; negative from the end)."""
    def __iter__(self) -> PageIterator:
        """The pages in order."""
    def __enter__(self) -> Document:
        """The document itself."""
    def __exit__(
        self,
        exc_type: type[BaseException] | None,
        exc_value: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        """Closes the document."""
    def close(self) -> None:
        """Frees the engine and the document."""
    @property
    def closed(self) -> bool:
        """Whether close() was called."""
    @property
    def metadata(self) -> _Metadata:
        """The document's metadata."""
    @property
    def outline(self) -> list[tuple[int, str, int | None]]:
        """The outline as (level, title, page) tuples; page None for no page of the document."""
    def to_json(self) -> str:
        """The document in the reading-order layout as JSON text."""
    def markdown(self, page_marks: bool = False) -> str:
        """The document as Markdown."""

class Page:
    """A page of a Document."""
    @property
    def number(self) -> int:
        """The page number (1-based)."""
    @property
    def size(self) -> tuple[float, float]:
        """(width, height) in points as the page is seen."""
    def text(self, layout: _Layout = "reading") -> str:
        """The page's text in LAYOUT, as extract() gives it."""
    def words(self) -> list[Word]:
        """The page's words in reading order."""
    def to_dict(self) -> dict[str, Any]:
        """The page in the reading-order layout as Python values."""

class PageIterator(Iterator[Page]):
    """Iterates over the pages of a Document."""
    def __iter__(self) -> PageIterator:
        """The iterator itself."""
    def __next__(self) -> Page:
        """The next page."""
