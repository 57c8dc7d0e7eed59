#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into tests/fuzz_corpus/<target>/.

Each seed is laid out the way the target's FuzzedDataProvider reads it:
strings from the front (ended by a backslash and one more byte, a backslash
doubled inside), numbers and switches from the back, the first one read being
the last byte. Run it after changing the order in which a target reads its
input; libFuzzer's own finds are merged in beside the seeds (scripts/fuzz
--merge).
"""
import hashlib
import pathlib
import sys

GBK = "gbk"


class Seed:
    def __init__(self):
        self.front = b""
        self.tail = b""  # in the order the target reads it

    def string(self, s):
        self.front += s.replace(b"\\", b"\\\\") + b"\\;"
        return self

    def rest(self, s):
        self.front += s
        return self

    def number(self, value, lo, hi):
        span, r, n = hi - lo, value - lo, 0
        while n < 8 and (span >> (8 * n)) > 0:
            n += 1
        self.tail += r.to_bytes(n, "big") if n else b""
        return self

    def flag(self, on):
        return self.number(1 if on else 0, 0, 255)

    def bytes(self):
        return self.front + self.tail[::-1]


def g(s):
    return s.encode(GBK)


INT64 = (-(2**63), 2**63 - 1)
INT32 = (-(2**31), 2**31 - 1)
PLACEHOLDER = g("#引号")


def text_ops():
    # text, sought, replacement, start, count, fold, exact
    cases = [
        (b"abcabc", b"c", b"x", 4, -1, False, False),
        (b"abc", b"B", b"", 0, -1, True, False),
        (b"\x81A", b"A", b"b", 0, -1, False, True),
        (b"abc", b"", b"z", 3, 2, False, False),
        (b"aAa", b"a", b"b", 1, -1, False, False),
        (b"aaa", b"aa", b"a", 1, 1, False, True),
        (b"a;;b;", b";", b",", 0, 0, False, True),
        (b";a", b";", b"", 0, -1, False, True),
        (b"\xa1\xa1x \t", b" ", b"", 0, -1, False, False),
        (b"\xb0\xa1\xa1\xa1 x \xa1\xa1", b"\xa1\xa1", b"_", 2, -1, False, True),
        (g("表|示\\") + b"|\\", b"\\", b"/", 0, -1, False, True),
        (g("中文abc中") + b"\xd6", b"\xd6", b"?", 0, -1, True, False),
    ]
    for text, sought, repl, start, count, fold, exact in cases:
        s = Seed().flag(fold).flag(exact).number(0, 0, 65535).number(len(sought), 0, 6)
        s.number(start, -2, 64).number(count, -1, 4).number(start + 1, *INT64)
        yield s.string(sought).string(repl).rest(text).bytes()


def text_between():
    q = PLACEHOLDER
    cases = [
        (b'{"url":"http://a/b.jpg","sign":"x"}', b"{" + q + b"url" + q + b":" + q,
         q + b"," + q + b"sign" + q + b":", 0, False),
        (b"HTTP/1.1 302 Found\r\nLocation: /s?x=1\r\nServer: s\r\n\r\n", b"Location: ",
         b"\r\nServer:", 0, False),
        (b"http/1.1 302\r\nlocation: x\r\nserver: y\r\n", b"Location: ", b"\r\nServer:", 0, True),
        (b"Set-Cookie: sid=1; path=/\r\n", b"Set-Cookie:", b";", 0, False),
        (b"The URL has moved <a href=\"http://h/r\">here</a>\n", b"The URL has moved <a href=\"",
         b"\">here</a>\n", 0, False),
        (b"[a][b]", b"[", b"]", 0, False),
        (b"\x81AA[x]", b"A", b"]", 0, False),
        (b"ab]cd", b"", b"]", 5, False),
        (b"abc", b"a", b"c", 9, False),
    ]
    for source, begin, end, start, fold in cases:
        s = Seed().flag(fold).flag(False).number(start, -1, 40).string(source)
        s.flag(False).string(begin).number(0, 0, 3).flag(False).string(end).number(0, 0, 3)
        yield s.bytes()


def merge_cookies():
    cases = [
        (b"a=1; b=2", b"b=3; c=4"),
        (b"sid=1; lang=cn", b"sid=deleted"),
        (b"", b"a=1; a=1;;a=2"),
        (b"x = 1;flag;A=1", b"a=2; flag=1"),
        (b"a=1;;;b=2;", b"=deleted; c=DELETED"),
        (b"n=\xd6\xd0\xa1\xa1\xce\xc4", b"m=\xb0\xa1\xa1\xa1x"),
    ]
    for cookies, received in cases:
        for whole in (True, False):
            yield Seed().flag(whole).string(cookies).rest(received).bytes()


def url_encode():
    for text in (b"A-z 9./_~", g("中") + b"\n", b"http://h/p?q=a b&r=\xd6\xd0", b"\x80\xff\x81"):
        for keep, utf8 in ((False, False), (True, False), (False, True)):
            yield Seed().flag(keep).flag(utf8).rest(text).bytes()


def base64():
    for data in (b"f", b"fo", b"foo", b"foob", b"fooba", b"foobar", b"\xff", b"\x00\x80\xff\x00",
                 bytes(range(256))):
        yield data


def code_page():
    charsets = ["utf-8", "GBK", "gb2312", "big5", "shift_jis", "euc-kr", "iso-8859-1",
                "windows-1252", "utf-16le", "utf-16be", "utf-32", "gb18030", "iso-2022-jp",
                "utf-7", "koi8-r", "hz-gb-2312"]
    cases = [
        ("GBK", g("中文 text ") + b"\x80"),
        ("utf-8", "中文 ✓ 𝄞".encode()),
        ("utf-8", b"\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80\xe4\xb8"),
        ("big5", "中文".encode("big5")),
        ("shift_jis", "日本".encode("shift_jis")),
        ("utf-16le", "ab\ud800".encode("utf-16le", "surrogatepass")),
        ("hz-gb-2312", b"~{<:~}x"),
        ("GBK", b"\x81\x00\xfe"),
    ]
    for charset, data in cases:
        yield Seed().number(charsets.index(charset), 0, 255).rest(data).bytes()
    yield Seed().number(0xF3, 0, 255).rest(b"latin1\x00\xe9").bytes()


def regex_object():
    q = PLACEHOLDER
    charset = b"<meta.+?charset=[^\\w]?([-\\w]+)"
    cases = [
        (charset, b"<META content=text/html; charset=GBK>", False, True, True, False, b"$1"),
        (charset, b"<meta charset=\"utf-8\">", False, True, True, False, b"[$&]"),
        (b"href=" + q + b"(.+?)" + q, b"<a href=\"x.htm\"><a href=\"y\">", False, True, True, True,
         b"$`$'"),
        (b"(a)|(b)", b"xabx", True, True, True, False, b"$2$1$$"),
        (b"^\\s*$", b"a\r\n\r\n b\n", False, True, True, False, b"-"),
        (b"a*", b"baaac", False, False, True, False, b"<$&>"),
        (b"(\\w+)\\1", g("中abab文") + b"xx", False, True, False, False, b"$01"),
        (b"<meta(.+", b"<meta x>", False, True, True, False, b""),
        (b"(a+)+$", b"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", False, True, True, False, b""),
        (b"[^]|[]\\u4e2d", g("中") + b"\x81", False, False, True, False, b"$&"),
    ]
    for pattern, subject, cs, ml, am, qp, repl in cases:
        s = Seed().flag(cs).flag(ml).flag(am).flag(qp)
        yield s.string(pattern).string(repl).rest(subject).bytes()


def response_headers():
    blocks = [
        b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=GBK\r\nSet-Cookie: sid=1; path=/\r\n"
        b"Set-Cookie: lang=cn\r\n\r\n",
        b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 302 Found\r\nLocation: /s?x=1\r\nServer: s\r\n\r\n",
        b"HTTP/1.1 301 Moved\r\nLocation: http://h/next\r\n\r\nHTTP/1.1 200 OK\r\n\r\n",
        b"HTTP/1.0 404 Not Found\nX: y\n\ntrailer: 1\r\n",
        b"http/2 204\r\nlocation:\r\n\r\n",
        b"HTTP/1.1 2x0 Odd\r\n \r\n\r\n",
    ]
    for block in blocks:
        for follows in (True, False):
            yield Seed().flag(follows).flag(False).rest(block).bytes()


TARGETS = {
    "text_ops": text_ops,
    "text_between": text_between,
    "merge_cookies": merge_cookies,
    "url_encode": url_encode,
    "base64": base64,
    "code_page": code_page,
    "regex_object": regex_object,
    "response_headers": response_headers,
}


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                        pathlib.Path(__file__).resolve().parent.parent / "tests" / "fuzz_corpus")
    for name, make in TARGETS.items():
        folder = root / name
        folder.mkdir(parents=True, exist_ok=True)
        for data in make():
            (folder / ("seed-" + hashlib.sha1(data).hexdigest()[:12])).write_bytes(data)


if __name__ == "__main__":
    main()
