"""What protocol_doc_test.py needs besides its session: the framing rule as
docs/protocol.md words it, and the reading of the document's example blocks."""
import re


TAGS = {"110": None, "130": "0130", "150": "0150"}
FIRST_BYTES = {"110": 0x56, "130": 0x58, "150": 0x5A}  # the third byte of a reply


# The framing rule, written from docs/protocol.md.

def frame(body, variant, token):
    """The bytes a unit sends for a reply body (text without CR LF)."""
    text = body.encode("latin-1") + b"\r\n"
    if variant == "110":
        text = b"0110, " + text
        return bytes((b + i + 35) % 256 for i, b in enumerate(text))
    header = header_of(variant, token)
    text = (header + text).upper()  # bytes.upper() changes a..z only
    shift = (token % 9300) % 60
    return bytes((b + (i % 20) + (35 if i < len(header) else shift)) % 256
                 for i, b in enumerate(text))


def header_of(variant, token):
    start = "%s,%X," % (TAGS[variant], token % 9300)
    return ("%s%X," % (start, len(start) + 2)).encode("ascii")


def deframe(data, variant):
    """Body (CR LF included) and header T of framed bytes; raises ValueError if they are not."""
    if variant == "110":
        text = bytes((b - i - 35) % 256 for i, b in enumerate(data))
        if not text.startswith(b"0110, "):
            raise ValueError("no 0110 prefix in %s" % data.hex(" "))
        return text[6:].decode("latin-1"), None
    header = b""
    for i, b in enumerate(data[:12]):
        header += bytes([(b - (i % 20) - 35) % 256])
        if header.count(b",") == 3:
            break
    m = re.fullmatch(rb"(01[35]0),([0-9A-F]{1,4}),([9ABC]),", header)
    if not m or m.group(1).decode() != TAGS[variant] or int(m.group(3), 16) != len(header):
        raise ValueError("bad header %r in %s" % (header, data.hex(" ")))
    t = int(m.group(2), 16)
    body = bytes((b - (i % 20) - t % 60) % 256 for i, b in enumerate(data) if i >= len(header))
    return body.decode("latin-1"), t


# The document.

def blocks(document):
    """(kind, options, lines, line number) of every exchange, framing and python block."""
    found = []
    lines = document.split("\n")
    i = 0
    while i < len(lines):
        m = re.fullmatch(r"```(exchange|framing|python)(.*)", lines[i])
        if m:
            start = i + 1
            i += 1
            while lines[i] != "```":
                i += 1
            found.append((m.group(1), m.group(2).split(), lines[start:i], start + 1))
        i += 1
    return found


def datagram_of(expression):
    """`"text" + N * "x" + ...` to bytes; the strings take Python's escapes."""
    data = b""
    for part in re.findall(r'(?:(\d+) \* )?("(?:[^"\\]|\\.)*")(?: \+ |$)', expression):
        text = part[1][1:-1].encode("latin-1").decode("unicode_escape").encode("latin-1")
        data += text * (int(part[0]) if part[0] else 1)
    return data


def tokens_in(request, token):
    """A request with {token} (the latest token) and {token+1} (one that is not) filled in."""
    return request.replace("{token}", "%07d" % token).replace(
        "{token+1}", "%07d" % ((token + 1) % 65536))


def expected_of(text):
    return text[1:-1].encode("latin-1").decode("unicode_escape") if text.startswith('"') else text


def matches(pattern, body):
    """Whether a body fits the pattern: {token} is seven digits, {A..B} a number from A to B."""
    pieces = re.split(r"(\{token\}|\{-?\d+\.\.-?\d+\})", pattern)
    ranges = []
    regex = ""
    for i, piece in enumerate(pieces):
        if i % 2 == 0:
            regex += re.escape(piece)
        elif piece == "{token}":
            regex += r"\d{7}"
        else:
            ranges.append([int(n) for n in piece[1:-1].split("..")])
            regex += r"(-?\d+)"
    m = re.fullmatch(regex, body)
    return bool(m) and all(lo <= int(v) <= hi for (lo, hi), v in zip(ranges, m.groups()))
