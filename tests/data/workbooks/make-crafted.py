# Writes workbooks record by record, for what no spreadsheet program writes on request: every
# kind of cell record, shared strings split across CONTINUE records at awkward places, an Excel
# 5.0/95 workbook in code page 936, a password-protected (FILEPASS) workbook, formula cells
# under FORMULA's BIFF3/4 number, padding records between records, a sheet1 holding a record of
# a kind the reference scan does not know, cells written twice by two kinds of record, and a
# password-protected .xlsx (the compound file of an encrypted package) whose package stream is
# cut short, and one whose EXTSST comes before its SST. Each file is checked with xlrd afterwards
# (see make-workbooks.sh). Run with Debian's /usr/bin/python3.
import struct
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "."

ENDOFCHAIN, FREESECT, FATSECT, NOSTREAM = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFF


def compound_file(stream_name, stream):
    """A version 3 compound file holding one stream in regular sectors."""
    stream = stream + b"\0" * max(0, 4096 - len(stream))  # no mini stream
    stream += b"\0" * (-len(stream) % 512)
    data_sectors = len(stream) // 512
    fat_sectors = 1
    while (data_sectors + 1 + fat_sectors) > fat_sectors * 128:
        fat_sectors += 1
    dir_sector = data_sectors
    fat = [i + 1 for i in range(data_sectors - 1)] + [ENDOFCHAIN]
    fat += [ENDOFCHAIN]  # the directory
    fat += [FATSECT] * fat_sectors
    fat += [FREESECT] * (fat_sectors * 128 - len(fat))

    def entry(name, kind, child, start, size):
        raw = name.encode("utf-16-le") + b"\0\0"
        return (raw.ljust(64, b"\0") + struct.pack("<HBB", len(raw), kind, 1) +
                struct.pack("<III", NOSTREAM, NOSTREAM, child) + b"\0" * 16 + b"\0" * 4 +
                b"\0" * 16 + struct.pack("<IIi", start, size, 0))

    directory = entry("Root Entry", 5, 1, ENDOFCHAIN, 0)
    directory += entry(stream_name, 2, NOSTREAM, 0, len(stream))
    empty = b"\0" * 64 + struct.pack("<HBB", 0, 0, 0) + struct.pack("<III", NOSTREAM, NOSTREAM,
                                                                     NOSTREAM) + b"\0" * 48
    directory += empty * 2
    header = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
    header += struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6
    header += struct.pack("<IIIIIIIII", 0, fat_sectors, dir_sector, 0, 4096, ENDOFCHAIN, 0,
                          ENDOFCHAIN, 0)
    difat = [data_sectors + 1 + i for i in range(fat_sectors)]
    difat += [FREESECT] * (109 - len(difat))
    header += struct.pack("<109I", *difat)
    return header + stream + directory + struct.pack("<%dI" % len(fat), *fat)


def compound_file_streams(streams, sector_shift=9):
    """A compound file holding streams in regular sectors, each at least 4096 bytes (below that
    a stream would belong in the mini stream). A stream given as (name, bytes, size) claims
    size bytes in the directory, more than its sectors hold when the file was cut short."""
    sector = 1 << sector_shift
    streams = [s if len(s) == 3 else (s[0], s[1], len(s[1])) for s in streams]
    body, starts, fat = b"", [], []
    for _, data, _ in streams:
        assert len(data) >= 4096
        data += b"\0" * (-len(data) % sector)
        first = len(body) // sector
        count = len(data) // sector
        starts.append(first)
        fat += [first + i + 1 for i in range(count - 1)] + [ENDOFCHAIN]
        body += data
    entries_per_sector = sector // 128
    dir_sectors = -(-(len(streams) + 1) // entries_per_sector)
    dir_sector = len(body) // sector
    fat += [dir_sector + i + 1 for i in range(dir_sectors - 1)] + [ENDOFCHAIN]
    per_fat = sector // 4
    fat_sectors = 1
    while len(fat) + fat_sectors > fat_sectors * per_fat:
        fat_sectors += 1
    fat += [FATSECT] * fat_sectors
    fat += [FREESECT] * (fat_sectors * per_fat - len(fat))

    def entry(name, kind, left, right, child, start, size):
        raw = name.encode("utf-16-le") + b"\0\0"
        return (raw.ljust(64, b"\0") + struct.pack("<HBB", len(raw), kind, 1) +
                struct.pack("<III", left, right, child) + b"\0" * 16 + b"\0" * 4 +
                b"\0" * 16 + struct.pack("<IIi", start, size, 0))

    # The streams as a chain of right siblings, in the order directory trees sort names.
    order = sorted(range(len(streams)), key=lambda i: (len(streams[i][0]), streams[i][0].upper()))
    right = {order[k]: order[k + 1] + 1 for k in range(len(order) - 1)}
    directory = entry("Root Entry", 5, NOSTREAM, NOSTREAM, order[0] + 1, ENDOFCHAIN, 0)
    for i, (name, _, size) in enumerate(streams):
        directory += entry(name, 2, NOSTREAM, right.get(i, NOSTREAM), NOSTREAM, starts[i], size)
    empty = b"\0" * 64 + struct.pack("<HBB", 0, 0, 0) + struct.pack("<III", NOSTREAM, NOSTREAM,
                                                                     NOSTREAM) + b"\0" * 48
    directory += empty * (dir_sectors * entries_per_sector - len(streams) - 1)
    header = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
    version = 3 if sector_shift == 9 else 4
    header += struct.pack("<HHHHH", 0x3E, version, 0xFFFE, sector_shift, 6) + b"\0" * 6
    header += struct.pack("<IIIIIIIII", dir_sectors if version == 4 else 0, fat_sectors,
                          dir_sector, 0, 4096, ENDOFCHAIN, 0, ENDOFCHAIN, 0)
    difat = [dir_sector + dir_sectors + i for i in range(fat_sectors)]
    difat += [FREESECT] * (109 - len(difat))
    header += struct.pack("<109I", *difat)
    header += b"\0" * (sector - len(header))
    return header + body + directory + struct.pack("<%dI" % len(fat), *fat)


def rec(kind, data=b""):
    return struct.pack("<HH", kind, len(data)) + data


def bof8(dt):
    return rec(0x0809, struct.pack("<HHHHII", 0x0600, dt, 0x0DBB, 0x07CC, 0, 6))


def bof5(dt):
    return rec(0x0809, struct.pack("<HHHH", 0x0500, dt, 0x0DBB, 0x07CC))


EOF_ = rec(0x000A)


def xlstring(text, length_bytes=2, force_wide=None):
    wide = force_wide if force_wide is not None else any(ord(c) > 0xFF for c in text)
    body = text.encode("utf-16-le") if wide else text.encode("latin-1")
    return struct.pack("<H" if length_bytes == 2 else "<B", len(text)) + bytes([int(wide)]) + body


def sst(strings, limit):
    """SST with CONTINUE records of at most `limit` data bytes. Each string is (text, wide,
    runs, phonetic bytes); characters split with a flag byte, runs and phonetic data raw."""
    records = []
    cur = bytearray(struct.pack("<II", len(strings) + 3, len(strings)))

    def flush():
        nonlocal cur
        records.append(bytes(cur))
        cur = bytearray()

    for text, wide, runs, phonetic in strings:
        flags = int(bool(wide)) | (0x08 if runs else 0) | (0x04 if phonetic else 0)
        head = struct.pack("<HB", len(text), flags)
        if runs:
            head += struct.pack("<H", len(runs))
        if phonetic:
            head += struct.pack("<I", len(phonetic))
        width = 2 if wide else 1
        if len(cur) + len(head) + width > limit:
            flush()
        cur += head
        chars = list(text)
        # wide == 2: the first part wide, what continues compressed (the flag byte says so).
        continued_width = 2 if wide is True else 1
        while chars:
            room = (limit - len(cur)) // width
            if room == 0:
                flush()
                width = continued_width
                cur += bytes([int(width == 2)])
                continue
            take, chars = chars[:room], chars[room:]
            cur += "".join(take).encode("utf-16-le" if width == 2 else "latin-1")
        tail = b"".join(struct.pack("<HH", a, b) for a, b in runs) + phonetic
        while tail:
            room = limit - len(cur)
            if room <= 0:
                flush()
                continue
            step = room - room % 4 if len(tail) > room and runs else room
            cur += tail[:step]
            tail = tail[step:]
            if tail:
                flush()
    flush()
    out = rec(0x00FC, records[0])
    for r in records[1:]:
        out += rec(0x003C, r)
    return out


def cell(kind, row, col, xf, payload):
    return rec(kind, struct.pack("<HHH", row, col, xf) + payload)


def number(row, col, value, xf=0):
    return cell(0x0203, row, col, xf, struct.pack("<d", value))


def rk_int(row, col, value, xf=0, times100=False):
    return cell(0x027E, row, col, xf, struct.pack("<I", ((value << 2) | 2 | int(times100)) &
                                                  0xFFFFFFFF))


def labelsst(row, col, index, xf=0):
    return cell(0x00FD, row, col, xf, struct.pack("<I", index))


def formula(row, col, result, xf=0):
    return cell(0x0006, row, col, xf, result + struct.pack("<HI", 0, 0) + b"\x03\x00\x1e\x01\x00")


def workbook8(sheets, globals_extra=b"", codepage=1200):
    """sheets: list of (name, type, substream bytes)."""
    head = bof8(0x0005) + rec(0x0042, struct.pack("<H", codepage)) + globals_extra
    fonts = rec(0x0031, struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) +
                xlstring("Arial", 1))
    head += fonts * 5
    bound = b""
    for name, kind, _ in sheets:
        bound += rec(0x0085, struct.pack("<IBB", 0, 0, kind) + xlstring(name, 1))
    return head, bound


def assemble8(head, bound_records, tail, sheets):
    globals_len = len(head) + len(bound_records) + len(tail) + len(EOF_)
    offsets, pos = [], globals_len
    for _, _, body in sheets:
        offsets.append(pos)
        pos += len(body)
    bound = b""
    at = 0
    for i, (name, kind, _) in enumerate(sheets):
        length = struct.unpack_from("<H", bound_records, at + 2)[0]
        data = bytearray(bound_records[at + 4:at + 4 + length])
        struct.pack_into("<I", data, 0, offsets[i])
        bound += rec(0x0085, bytes(data))
        at += 4 + length
    return head + bound + tail + EOF_ + b"".join(body for _, _, body in sheets)


def xf(ifmt):
    return rec(0x00E0, struct.pack("<HHHBBBBIIH", 0, ifmt, 0xFFF5, 0x20, 0, 0, 0, 0, 0, 0x20C0))


def crafted_biff8():
    long_latin = "Latin text " * 40  # 440 characters: a long-text (memo) field
    split_cjk = "跨记录的中文字符" * 30
    strings = [
        ("经度", True, [], b""),
        ("标注", True, [], b""),
        ("地点描述", True, [], b""),
        (long_latin, False, [], b""),
        (split_cjk, True, [], b""),
        ("粗体<b>rich</b>", True, [(0, 1), (2, 0)], b""),
        ("ふりがな付き", True, [], b"\x01\x00" * 30),
        ("中文" + "x" * 200, 2, [], b""),  # starts wide, continues compressed
        ("", False, [], b""),
    ]
    formats = (rec(0x041E, struct.pack("<H", 164) + xlstring('yyyy"年"m"月"d"日" h:mm')) +
               rec(0x041E, struct.pack("<H", 165) + xlstring("[$¥-804]#,##0.00")) +
               rec(0x041E, struct.pack("<H", 166) + xlstring("0.00%")))
    xfs = xf(0) * 16 + xf(164) + xf(165) + xf(14) + xf(166) + xf(7)  # cell XFs 16..20
    table = sst([(t, w, r, p) for t, w, r, p in strings], 120)
    rows = b""
    # Headings: shared string, a LABEL record, shared strings, no heading at column 4, a number.
    rows += labelsst(0, 0, 0) + cell(0x0204, 0, 1, 0, xlstring("纬度")) + labelsst(0, 2, 1)
    rows += labelsst(0, 3, 2) + number(0, 5, 2024)
    # An integer RK, an RK scaled by 100, long and split shared strings, true, a string formula.
    rows += rk_int(1, 0, 116) + rk_int(1, 1, 3991, times100=True) + labelsst(1, 2, 4)
    rows += labelsst(1, 3, 3) + cell(0x0205, 1, 4, 0, b"\x01\x00")
    rows += formula(1, 5, b"\x00\x00\x00\x00\x00\x00\xff\xff")
    rows += rec(0x04BC, b"\0" * 10)  # a shared formula between the formula and its text
    long_result = "公式结果" * 2100  # 8,400 characters: the STRING record continues
    body = xlstring(long_result)
    first = body[:8223]  # the header and 4,110 whole characters
    rows += rec(0x0207, first) + rec(0x003C, b"\x01" + body[8223:])
    # MULRK, a compressed LABEL, rich and phonetic strings, #DIV/0!, a true formula.
    rows += rec(0x00BD, struct.pack("<HH", 2, 0) + struct.pack("<HI", 0, (1215 << 2) | 3) +
                struct.pack("<HI", 0, 0x405E4000) + struct.pack("<H", 1))
    rows += cell(0x0204, 2, 2, 0, xlstring("A&B")) + labelsst(2, 3, 5)
    rows += cell(0x0205, 2, 4, 0, b"\x07\x01")
    rows += formula(2, 5, b"\x01\x00\x01\x00\x00\x00\xff\xff")
    # Row 3 holds only blanks: an empty record inside the range.
    rows += rec(0x00BE, struct.pack("<HHHHHH", 3, 0, 15, 15, 15, 2))
    rows += cell(0x0201, 3, 5, 15, b"")
    # A date, money, an error formula, an empty-text formula, a number formula with a percent.
    rows += number(4, 0, 45413.5625, 16) + number(4, 1, 1234.56789, 17)
    rows += labelsst(4, 2, 6) + labelsst(4, 3, 7)
    rows += formula(4, 4, b"\x02\x00\x2a\x00\x00\x00\xff\xff")
    rows += formula(4, 5, b"\x03\x00\x00\x00\x00\x00\xff\xff")
    # Written twice: the later record wins. Then midnight and the 1900 leap-day serial.
    rows += number(5, 0, 1) + rk_int(5, 0, 2) + number(5, 1, 0.25, 19)
    rows += number(5, 2, 45413, 18) + number(5, 3, 60, 18) + labelsst(5, 4, 8)
    rows += number(5, 5, 12.5, 20)
    # An embedded chart's substream: its records belong to the chart, not to the sheet.
    rows += bof8(0x0020) + number(6, 0, 999) + EOF_
    sheet1 = (bof8(0x0010) + rec(0x0200, struct.pack("<IIHHH", 0, 6, 0, 6, 0)) + rows + EOF_)
    other = bof8(0x0010) + cell(0x0204, 0, 0, 0, xlstring("not sheet1")) + EOF_
    chart = bof8(0x0020) + EOF_
    sheets = [("Other", 0, other), ("Sheet1", 0, sheet1), ("Chart1", 2, chart)]
    head, bound = workbook8(sheets, rec(0x0022, b"\0\0") + formats + xfs)
    stream = assemble8(head, bound, table, sheets)
    with open(f"{out}/crafted-biff8.xls", "wb") as f:
        f.write(compound_file("Workbook", stream))


def crafted_biff5():
    gbk = lambda s: s.encode("gbk")

    def label5(row, col, text):
        raw = gbk(text)
        return cell(0x0204, row, col, 0, struct.pack("<H", len(raw)) + raw)

    rows = label5(0, 0, "经度") + label5(0, 1, "纬度") + label5(0, 2, "标注") + label5(0, 3, "地点描述")
    rows += number(1, 0, 116.3920388) + rk_int(1, 1, 3991, times100=True)
    rows += label5(1, 2, "紫禁城") + label5(1, 3, "中国古代帝王宫殿，位于中国北京市")
    rows += rk_int(2, 0, 121) + number(2, 1, 31.23973873, 17) + label5(2, 2, "上海")
    rows += cell(0x0006, 2, 3, 0, b"\x00\x00\x00\x00\x00\x00\xff\xff" + struct.pack("<HI", 0, 0) +
                 b"\x00\x00")
    result = b"formula text"  # xlrd counts a STRING record in characters, LABEL in bytes
    rows += rec(0x0207, struct.pack("<H", len(result)) + result)
    rows += cell(0x0205, 3, 0, 0, b"\x00\x00") + label5(3, 3, "€ is not in GBK".replace("€", "E"))
    sheet = (bof5(0x0010) + rec(0x0200, struct.pack("<HHHHH", 0, 4, 0, 4, 0)) + rows + EOF_)
    other = bof5(0x0010) + label5(0, 0, "其他") + EOF_
    fmt = rec(0x041E, struct.pack("<HB", 164, len("yyyy-mm-dd")) + b"yyyy-mm-dd")
    xfs = b"".join(rec(0x00E0, struct.pack("<HH", 0, f) + b"\0" * 12) for f in [0] * 16 + [164, 7])
    head = bof5(0x0005) + rec(0x0042, struct.pack("<H", 936)) + rec(0x0022, b"\1\0") + fmt + xfs
    names = [("其他", other), ("Sheet1", sheet)]
    bound_len = sum(4 + 7 + len(gbk(n)) for n, _ in names)
    pos = len(head) + bound_len + len(EOF_)
    bound = b""
    for name, body in names:
        raw = gbk(name)
        bound += rec(0x0085, struct.pack("<IBBB", pos, 0, 0, len(raw)) + raw)
        pos += len(body)
    stream = head + bound + EOF_ + b"".join(body for _, body in names)
    with open(f"{out}/crafted-biff5.xls", "wb") as f:
        f.write(compound_file("Book", stream))


def filepass():
    # XOR obfuscation header: what follows it would be obfuscated; no reader gets past it.
    sheet = bof8(0x0010) + number(0, 0, 1) + EOF_
    sheets = [("Sheet1", 0, sheet)]
    head, bound = workbook8(sheets)
    head = bof8(0x0005) + rec(0x002F, struct.pack("<HHH", 0, 0x1234, 0x5678)) + head[20:]
    stream = assemble8(head, bound, b"", sheets)
    with open(f"{out}/filepass.xls", "wb") as f:
        f.write(compound_file("Workbook", stream))


def formula4():
    # FORMULA records under 0x0406, FORMULA's BIFF3/4 number, in a BIFF8 stream, as some
    # writers still emit them: a number, a text (in the STRING record after it), a truth value
    # and an error. xlrd and LibreOffice read them as FORMULA.
    def formula_old(row, col, result):
        return cell(0x0406, row, col, 0, result + struct.pack("<HI", 0, 0) + b"\x03\x00\x1e\x01\x00")

    rows = b"".join(cell(0x0204, 0, c, 0, xlstring(h)) for c, h in enumerate(["经度", "纬度", "标注"]))
    rows += number(1, 0, 116.5) + formula_old(1, 1, struct.pack("<d", 39.875))
    rows += formula_old(1, 2, b"\x00\x00\x00\x00\x00\x00\xff\xff") + rec(0x0207, xlstring("公式"))
    rows += formula_old(2, 0, struct.pack("<d", 121.25)) + number(2, 1, 31.5)
    rows += formula_old(2, 2, b"\x01\x00\x01\x00\x00\x00\xff\xff")
    rows += number(3, 0, 113.25) + formula_old(3, 1, b"\x02\x00\x07\x00\x00\x00\xff\xff")
    rows += cell(0x0204, 3, 2, 0, xlstring("广州"))
    sheet = bof8(0x0010) + rec(0x0200, struct.pack("<IIHHH", 0, 4, 0, 3, 0)) + rows + EOF_
    sheets = [("Sheet1", 0, sheet)]
    head, bound = workbook8(sheets)
    stream = assemble8(head, bound, b"", sheets)
    with open(f"{out}/crafted-formula0406.xls", "wb") as f:
        f.write(compound_file("Workbook", stream))


def padding_records():
    # Records of type 0 and no data between real records, in the globals and in sheet1's cell
    # table, as some writers leave them, and zeros after the last EOF: 23 rows in all.
    pad = rec(0x0000)
    rows = pad.join(cell(0x0204, 0, c, 0, xlstring(h)) for c, h in enumerate(["经度", "纬度", "标注"]))
    for r in range(1, 23):
        rows += pad * (r % 3) + number(r, 0, 100 + r / 4) + pad + number(r, 1, 30 + r / 8)
        rows += cell(0x0204, r, 2, 0, xlstring("点%d" % r))
    sheet = (bof8(0x0010) + pad + rec(0x0200, struct.pack("<IIHHH", 0, 23, 0, 3, 0)) + pad * 2 +
             rows + pad + EOF_)
    other = bof8(0x0010) + cell(0x0204, 0, 0, 0, xlstring("other")) + EOF_
    sheets = [("Other", 0, other), ("Sheet1", 0, sheet)]
    head, bound = workbook8(sheets, pad + rec(0x0022, b"\0\0") + pad)
    stream = assemble8(head + pad * 2, bound, pad, sheets) + b"\0" * 64
    with open(f"{out}/crafted-padding.xls", "wb") as f:
        f.write(compound_file("Workbook", stream))


def unknown_record():
    # Sheet1 holding, after its cells, a record of type 0x08C8, which the reference scan does not
    # know (a later Excel's future record: its header repeats its type, then flags and zeros).
    rows = b"".join(cell(0x0204, 0, c, 0, xlstring(h)) for c, h in enumerate(["经度", "纬度"]))
    for r in range(1, 5):
        rows += number(r, 0, 116 + r) + number(r, 1, 39 + r)
    future = rec(0x08C8, struct.pack("<HH", 0x08C8, 0) + b"\0" * 8 + struct.pack("<HH", 1, 0))
    sheet = (bof8(0x0010) + rec(0x0200, struct.pack("<IIHHH", 0, 5, 0, 2, 0)) + rows + future +
             EOF_)
    sheets = [("Sheet1", 0, sheet)]
    head, bound = workbook8(sheets)
    stream = assemble8(head, bound, b"", sheets)
    with open(f"{out}/crafted-unknown-record.xls", "wb") as f:
        f.write(compound_file("Workbook", stream))


def encrypted_xlsx():
    # What a password-protected .xlsx is: a compound file holding EncryptionInfo (its version,
    # then the agile encryption's XML descriptor) and EncryptedPackage (the package's size, then
    # ciphertext). This one's package stream was cut short: it claims more than the file holds.
    descriptor = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
                  b'<encryption xmlns="http://schemas.microsoft.com/office/2006/encryption">'
                  b'<keyData saltSize="16" blockSize="16" keyBits="256" hashSize="64" '
                  b'cipherAlgorithm="AES" cipherChaining="ChainingModeCBC" hashAlgorithm="SHA512" '
                  b'saltValue="AAAAAAAAAAAAAAAAAAAAAA=="/></encryption>')
    info = struct.pack("<HHI", 4, 4, 0x40) + descriptor
    info += b" " * (4096 - len(info))
    cipher = bytes((i * 151 + 7) & 0xFF for i in range(8192))
    package = struct.pack("<Q", 6000) + cipher
    streams = [("EncryptionInfo", info), ("EncryptedPackage", package, len(package) + 4096)]
    with open(f"{out}/xlsx/crafted-encrypted-cut.xlsx", "wb") as f:
        f.write(compound_file_streams(streams))


def overwritten():
    """Cells written twice in one row: NUMBER records, then a MULRK over the same cells, which
    wins as the later record does."""
    rows = labelsst(0, 0, 0) + labelsst(0, 1, 1)
    rows += number(1, 0, 116.5) + number(1, 1, 39.5)
    rows += rec(0x00BD, struct.pack("<HH", 1, 0) + struct.pack("<HI", 0, (116 << 2) | 2) +
                struct.pack("<HI", 0, (40 << 2) | 2) + struct.pack("<H", 1))
    rows += number(2, 0, 117.25) + number(2, 1, 41.5)
    sheet1 = bof8(0x0010) + rec(0x0200, struct.pack("<IIHHH", 0, 3, 0, 2, 0)) + rows + EOF_
    sheets = [("Sheet1", 0, sheet1)]
    head, bound = workbook8(sheets, rec(0x0022, b"\0\0") + xf(0) * 16)
    table = sst([("经度", True, [], b""), ("纬度", True, [], b"")], 8224)
    with open(f"{out}/crafted-overwritten.xls", "wb") as f:
        f.write(compound_file("Workbook", assemble8(head, bound, table, sheets)))


def extsst_first():
    """EXTSST before the SST it indexes, as no program writes it: a text written back adds a
    string, and the EXTSST's offsets can only be worked out after the SST."""
    table = sst([("经度", True, [], b""), ("纬度", True, [], b""), ("标注", True, [], b"")], 8224)
    extsst = rec(0x00FF, struct.pack("<HIHH", 8, 0, 12, 0))
    rows = labelsst(0, 0, 0) + labelsst(0, 1, 1) + labelsst(0, 2, 2)
    rows += number(1, 0, 116.3920388) + number(1, 1, 39.91120332) + labelsst(1, 2, 2)
    sheet1 = bof8(0x0010) + rec(0x0200, struct.pack("<IIHHH", 0, 2, 0, 3, 0)) + rows + EOF_
    sheets = [("Sheet1", 0, sheet1)]
    head, bound = workbook8(sheets, xf(0) * 16)
    stream = assemble8(head, bound, extsst + table, sheets)
    with open(f"{out}/crafted-extsst-first.xls", "wb") as f:
        f.write(compound_file("Workbook", stream))


crafted_biff8()
crafted_biff5()
filepass()
formula4()
padding_records()
unknown_record()
encrypted_xlsx()
overwritten()
extsst_first()
