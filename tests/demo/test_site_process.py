"""The demo site as a process: its ready line, ports, data folder and stop."""

import json
import os
import signal
import socket
import tempfile
import unittest

from sitetest import RunningSite


class ProcessTest(unittest.TestCase):
    def test_sigint_stops_cleanly_and_removes_the_temporary_data_folder(self):
        site = RunningSite("--big-file-mib", "1", own_data=False)
        self.assertTrue(os.path.isdir(site.data_dir))
        self.assertEqual(site.stop(signal.SIGINT), 0)
        self.assertEqual(site.last_output.splitlines()[-1], '{"event": "stopped"}')
        self.assertFalse(os.path.exists(site.data_dir))

    def test_given_ports_ready_file_and_a_data_folder_that_is_reused(self):
        with tempfile.TemporaryDirectory() as folder:
            ports = []
            for _ in range(2):
                with socket.socket() as s:
                    s.bind(("127.0.0.1", 0))
                    ports.append(s.getsockname()[1])
            ready_file = os.path.join(folder, "ready.json")
            data_dir = os.path.join(folder, "data")
            site = RunningSite("--big-file-mib", "1", "--http-port", str(ports[0]), "--ftp-port", str(ports[1]),
                               "--ready-file", ready_file, data_dir=data_dir)
            try:
                self.assertEqual((site.http_port, site.ftp_port), tuple(ports))
                self.assertEqual(site.site_url, f"http://127.0.0.1:{ports[0]}/")
                with open(ready_file, encoding="utf-8") as f:
                    self.assertEqual(json.load(f), site.info)
                self.assertEqual(sorted(site.accounts), ["demo", "张三"])
                user, token = site.session("demo")
                listing = site.listing(user, token, 0)
                for name in ("state.json", "requests.log", "ftp.log"):
                    self.assertTrue(os.path.isfile(os.path.join(data_dir, name)), name)
                self.assertTrue(os.path.isdir(os.path.join(data_dir, "disk", "demo", "文档", "报告")))
                self.assertTrue(os.path.isdir(os.path.join(data_dir, "ftp", "qx_demo", "files", "incoming")))
            finally:
                self.assertEqual(site.stop(), 0)

            again = RunningSite("--big-file-mib", "1", data_dir=data_dir)
            try:
                self.assertEqual(again.listing(user, token, 0), listing)
            finally:
                self.assertEqual(again.stop(), 0)
            self.assertTrue(os.path.isdir(data_dir))

    def test_a_port_in_use_is_reported_and_nothing_is_left_running(self):
        with socket.socket() as busy:
            busy.bind(("127.0.0.1", 0))
            busy.listen()
            with self.assertRaises(AssertionError) as caught:
                RunningSite("--big-file-mib", "1", "--http-port", str(busy.getsockname()[1]))
            self.assertIn("Address already in use", str(caught.exception))


    def test_a_generated_tree_and_a_capped_download_rate(self):
        site = RunningSite("--big-file-mib", "1", "--tree", "12,3,8", "--download-rate", "200000")
        try:
            user, token = site.session("demo")
            _, root = site.listing(user, token, 0)
            tree = next(row for row in root if row[0] == "目录树".encode("gbk"))
            files, folders, pending = [], 0, [int(tree[4])]
            while pending:
                _, rows = site.listing(user, token, pending.pop())
                for row in rows:
                    if row[3] == b"1":
                        folders += 1
                        pending.append(int(row[4]))
                    else:
                        files.append(row)
            self.assertEqual((len(files), folders), (12, 3))
            self.assertTrue(all(int(f[1]) <= 8 * 1024 for f in files))
            # A capped body still arrives whole.
            biggest = max(files, key=lambda f: int(f[1]))
            status, _, body = site.request("GET", site.download_path(int(biggest[4]), user, token))
            self.assertEqual((status, len(body)), (200, int(biggest[1])))
        finally:
            self.assertEqual(site.stop(), 0)


if __name__ == "__main__":
    unittest.main()
