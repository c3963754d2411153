#!/usr/bin/env python3
# Writes the starting corpora under corpus/. The inputs that once broke a property are kept
# as regression-* files; rerunning this script rewrites every seed the same way.
import os

here = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def provided(*values):
    """Bytes that FuzzedDataProvider hands back as these integers, in order.

    Each value is (number, width in bytes); the provider reads integers from the end of
    the input, most significant byte first."""
    consumed = bytearray()
    for number, width in values:
        consumed += number.to_bytes(width, "big")
    return bytes(reversed(consumed))


def utf16(text):
    return text.encode("utf-16-le", "surrogatepass")


# Hex display: any bytes.
write("fuzz_hexdisplay", "letters", b"AT+GMR")
write("fuzz_hexdisplay", "line-ends-zero-ff", b"\r\n\x00\xff")
write("fuzz_hexdisplay", "every-byte", bytes(range(256)))

# Hex parser: first byte even = UTF-16 code units, odd = ASCII with the upper half
# mapped onto awkward characters (0x94 is U+3000, 0x98 U+FF10, 0xa2 U+D800).
write("fuzz_hexparse", "pairs-with-blanks", b"\x01" + b"41 42\t0d0A\r\n ff")
write("fuzz_hexparse", "odd-digit-count", b"\x01" + b"123")
write("fuzz_hexparse", "prefix", b"\x01" + b"0x41")
write("fuzz_hexparse", "unicode-blank-and-digit", b"\x01" + b"\x94" + b"41\x98")
write("fuzz_hexparse", "utf16-ideographic-space", b"\x00" + utf16("\u30004 1\u00a0"))
write("fuzz_hexparse", "lone-surrogate", b"\x01" + b"4\xa21")

# Plain decoder: the stream, then piece sizes and their count (read from the end).
pieces = provided((3, 1), (1, 1), (2, 1), (3, 1))
write("fuzz_plaindecoder", "mixed-scripts",
      "héllo wörld 串口 😀\r\n".encode() + pieces)
write("fuzz_plaindecoder", "byte-order-mark", b"\xef\xbb\xbfAT\r\nOK\r\n" + pieces)
write("fuzz_plaindecoder", "malformed",
      b"\xc3\x28\xf0\x28\x8c\xbc\xed\xa0\x80\xc0\xaf\xf4\x90\x80\x80" + pieces)
write("fuzz_plaindecoder", "zero-and-lone-cr", b"AB\x00CD\rEF" + provided((1, 1), (1, 1)))
# An empty read between two bytes of one character turned it into U+FFFD.
write("fuzz_plaindecoder", "regression-empty-read-mid-character", bytes.fromhex("dd000202"))

# Plain send: first byte modulo 4 = UTF-16 code units, UTF-8, Latin-1, or ASCII with
# the upper half mapped onto surrogate halves and other multi-byte characters.
write("fuzz_plainsend", "latin1-line-ends", b"\x02" + b"line one\nline two\r\n\r\rend\n")
write("fuzz_plainsend", "utf8-text", b"\x01" + "héllo\r\nwörld\n串口\n😀".encode())
write("fuzz_plainsend", "utf16-pair-and-line-ends",
      b"\x00" + utf16("a\r\n\ud83d\ude00\n\r"))
write("fuzz_plainsend", "mapped-surrogates", b"\x03" + b"\x80\x81\n\r\x82")
# A carriage return between the halves of a surrogate pair: dropping it from the text
# joins the pair into one character, but the send gave two question marks.
write("fuzz_plainsend", "regression-cr-between-surrogates", bytes.fromhex("2ff30dff"))

# Paragraph breaking: tail, then per arrival: hex?, [whole groups?], the text's makings,
# and whether the box ends the arrival with a line break.
A, LF, LOW, PAIRS = 0, 5, 11, 12
write("fuzz_paragraphs", "long-plain-paragraph",
      provided((0, 2), (0, 1), (1, 1), (A, 1), (4099, 2), (0, 1)))
write("fuzz_paragraphs", "hex-after-long-tail",
      provided((4094, 2), (1, 1), (1, 1), (3000, 2), (0x41, 1), (0, 1),
               (0, 1), (1, 1), (PAIRS, 1), (2100, 2), (0, 1)))
write("fuzz_paragraphs", "pairs-line-feed-lone-halves",
      provided((4095, 2), (0, 1), (3, 1), (PAIRS, 1), (10, 2), (LF, 1), (1, 2),
               (LOW, 1), (4096, 2), (1, 1)))
write("fuzz_paragraphs", "hex-unit-on-plain-text",
      provided((100, 2), (1, 1), (0, 1), (3, 1), (A, 1), (4000, 2), (LF, 1), (1, 2),
               (A, 1), (4099, 2), (0, 1)))
write("fuzz_paragraphs", "short-text", provided((0, 2), (0, 1), (2, 1), (A, 1), (3, 2), (6, 1), (1, 2), (1, 1)))
