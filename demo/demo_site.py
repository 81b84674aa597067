#!/usr/bin/python3
"""The demo web-disk site: the site's scripts and pages, the skin server
and the upload FTP server in one process on 127.0.0.1.

When it is ready it prints one JSON line on standard output, for example
    {"event": "ready", "site_url": "http://127.0.0.1:40123/", "skin_url": ...,
     "http_port": 40123, "ftp_port": 40124, "data_dir": ..., "request_log": ...,
     "accounts": [{"name": "demo", "password": "demo123", ...}, ...]}
and nothing else goes to standard output until it prints
{"event": "stopped"} after SIGINT or SIGTERM. Run with Debian's Python
(/usr/bin/python3), which has pyftpdlib."""

from __future__ import annotations

import argparse
import json
import os
import shutil
import signal
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from quellix_site import ftp, sample  # noqa: E402
from quellix_site.server import RequestLog, Site, SiteServer  # noqa: E402
from quellix_site.siteconfig import SiteConfig  # noqa: E402
from quellix_site.store import Store  # noqa: E402


def parse_arguments(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--http-port", type=int, default=0, help="HTTP port (0: a free one)")
    p.add_argument("--ftp-port", type=int, default=0, help="FTP port (0: a free one)")
    p.add_argument("--data", help="data folder (default: a fresh temporary folder, removed at the end)")
    p.add_argument("--keep-data", action="store_true", help="keep the temporary data folder at the end")
    p.add_argument("--skins-dir", help="folder with NAME.skn and NAME.jpg files (default: DATA/skins)")
    p.add_argument("--skin-names", help="skins offered by the branding record, separated by ','")
    p.add_argument("--site-name", default=SiteConfig.site_name)
    p.add_argument("--caption", default=SiteConfig.caption, help="main window caption in the branding record")
    p.add_argument("--ftp-passive", default="1", help="passive flag of the settings record, as text")
    p.add_argument("--ftp-dir-suffix", default="incoming/", help="folder suffix on the first loadset line")
    p.add_argument("--site-path", default="/", help="address path of the site")
    p.add_argument("--register-path", help="address path of the upload registration (default: the site's)")
    p.add_argument("--vendor-path", default="/vendor/", help="address path of the skin server")
    p.add_argument("--big-file-mib", type=int, default=64, help="size of the large sample file in MiB")
    p.add_argument("--ftp-tls-cert", help="PEM certificate: the FTP server requires explicit TLS with it")
    p.add_argument("--ftp-tls-key", help="PEM private key of --ftp-tls-cert (default: in the same file)")
    p.add_argument("--about-delay", type=float, default=0.0,
                   help="seconds the about page's GET waits before its reply (HEAD answers at once), "
                        "so that the about window's tab view stays on screen for a while")
    p.add_argument("--big-folder", type=int, default=0, metavar="ROWS",
                   help="give the demo account a folder \"大目录\" listing ROWS generated files")
    p.add_argument("--announce-http-port", type=int, default=0, metavar="PORT",
                   help="the port the site names in its own addresses (a proxy in front of it; 0: its own)")
    p.add_argument("--announce-ftp-port", type=int, default=0, metavar="PORT",
                   help="the FTP port the settings record names (a proxy in front of it; 0: its own)")
    p.add_argument("--tree", metavar="FILES,FOLDERS[,MAX_KIB]",
                   help="give the demo account a folder \"目录树\" of FOLDERS nested folders holding FILES files "
                        "of up to MAX_KIB KiB each (64 by default)")
    p.add_argument("--download-rate", type=int, default=0, metavar="BYTES_PER_S",
                   help="send file bodies at most this fast on each connection")
    p.add_argument("--ready-file", help="also write the ready line into this file")
    p.add_argument("--only-from", metavar="ADDRESS",
                   help="refuse HTTP and FTP connections from any other peer address (tests through a proxy)")
    return p.parse_args(argv)


def url_path(path: str) -> str:
    return ("/" + path.strip("/") + "/").replace("//", "/")


def main(argv=None) -> int:
    args = parse_arguments(argv)
    temporary = args.data is None
    data_dir = tempfile.mkdtemp(prefix="quellix-demo-") if temporary else os.path.abspath(args.data)
    os.makedirs(data_dir, exist_ok=True)
    skins_dir = os.path.abspath(args.skins_dir) if args.skins_dir else os.path.join(data_dir, "skins")
    os.makedirs(skins_dir, exist_ok=True)

    store = Store(data_dir, ftp_dir_suffix=args.ftp_dir_suffix)
    if not store.load():
        sample.create(store, args.big_file_mib * 1024 * 1024)

    site_path = url_path(args.site_path)
    register_path = url_path(args.register_path or args.site_path)
    vendor_path = url_path(args.vendor_path)
    if len({site_path, vendor_path}) < 2 or vendor_path == register_path:
        print("the skin server needs an address path of its own", file=sys.stderr)
        return 2

    config = SiteConfig(site_name=args.site_name, caption=args.caption, ftp_passive=args.ftp_passive,
                        skins_dir=skins_dir, about_delay=args.about_delay,
                        skin_names=[s for s in (args.skin_names or "").split(",") if s],
                        download_rate=args.download_rate)
    if args.big_folder > 0:
        owner = sample.ACCOUNTS[0].name
        big = next((n for n in store.children(owner, 0) if n.folder and n.name == sample.BIG_FOLDER_NAME), None)
        big = big or store.add_folder(owner, 0, sample.BIG_FOLDER_NAME)
        store.save()
        config.big_folder_id, config.big_folder_rows = big.id, args.big_folder
    if args.tree:
        try:
            numbers = [int(n) for n in args.tree.split(",")]
            files, folders, max_kib = (numbers + [64])[:3]
        except ValueError:
            print("--tree wants FILES,FOLDERS[,MAX_KIB]", file=sys.stderr)
            return 2
        owner = sample.ACCOUNTS[0].name
        if not any(n.folder and n.name == sample.TREE_FOLDER_NAME for n in store.children(owner, 0)):
            sample.add_tree(store, owner, files, folders, max_kib * 1024)
            store.save()
    request_log = RequestLog(os.path.join(data_dir, "requests.log"))
    ftp_log = ftp.FtpLog(os.path.join(data_dir, "ftp.log"))
    try:
        httpd = SiteServer(("127.0.0.1", args.http_port),
                           Site(store, config, request_log, site_path, register_path, vendor_path),
                           only_from=args.only_from)
        ftpd = ftp.make_server(store, args.ftp_port, ftp_log, os.path.join(data_dir, "ftpd.log"),
                               tls_cert=args.ftp_tls_cert, tls_key=args.ftp_tls_key, only_from=args.only_from)
    except OSError as error:
        print(f"cannot listen on 127.0.0.1: {error.strerror}", file=sys.stderr)
        if temporary:
            shutil.rmtree(data_dir, ignore_errors=True)
        return 1

    http_port = httpd.server_address[1]
    root = f"http://127.0.0.1:{args.announce_http_port or http_port}"
    config.site_url = root + site_path
    config.register_url = root + register_path
    config.vendor_url = root + vendor_path
    config.ftp_port = args.announce_ftp_port or ftpd.address[1]

    stop = threading.Event()
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    server_thread = threading.Thread(target=httpd.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
    server_thread.start()

    ready = {
        "event": "ready",
        "site_url": config.site_url,
        "skin_url": config.vendor_url,
        "register_url": config.register_url,
        "site_name": config.site_name,
        "http_port": http_port,
        "ftp_port": ftpd.address[1],
        "announced_ftp_port": config.ftp_port,
        "ftp_dir": store.ftp_dir,
        "ftp_tls": bool(args.ftp_tls_cert),
        "data_dir": data_dir,
        "request_log": request_log.path,
        "ftp_log": ftp_log.path,
        "skins_dir": skins_dir,
        "pid": os.getpid(),
        "accounts": [{"name": a.name, "password": a.password, "debug": a.debug,
                      "ftp_user": a.ftp_user, "ftp_password": a.ftp_password} for a in store.accounts.values()],
    }
    line = json.dumps(ready, ensure_ascii=False)
    if args.ready_file:
        partial = args.ready_file + ".tmp"
        with open(partial, "w", encoding="utf-8") as f:
            f.write(line + "\n")
        os.replace(partial, args.ready_file)
    say(line)

    while not stop.is_set():
        ftpd.ioloop.loop(0.2, blocking=False)

    httpd.shutdown()
    httpd.server_close()
    ftpd.close_all()
    if temporary and not args.keep_data:
        shutil.rmtree(data_dir, ignore_errors=True)
    say(json.dumps({"event": "stopped"}))
    return 0


def say(line: str) -> None:
    try:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()
    except OSError:
        pass  # whoever started us stopped listening; the site runs on


if __name__ == "__main__":
    sys.exit(main())
