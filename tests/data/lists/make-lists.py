#!/usr/bin/env python3
"""Writes the text lists that the command line's tests save through both the window and the
command line: each encoding the list reader tells apart, and characters a text box might
change on their way through it."""
import os

os.chdir(os.path.dirname(os.path.abspath(__file__)))

LINES = ["紫禁城(116.3920388,39.91120332)中国古代帝王宫殿", "西湖(120.15,30.25)杭州"]


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


# No byte-order mark and not UTF-8: read as GB18030 under a UTF-8 locale.
write("gb18030.txt", "\r\n".join(LINES).encode("gb18030") + b"\r\n")
# UTF-16BE with its byte-order mark, a line separator within a line and a tab.
write("utf16be.txt",
      b"\xfe\xff" + ("a\u2028b(1,2)\tc\n" + "\n".join(LINES)).encode("utf-16-be"))
# UTF-8 without a mark: a no-break space, a vertical tab, a form feed, a paragraph separator,
# a byte-order mark within the text, an object replacement character, a control character.
write("controls.txt",
      "n\u00a0a(1,2)d\u000be\u000cf\u2029g(3,4)\ufeffh\ufffci\u0001j\n".encode("utf-8"))
write("empty.txt", b"")
