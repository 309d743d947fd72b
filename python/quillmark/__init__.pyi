import os
from typing import Iterable, Mapping, Optional, Union

_Source = Union[str, os.PathLike[str], bytes, bytearray, memoryview]
_Pages = Union[None, str, int, Iterable[Union[int, range]]]
_Process = Union[None, str, Mapping[str, str], Iterable[str]]
_Password = Union[None, str, bytes]

class Error(Exception):
    warnings: list[str]

class PasswordRequired(Error): ...
class InvalidPDF(Error): ...
class Cancelled(Error): ...

class RTF(bytes):
    pages: int
    warnings: list[str]
    def __new__(cls, data: bytes, pages: int, warnings: list[str]) -> RTF: ...

class Result:
    output: str
    pages: int
    warnings: list[str]
    def __init__(self, output: str, pages: int, warnings: list[str]) -> None: ...

class Job:
    def __init__(self, source: _Source, output: Union[None, str, os.PathLike[str]] = ..., *,
                 pages: _Pages = ..., tabs: bool = ..., password: _Password = ...,
                 process: _Process = ..., preset: Optional[str] = ...) -> None: ...
    def run(self) -> Union[RTF, Result]: ...
    def cancel(self) -> None: ...
    @property
    def cancelled(self) -> bool: ...

def convert(source: _Source, *, pages: _Pages = ..., tabs: bool = ..., password: _Password = ...,
            process: _Process = ..., preset: Optional[str] = ...) -> RTF: ...
def convert_file(src: _Source, dst: Union[str, os.PathLike[str]], *, pages: _Pages = ...,
                 tabs: bool = ..., password: _Password = ..., process: _Process = ...,
                 preset: Optional[str] = ...) -> Result: ...
def info(source: _Source, password: _Password = ...) -> dict[str, object]: ...
