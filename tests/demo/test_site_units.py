"""The demo site's parsers and formatters, fed directly."""

import io
import unittest

import sitetest  # noqa: F401  (puts demo/ on the path)
import quellix_codec
from quellix_site import forms
from quellix_site.actions import listing_line, parse_file_list
from quellix_site.httpwire import UNSATISFIABLE, BadRequest, parse_range, read_request, reply_head
from quellix_site.siteconfig import SiteConfig, record
from quellix_site.store import Node, size_text


def read(data: bytes):
    return read_request(io.BytesIO(data))


class RequestReadingTest(unittest.TestCase):
    def test_client_post_is_read_with_its_exact_body(self):
        body = "action=login&username=张 三&password=ab".encode("gbk")
        request = read(b"POST /plugins/quellix_client/client_main.php HTTP/1.0\r\n"
                       b"Content-Type: application/x-www-form-urlencoded\r\nHost: 127.0.0.1:81\r\n"
                       b"Content-Length: %d\r\n\r\n" % len(body) + body + b"next")
        self.assertEqual(request.method, "POST")
        self.assertEqual(request.version, "HTTP/1.0")
        self.assertEqual(request.body, body)
        self.assertEqual(request.header("content-length"), str(len(body)))
        self.assertFalse(request.keep_alive)

    def test_unescaped_target_keeps_blanks_and_gbk_bytes(self):
        target = "/x.php?action=download&username=张 三&password=t".encode("gbk")
        request = read(b"GET " + target + b" HTTP/1.0\r\n\r\n")
        self.assertEqual(request.target, target)
        self.assertEqual(request.path, b"/x.php")
        self.assertEqual(request.query, target.split(b"?", 1)[1])

    def test_keep_alive_only_when_asked(self):
        self.assertFalse(read(b"GET / HTTP/1.1\r\nHost: a\r\n\r\n").keep_alive)
        self.assertTrue(read(b"GET / HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n").keep_alive)
        self.assertFalse(read(b"GET / HTTP/1.0\r\nConnection: keep-alive, close\r\n\r\n").keep_alive)

    def test_chunked_body_folded_header_and_leading_blank_lines(self):
        request = read(b"\r\n\r\nPOST /a HTTP/1.1\r\nX-Long: one\r\n  two\r\nTransfer-Encoding: chunked\r\n\r\n"
                       b"4;ext=1\r\nabcd\r\n3\r\nefg\r\n0\r\nTrailer: x\r\n\r\n")
        self.assertEqual(request.body, b"abcdefg")
        self.assertEqual(request.header("X-Long"), "one two")

    def test_continue_is_offered_before_the_body_of_an_expecting_request(self):
        calls = []
        read_request(io.BytesIO(b"POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 1\r\n\r\nx"),
                     lambda: calls.append(1))
        read_request(io.BytesIO(b"POST / HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 1\r\n\r\nx"),
                     lambda: calls.append(2))
        self.assertEqual(calls, [1])

    def test_end_of_stream_before_a_request_is_no_request(self):
        self.assertIsNone(read(b""))
        self.assertIsNone(read(b"\r\n"))

    def test_malformed_requests_are_refused_with_their_status(self):
        cases = {
            b"GET /\r\n\r\n": 400,
            b"get / HTTP/1.0\r\n\r\n": 400,
            b"GET / HTTP/2.0\r\n\r\n": 505,
            b"GET / HTTP/1.0\r\nbroken header\r\n\r\n": 400,
            b"POST / HTTP/1.0\r\nContent-Length: x\r\n\r\n": 400,
            b"POST / HTTP/1.0\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab": 400,
            b"POST / HTTP/1.0\r\nContent-Length: 5\r\n\r\nab": 400,
            b"POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n": 501,
            b"GET / HTTP/1.0\r\nHost: a\r\n": 400,
            b"GET /" + b"a" * 20000 + b" HTTP/1.0\r\n\r\n": 414,
        }
        for data, status in cases.items():
            with self.subTest(data=data[:40]):
                with self.assertRaises(BadRequest) as caught:
                    read(data)
                self.assertEqual(caught.exception.status, status)

    def test_reply_head_always_frames_the_body(self):
        head = reply_head(404, [("Content-Type", "text/plain")], 12, False)
        self.assertEqual(head, b"HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"
                               b"Content-Length: 12\r\nConnection: close\r\n\r\n")
        self.assertIn(b"Connection: keep-alive\r\n", reply_head(200, [], 0, True))


class RangeTest(unittest.TestCase):
    def test_ranges(self):
        cases = [
            (None, 1000, None),
            ("bytes=0-500", 1000, (0, 500)),
            ("bytes=501-1000", 1000, (501, 999)),     # the downloader's last range names the length itself
            ("bytes=8-10", 10, (8, 9)),
            ("bytes=990-", 1000, (990, 999)),
            ("bytes=-100", 1000, (900, 999)),
            ("bytes=-5000", 1000, (0, 999)),
            (" Bytes = 5-5 ", 1000, (5, 5)),
            ("bytes=1000-1000", 1000, UNSATISFIABLE),
            ("bytes=1000-", 1000, UNSATISFIABLE),
            ("bytes=-0", 1000, UNSATISFIABLE),
            ("bytes=0-0", 0, UNSATISFIABLE),
            ("bytes=-1", 0, UNSATISFIABLE),
            ("bytes=5-2", 1000, None),                # invalid: the header is ignored
            ("bytes=a-2", 1000, None),
            ("bytes=-", 1000, None),
            ("items=0-1", 1000, None),
            ("bytes=0-1,5-6", 1000, None),            # several ranges: the whole document
        ]
        for header, length, expected in cases:
            with self.subTest(header=header, length=length):
                self.assertEqual(parse_range(header, length), expected)


class FormTest(unittest.TestCase):
    def test_values_keep_equals_signs_and_unknown_ampersand_pieces(self):
        fields = forms.parse_form("action=login&username=a&b=c d&password=x=y".encode("gbk"))
        self.assertEqual(fields, {"action": b"login", "username": b"a&b=c d", "password": b"x=y"})

    def test_a_known_name_starts_a_new_field_and_the_last_value_wins(self):
        fields = forms.parse_form(b"fl=a>1>x&folder_id=3.txt>c:\\|&folder_id=7&username=u&password=p")
        self.assertEqual(fields["folder_id"], b"7")
        self.assertEqual(fields["fl"], b"a>1>x")

    def test_gbk_values_and_leading_garbage(self):
        fields = forms.parse_form(b"junk&action=" + "张三".encode("gbk") + b"&&password=")
        self.assertEqual(fields, {"action": "张三".encode("gbk") + b"&", "password": b""})

    def test_numbers(self):
        self.assertEqual(forms.parse_int(b"12"), 12)
        self.assertEqual(forms.parse_int(b"-3"), -3)
        self.assertIsNone(forms.parse_int(b"1x"))
        self.assertEqual(forms.parse_int(None, 0), 0)

    def test_percent_decoding_leaves_what_is_no_escape(self):
        self.assertEqual(forms.percent_decode(b"a%41%zz+%4"), b"aA%zz+%4")


class ReplyFormatTest(unittest.TestCase):
    def test_listing_lines_have_eight_nonempty_fields(self):
        file = Node(7, "demo", 0, "无扩展名", False, 3 << 31, "2024-01-01 10:00", 1, 2)
        folder = Node(8, "demo", 0, "a|b", True)
        self.assertEqual(listing_line(file), "无扩展名|2147483647|未知|0|7|2024-01-01 10:00|1|2")
        fields = listing_line(folder).split("|")
        self.assertEqual(fields[:5], ["a_b", "0", "文件夹", "1", "8"])
        self.assertTrue(all(fields) and len(fields) == 8)
        self.assertEqual(listing_line(Node(9, "demo", 0, "report.final.PDF", False, 5)).split("|")[2], "PDF")

    def test_file_list_entries(self):
        fl = "0cc175b9.txt>12>说明 书.txt>C:\\My Files\\|bad|a.txt>-1>a.txt>C:\\|../x>1>x>C:\\|" \
             "b.txt>3>>C:\\|c.bin>x>c.bin>C:\\|d.bin>0>d.bin>D:\\|".encode("gbk")
        self.assertEqual(parse_file_list(fl), [
            {"remote": "0cc175b9.txt", "size": 12, "name": "说明 书.txt", "folder": "C:\\My Files\\"},
            {"remote": "d.bin", "size": 0, "name": "d.bin", "folder": "D:\\"}])

    def test_size_texts(self):
        self.assertEqual([size_text(n) for n in (0, 1023, 1536, 1048575, 1572864, 1 << 30)],
                         ["0B", "1023B", "1.50KB", "1024.00KB", "1.50MB", "1.00GB"])


class RecordTest(unittest.TestCase):
    """The client cuts the settings and branding records with its item rule;
    what the site writes must come back item for item."""

    def test_item_rule(self):
        split = quellix_codec.split_items
        self.assertEqual(split(b"a||b"), [b"a", b"", b"b"])
        self.assertEqual(split(b"x y|z"), [b"x", b"y", b"z"])
        self.assertEqual(split(b"a|"), [b"a", b""])
        self.assertEqual(split(b'"x y"|z'), [b"x y", b"z"])
        self.assertEqual(split(b'"say ""hi"""|z'), [b'say "hi"', b"z"])
        self.assertEqual(split("乇|b".encode("gbk")), ["乇".encode("gbk"), b"b"])  # second byte is "|"
        self.assertEqual(quellix_codec.pick_field(b"abc", 5), b"abc")

    def test_records_round_trip_with_blanks_bars_quotes_and_empty_items(self):
        items = ["Quellix 演示网盘", "", "a|b", '"quoted"', "plain", "up load 2"]
        self.assertEqual(quellix_codec.split_items(record(items)), [i.encode("gbk") for i in items])

    def test_branding_record_items_the_client_reads(self):
        config = SiteConfig(caption="我的 网盘", site_url="http://h/", vendor_url="http://h/vendor/",
                            skin_names=["A", "B"])
        items = quellix_codec.split_items(config.branding_record())
        self.assertEqual(items[0], "我的 网盘".encode("gbk"))
        self.assertEqual(items[2], b"http://h/about.html")
        self.assertEqual(items[5], b"A,B")
        self.assertEqual(items[6], b"http://h/news.html")


if __name__ == "__main__":
    unittest.main()
