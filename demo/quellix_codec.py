"""The site's side of the client's text formats: the keyed scrambler, the
three configuration codecs and the "|"-record quoting, written from the same
rules as the client (the client's tests use it as an independent encoder and
decoder)."""

import base64
import hashlib
import random

KEYS = {
    "site": (b"HoopTideMark", 29),
    "server": (b"PlumWeaveGate", 29),
    "settings": (b"FernShade", 28),
}
SERVER_SETTINGS_KEY = b"PlumWeaveGate"


def scramble(text: bytes, key: bytes, start: int | None = None) -> bytes:
    length = len(key)
    key_in_use = key if key else SERVER_SETTINGS_KEY
    s = random.randrange(256) if start is None else start
    out = ["%02X" % s]
    k = 0
    for b in text:
        s = (s + b) % 255
        k = k + 1 if k < length else 1
        s ^= key_in_use[k - 1]
        out.append("%02X" % s)
    return "".join(out).encode("ascii")


def unscramble(hex_text: bytes, key: bytes) -> bytes:
    length = len(key)
    key_in_use = key if key else SERVER_SETTINGS_KEY
    if len(hex_text) < 3:
        raise ValueError("text too short to unscramble")
    previous = int(hex_text[0:2], 16)
    out = bytearray()
    k = 0
    i = 2
    while True:
        value = int(hex_text[i:i + 2], 16)
        k = k + 1 if k < length else 1
        t = value ^ key_in_use[k - 1]
        out.append((t - previous if previous < t else t + 255 - previous) & 0xFF)
        previous = value
        i += 2
        if i + 1 >= len(hex_text):
            break
    return bytes(out)


def _body(text: bytes, key: bytes) -> bytes:
    return base64.b64encode(scramble(base64.b64encode(scramble(text, key)), key))


def encode(kind: str, text: bytes) -> bytes:
    key, digest_length = KEYS[kind]
    first = _body(text, key)
    tail = hashlib.md5(first[1:11]).hexdigest().upper()[:digest_length].encode("ascii")
    return b"A" + _body(text, key) + tail + b"Z"


def _lenient_b64decode(text: bytes) -> bytes:
    whole = len(text) // 4 * 4
    return base64.b64decode(text[:whole])


def decode(kind: str, frame: bytes) -> bytes:
    key, digest_length = KEYS[kind]
    body = frame[1:1 + len(frame) - (digest_length + 2)]
    return unscramble(_lenient_b64decode(unscramble(_lenient_b64decode(body), key)), key)


def quote_item(item: bytes, separator: bytes = b"|") -> bytes:
    """An item of a "|" record, quoted when the client's item rule needs it."""
    needs = (not item or item.startswith(b'"') or separator in item
             or any(b <= 32 for b in item))
    if not needs:
        return item
    return b'"' + item.replace(b'"', b'""') + b'"'


def split_items(text: bytes, separator: bytes = b"|") -> list[bytes]:
    """The client's item rule for "|" records: a blank ends an item as the
    separator does, blanks around items vanish, an item in double quotes
    may hold blanks and separators ("" stands for one quote), and the
    second byte of a GBK character is never taken for a separator."""
    sep = separator[0]
    items: list[bytes] = []
    n = len(text)

    def skip_blanks(i: int) -> int:
        while i < n and 1 <= text[i] <= 32:
            i += 1
        return i

    i = skip_blanks(0)
    while i < n:
        if text[i] == ord('"'):
            item = bytearray()
            j = i + 1
            closed = False
            while j < n:
                if text[j] == ord('"'):
                    if j + 1 < n and text[j + 1] == ord('"'):
                        item.append(ord('"'))
                        j += 2
                        continue
                    closed = True
                    j += 1
                    break
                item.append(text[j])
                j += 1
            items.append(bytes(item) if closed else text[i + 1:n - 1])
            i = j
        else:
            j = i
            while j < n and text[j] > 32 and text[j] != sep:
                j += 2 if text[j] >= 0x81 and j + 1 < n else 1
            items.append(text[i:j])
            i = j
        i = skip_blanks(i)
        if i < n and text[i] == sep:
            if i == n - 1:
                items.append(b"")
            i = skip_blanks(i + 1)
    return items


def pick_field(text: bytes, index: int, separator: bytes = b"|") -> bytes:
    """Item `index` of a record as the client reads it: the whole text when
    it holds fewer than two items."""
    if not text:
        return b""
    items = split_items(text, separator)
    return text if len(items) < 2 else items[index]


if __name__ == "__main__":
    import sys
    # Command line for tests: encode|decode KIND HEXTEXT -> prints hex result.
    action, kind, hex_arg = sys.argv[1:4]
    data = bytes.fromhex(hex_arg)
    result = encode(kind, data) if action == "encode" else decode(kind, data)
    print(result.hex())
