#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs: the known examples of the rules (the cases of the
unit tests, the packages' and instruments' own bytes) and every reproducer a fuzzing run has
found, so that a finding stays a failing test once it was made.

usage: seeds.py OUTPUT_DIR    (one folder per target below it)
"""
import base64
import hashlib
import os
import struct
import sys
import zlib


def utf16(text: str) -> bytes:
    return text.encode("utf-16-le")


def frame(address: int, payload: bytes) -> bytes:
    body = bytes([address, len(payload) + 4]) + payload
    return body + bytes([(-sum(body)) & 0xFF, 0])


def frame_input(address=1, byte_count=15, buffer_size=72, received=15, segments=1, data=b"") -> bytes:
    return struct.pack("<BIBHB", address, byte_count, buffer_size - 1, received, segments) + data


def device_type_check(device_type: bytes) -> int:
    image = b"".join(bytes([c, 0]) for c in device_type)
    return zlib.crc32(image[: len(device_type)]) if device_type else 0


def manifest(device_type: bytes, bootloader: bool, newline: bytes) -> bytes:
    lines = [device_type, str(device_type_check(device_type)).encode(),
             b"program.bin", b"1", b"media.bin", b"22", b"data.bin", b"333"]
    if bootloader:
        lines += [b"UPDATE_BOOTLOADER", b"boot.bin", b"4444"]
    return newline.join(lines) + newline


def composed(fields) -> bytes:
    """Input of the manifest target's second half: bootloader flag, four check values, fields."""
    return b"\x01" + struct.pack("<IIII", 1, 22, 333, 4444) + b"".join(struct.pack("<H", len(f)) + f for f in fields)


def texts(*items: str) -> bytes:
    return b"".join(bytes([len(t)]) + utf16(t) for t in items)


def string_descriptor(text: str) -> bytes:
    units = utf16(text)
    return bytes([len(units) + 2, 3]) + units


def signature_entry(signer: bytes, names, newline: bytes = b"\n") -> bytes:
    """An info.sig of the given entries; the signature bytes are a pattern, not a real one."""
    key = hashlib.sha256(b"key").digest()[:16].hex().encode()
    lines = [b"kn-package-signature 1", b"signer " + signer, b"key " + key]
    lines += [b"sha256 " + hashlib.sha256(name).hexdigest().encode() + b" " + name for name in names]
    lines.append(b"signature " + base64.b64encode(bytes(range(64))))
    return newline.join(lines) + newline


def key_line(tag: bytes, size: int, name: bytes) -> bytes:
    return tag + b" " + base64.b64encode(bytes(range(7, 7 + size))) + b" " + name


SEEDS = {
    "entry_name_fuzzer": {
        "plain": utf16("info"),
        "subfolder": utf16("fw/prog.bin"),
        "drive": utf16("C:\\fw\\prog.bin"),
        "step-back": utf16("old\\..\\fw\\prog.bin"),
        "repeated": utf16("a/../b/../c.bin"),
        "climbs": utf16("../up.bin"),
        "device": utf16("com1.txt"),
        "superscript-port": utf16("LPT\u00b3.log"),
        "console-input": utf16("fw/CONIN$"),
        "trailing-space": utf16("m.bin "),
        "trailing-dot-folder": utf16("fw./p.bin"),
        "stream": utf16("fw/a:stream"),
    },
    "entry_metadata_fuzzer": {
        # versionMadeBy, external attributes, DOS date and time, Unix time, extra field
        "fat-read-only": struct.pack("<HIIi", 0x0014, 0x21, 0x5A210000, 0),
        "unix-directory": struct.pack("<HIIi", 0x031E, (0o40755 << 16) | 0x10, 0x54A16B20, 1622548800),
        "infozip-ut": struct.pack("<HIIi", 0x031E, 0o100644 << 16, 0x52C10000, -1)
        + b"UT" + struct.pack("<HBii", 9, 3, 1622548800, 1622548801)
        + b"ux" + struct.pack("<HBBIBI", 11, 1, 4, 1000, 4, 1000),
        "ut-after-other-field": struct.pack("<HIIi", 0x0B14, 0x20, 0, 0)
        + b"\x0a\x00" + struct.pack("<H", 4) + b"abcd" + b"UT" + struct.pack("<HBi", 5, 1, 7),
        "ut-truncated": struct.pack("<HIIi", 0, 0, 0, 0) + b"UT\x09\x00\x07\x01\x02",
    },
    "manifest_fuzzer": {
        "eight-lines-crlf": manifest(b"TW 3xx", False, b"\r\n"),
        "bootloader-lf": manifest(b"QM 5xx", True, b"\n"),
        "empty-line-9": manifest(b"TW 3xx", False, b"\r\n") + b"\r\n",
        "ctrl-z": manifest(b"abc", False, b"\r\n") + b"\x1ajunk",
        "composed": composed([b"TW 3xx", b"program.bin", b"media.bin", b"data.bin", b"boot.bin"]),
        "composed-cr-and-ff": composed([b"TW\r3xx\xff", b"p\r", b"", b"d.bin", b""]),
    },
    "crc32_fuzzer": {
        "nine-digits": b"\x00\x00123456789",
        "empty": b"",
        "split-unaligned": b"\x05\x00" + bytes(range(200)),
    },
    "frame_fuzzer": {
        "status-reply": frame_input(data=frame(1, b">" + bytes(10))),
        "unaddressed": frame_input(address=0, data=frame(0, b"A")),
        "two-segments": frame_input(byte_count=300, received=19, segments=2,
                                    data=frame(1, b">" + bytes(5)) + frame(1, bytes(5))),
        "short-segment": frame_input(received=3, data=b"\x01\x02\x00"),
        # Reproducers: a payload whose length byte wraps, and a count near 2^32.
        "payload-over-251": frame_input(data=bytes(252)),
        "count-near-4GiB": frame_input(byte_count=0xFFFFFFFF, data=frame(1, b">")),
    },
    "string_descriptor_fuzzer": {
        "product": string_descriptor("TW 3xx"),
        "odd-length": b"\x05\x03A\x00B",
        "after-device-descriptor": bytes([18, 1]) + bytes(16) + string_descriptor("QM"),
        "length-past-end": b"\x10\x03A\x00",
        "zero-length": b"\x00\x03",
    },
    "flash_layout_fuzzer": {
        "fits-exactly": struct.pack("<QIII", 0x3C000, 1024, 0x40000, 0x4000),
        "one-byte-too-many": struct.pack("<QIII", 0x3C001, 1024, 0x40000, 0x4000),
        "no-sector": struct.pack("<QIII", 0x1000, 0, 0x40000, 0x4000),
        "shorter-than-a-sector": struct.pack("<QIII", 1023, 1024, 0x40000, 0x4000),
        # Reproducer: a length near 2^64 wrapped the end of the body below the last sector.
        "length-near-2-64": struct.pack("<QIII", 0xFFFFFFFFFFFFFC00, 1, 0x40000, 0x4000),
    },
    "device_match_fuzzer": {
        # device type, product, entry number, kept count, kept texts, seen texts
        "default-bench": texts("TW 3xx", "TW 3xx") + b"\x00\x01" + texts("VX 5xx") + texts("TW 3xx", "VX 5xx"),
        "older-family": texts("QM 5xx", "VX 5xx") + b"\x02\x00",
        "not-for-device": texts("TW 3xx", "QM 5xx") + b"\x01\x00",
        "identical-waiting": texts("TW 3xx", "TW 3xx") + b"\x00\x01" + texts("TW 3xx") + texts("TW 3xx", "TW 3xx"),
        "unknown": texts("VX 3xx", "<<Unknown>>") + b"\x03\x01" + texts("<<Unknown>>") + texts("<<Unknown>>"),
        "colon-in-product": texts("X", "Logger: rev 2") + b"\x04\x00",
    },
    "signing_text_fuzzer": {
        "entry": signature_entry(b"ACME Instruments", [b"info", b"p.bin", b"m.bin", b"d.bin"]),
        "entry-8-bit-name-utf-8-signer": signature_entry("M\u00fcller".encode(), [b"info", b"pr\xfcf.bin"]),
        "entry-crlf": signature_entry(b"ACME", [b"info"], b"\r\n"),
        "entry-name-twice": signature_entry(b"ACME", [b"info", b"info"]),
        "entry-no-digest": signature_entry(b"ACME", []),
        "key-file": b"\xef\xbb\xbf# trusted makers\r\n" + key_line(b"kn-ecdsa-p256", 64, b"ACME") + b"  # lab\r\n\r\n"
        + key_line(b"kn-ecdsa-p256", 64, b"Other Maker") + b"\n",
        "private-key": key_line(b"kn-ecdsa-p256-private", 96, b"ACME") + b"\n",
        "key-padding-bits-set": b"kn-ecdsa-p256 " + base64.b64encode(bytes(64))[:-3] + b"B== ACME\n",
        "base64-of-five": b"Zm9vYmE=",
    },
    "error_text_fuzzer": {
        "library-text": struct.pack("<i", -5) + utf16("Cannot read the flash parameters of the device"),
        "percent-signs": struct.pack("<i", -13) + utf16("50%d %s done"),
        "empty": struct.pack("<i", -1),
        "long": struct.pack("<i", -14) + utf16("x" * 3000),
    },
}


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    for target, seeds in SEEDS.items():
        folder = os.path.join(sys.argv[1], target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
