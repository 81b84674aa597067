"""Reading the client's forms. The client sends name=value pairs joined by
"&" without escaping anything, so a value may hold "=", "&", "+", "%",
blanks and raw GBK bytes. A piece after "&" starts a new pair only when it
begins with one of the names the scripts know followed by "="; any other
piece belongs to the value before it. A name given twice keeps its last
value, as the usual script engines do."""

from __future__ import annotations

_HEX = frozenset(b"0123456789abcdefABCDEF")

SITE_FIELDS = frozenset({"action", "username", "password", "folder_id", "goback", "fl", "file_id", "sign"})


def parse_form(data: bytes, names=SITE_FIELDS) -> dict[str, bytes]:
    fields: dict[str, bytes] = {}
    current: str | None = None
    for piece in data.split(b"&"):
        name, sep, value = piece.partition(b"=")
        key = name.decode("latin-1")
        if sep and key in names:
            current = key
            fields[key] = value
        elif current is not None:
            fields[current] += b"&" + piece
        # a leading piece that names nothing known is dropped
    return fields


def text(value: bytes | None) -> str:
    """A form value as text: the client's bytes are GBK."""
    return (value or b"").decode("gbk", errors="replace")


def parse_int(value: bytes | None, default: int | None = None) -> int | None:
    """A decimal form value; `default` when it is missing or not a number."""
    if value is None:
        return default
    stripped = value.strip()
    if stripped[:1] == b"-":
        digits = stripped[1:]
    else:
        digits = stripped
    if not digits.isdigit():
        return default
    return int(stripped)


def percent_decode(data: bytes) -> bytes:
    """%xx escapes turned into bytes; "+" stays as it is, and a "%" that
    starts no escape stays too."""
    out = bytearray()
    i = 0
    while i < len(data):
        pair = data[i + 1:i + 3]
        if data[i:i + 1] == b"%" and len(pair) == 2 and all(c in _HEX for c in pair):
            out.append(int(pair, 16))
            i += 3
            continue
        out.append(data[i])
        i += 1
    return bytes(out)
