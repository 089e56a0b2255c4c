#!/usr/bin/env python3
"""Writes the seed corpora of the unwind fuzzers into fuzz/corpus/<target>/.

Each seed is a small, valid input of the target's format (see the comment at the top of each
fuzzer), so that the fuzzer starts from inputs that reach deep into the parsers."""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus")


def uleb(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        if v:
            out.append(b | 0x80)
        else:
            out.append(b)
            return bytes(out)


def sleb(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        done = (v == 0 and not b & 0x40) or (v == -1 and b & 0x40)
        out.append(b if done else b | 0x80)
        if done:
            return bytes(out)


def entry(body):
    body = body + b"\0" * (-(len(body) + 4) % 4)
    return struct.pack("<I", len(body)) + body


def cie(aug="zR", ptr_enc=0x04, instructions=b"", version=1, cie_id=0):
    body = struct.pack("<I", cie_id) + bytes([version]) + aug.encode() + b"\0"
    body += uleb(1) + sleb(-8) + uleb(16)
    if aug.startswith("z"):
        data = b""
        for c in aug[1:]:
            if c == "R":
                data += bytes([ptr_enc])
            if c == "L":
                data += bytes([0x1B])
            if c == "P":
                data += bytes([0x04]) + struct.pack("<Q", 0)
        body += uleb(len(data)) + data
    return entry(body + instructions)


def fde(section_len, cie_at, start, length, instructions=b"", aug=True, debug_frame=False):
    pointer_at = section_len + 4
    pointer = cie_at if debug_frame else pointer_at - cie_at
    body = struct.pack("<IQQ", pointer, start, length)
    if aug:
        body += uleb(0)
    return entry(body + instructions)


# A prologue such as a compiler writes: push rbp; mov rbp, rsp; push rbx.
CIE_INSTR = bytes([0x0C, 0x07, 0x08, 0x90, 0x01])  # def_cfa rsp+8; rip at cfa-8
FDE_INSTR = bytes([0x41, 0x0E, 0x10, 0x86, 0x02, 0x43, 0x0D, 0x06, 0x48, 0x83, 0x03,
                   0x0A, 0x44, 0x0C, 0x07, 0x08, 0x0B])


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def dwarf_cfi_seeds():
    section = cie(instructions=CIE_INSTR)
    section += fde(len(section), 0, 0x401000, 0x80, FDE_INSTR)
    section += fde(len(section), 0, 0x401080, 0x20, bytes([0x0F, 0x02, 0x77, 0x10, 0x10, 0x06, 0x02, 0x38, 0x1C]))
    section += struct.pack("<I", 0)
    write("crash_unwind_dwarf_cfi_fuzzer", "eh_frame", bytes([0]) + struct.pack("<Q", 0x401050) + section)
    write("crash_unwind_dwarf_cfi_fuzzer", "eh_frame_32", bytes([2]) + struct.pack("<Q", 0x401090) + section)

    dbg = cie(aug="", version=3, cie_id=0xFFFFFFFF, instructions=CIE_INSTR)
    dbg += fde(len(dbg), 0, 0x402000, 0x40, FDE_INSTR, aug=False, debug_frame=True)
    write("crash_unwind_dwarf_cfi_fuzzer", "debug_frame", bytes([1]) + struct.pack("<Q", 0x402010) + dbg)

    # A .eh_frame_hdr in the first 64 bytes, the section after it.
    base = 0x10000
    body = cie(aug="zR", ptr_enc=0x04, instructions=CIE_INSTR)
    fde_at = 64 + len(body)
    body += fde(64 + len(body), 64, 0x403000, 0x100, FDE_INSTR)
    hdr = bytes([1, 0x1B, 0x03, 0x3B]) + struct.pack("<i", 64 - 4) + struct.pack("<I", 1)
    hdr += struct.pack("<ii", 0x403000 - base, fde_at)
    hdr += b"\0" * (64 - len(hdr))
    # The FDE's CIE pointer counts from the FDE inside the combined buffer.
    write("crash_unwind_dwarf_cfi_fuzzer", "eh_frame_hdr", bytes([4]) + struct.pack("<Q", 0x403040) + hdr + body)


def cfa_program_seeds():
    target = "crash_unwind_cfa_program_fuzzer"
    write(target, "prologue", bytes([len(CIE_INSTR)]) + struct.pack("<I", 0x10) + bytes([0]) + CIE_INSTR + FDE_INSTR)
    write(target, "prologue_32", bytes([len(CIE_INSTR)]) + struct.pack("<I", 0x6) + bytes([1]) + CIE_INSTR + FDE_INSTR)
    expressions = bytes([0x0F, 0x02, 0x77, 0x10, 0x10, 0x10, 0x02, 0x38, 0x1C, 0x16, 0x03, 0x01, 0x06,
                         0x2E, 0x08, 0x12, 0x07, 0x7E, 0x13, 0x02, 0x14, 0x06, 0x01, 0x15, 0x0C, 0x01])
    write(target, "expressions", bytes([0]) + struct.pack("<I", 0) + bytes([0]) + expressions)
    states = bytes([0x0C, 0x07, 0x10, 0x0A, 0x0A, 0x0E, 0x20, 0xC6, 0x0B, 0x0B, 0x01]) + struct.pack("<i", 0x10)
    write(target, "remember_restore", bytes([0]) + struct.pack("<I", 0x30) + bytes([0]) + states)


def expression_seeds():
    target = "crash_unwind_dwarf_expression_fuzzer"
    write(target, "breg_deref", bytes([0]) + bytes([0x77]) + sleb(8) + bytes([0x06]))
    write(target, "arith", bytes([2 << 1]) + bytes([0x31, 0x32, 0x22, 0x33, 0x1E, 0x08, 0x05, 0x1B, 0x10]) + uleb(300) +
          bytes([0x1C, 0x11]) + sleb(-5) + bytes([0x1D, 0x20, 0x1F, 0x19]))
    write(target, "branches", bytes([1]) + bytes([0x30, 0x28]) + struct.pack("<h", 2) + bytes([0x31, 0x96, 0x32, 0x2F]) +
          struct.pack("<h", 1) + bytes([0x96, 0x33, 0x29, 0x34, 0x2A, 0x35, 0x2D]))
    write(target, "stack_ops", bytes([3 << 1]) + bytes([0x12, 0x14, 0x15, 0x02, 0x16, 0x17, 0x13, 0x18, 0x94, 0x04, 0x95, 0x02,
                                                           0x0E]) + struct.pack("<Q", 0x1234) + bytes([0x26, 0x24, 0x25, 0x27]))


def compact_section(common, pages, sentinel):
    """pages: (first_function, compressed, entries, own_encodings); entries are (function, encoding)
    for regular pages and (function, encoding index) for compressed ones."""
    index_offset = 28 + 4 * len(common)
    page_offset = index_offset + 12 * (len(pages) + 1)
    blobs = []
    for first, compressed, entries, own in pages:
        if compressed:
            blob = struct.pack("<IHHHH", 3, 12, len(entries), 12 + 4 * len(entries), len(own))
            blob += b"".join(struct.pack("<I", ((f - first) & 0xFFFFFF) | (i << 24)) for f, i in entries)
            blob += b"".join(struct.pack("<I", e) for e in own)
        else:
            blob = struct.pack("<IHH", 2, 8, len(entries)) + b"".join(struct.pack("<II", f, e) for f, e in entries)
        blobs.append(blob)
    out = struct.pack("<7I", 1, 28, len(common), 0, 0, index_offset, len(pages) + 1)
    out += b"".join(struct.pack("<I", e) for e in common)
    offset = page_offset
    for (first, *_), blob in zip(pages, blobs):
        out += struct.pack("<III", first, offset, 0)
        offset += len(blob)
    out += struct.pack("<III", sentinel, 0, 0)
    return out + b"".join(blobs)


def compact_seeds():
    target = "crash_unwind_compact_fuzzer"
    section = compact_section([0x01020011, 0x02030800], [
        (0x1000, False, [(0x1000, 0x01030000 | 0b110000001), (0x1100, 0x02030800), (0x1200, 0x03120000 | (2 << 13) | (1 << 10))], []),
        (0x2000, True, [(0x2000, 0), (0x2040, 1), (0x2080, 2), (0x20C0, 3)], [0x04000123, 0]),
    ], 0x3000)
    for name, cpu, pc in (("x86_64_regular", 0, 0x1100), ("x86_64_compressed", 0, 0x2081), ("x86", 1, 0x1201), ("arm64", 2, 0x2041)):
        write(target, name, bytes([cpu]) + struct.pack("<I", pc) + section)
    # The clang-built section of the compact unwind tests.
    import re
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "crashunwind", "fixtures",
                          "CompactUnwindFixture.h")
    text = open(header).read()
    image = bytes(int(b, 16) for b in re.findall(r"0x([0-9a-f]{2})", text.split("kImage[")[1].split("};")[0]))
    offset = int(re.search(r"kUnwindInfoOffset = 0x([0-9a-f]+)", text).group(1), 16)
    size = int(re.search(r"kUnwindInfoSize = 0x([0-9a-f]+)", text).group(1), 16)
    function = int(re.search(r"kFramelessFunction = 0x([0-9a-f]+)", text).group(1), 16)
    write(target, "clang_built", bytes([0]) + struct.pack("<I", function + 4) + image[offset:offset + size])


if __name__ == "__main__":
    dwarf_cfi_seeds()
    cfa_program_seeds()
    expression_seeds()
    compact_seeds()
