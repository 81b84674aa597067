"""What the site tells the client about itself: the addresses it serves,
the FTP account of the upload server and the branding record."""

from __future__ import annotations

import base64
import os
import sys
from dataclasses import dataclass, field

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import quellix_codec  # noqa: E402  (lives beside this package)

DEFAULT_SKINS = ["Laconic", "Jade", "Amber", "Midnight"]


@dataclass
class SiteConfig:
    site_name: str = "Quellix 演示网盘"
    caption: str = "Quellix 演示网盘 - 文件上传下载客户端"
    site_url: str = ""            # base address of the site, ending in "/"
    register_url: str = ""        # RegisterSiteUrl: base of client_sub.php, ending in "/"
    vendor_url: str = ""          # VendorHomeUrl: base of the skin server, ending in "/"
    ftp_host: str = "127.0.0.1"
    ftp_port: int = 0
    ftp_passive: str = "1"
    skins_dir: str = ""
    skin_names: list[str] = field(default_factory=list)
    about_delay: float = 0.0      # seconds the about page's GET waits before its reply
    # A folder of generated file rows (--big-folder): its id and row count.
    big_folder_id: int = 0
    big_folder_rows: int = 0
    # Bytes per second each connection may carry of a file's body (0: no
    # limit), as servers that cap their connections do.
    download_rate: int = 0

    @property
    def about_url(self) -> str:
        return self.site_url + "about.html"

    @property
    def news_url(self) -> str:
        return self.site_url + "news.html"

    def offered_skins(self) -> list[str]:
        """The names given by option; else the packages in the skins folder;
        else a fixed list (whose packages the skins folder should supply)."""
        if self.skin_names:
            return self.skin_names
        found = []
        if self.skins_dir and os.path.isdir(self.skins_dir):
            found = sorted(name[:-4] for name in os.listdir(self.skins_dir) if name.endswith(".skn"))
        return found or DEFAULT_SKINS

    def branding_record(self) -> bytes:
        """caption|home|about page|support|version|skins|news page; the client
        reads items 0, 2, 5 and 6."""
        items = [self.caption, self.site_url, self.about_url, self.vendor_url, "2.2",
                 ",".join(self.offered_skins()), self.news_url]
        return record(items)

    def settings_text(self, ftp_user: str, ftp_password: str, ftp_base_dir: str) -> bytes:
        """FtpHost|FtpUser|FtpPassword|FtpPort|base folder|FtpPassive|Base64(branding)."""
        branding = base64.b64encode(self.branding_record()).decode("ascii")
        return record([self.ftp_host, ftp_user, ftp_password, str(self.ftp_port), ftp_base_dir,
                       self.ftp_passive, branding])


def record(items: list[str]) -> bytes:
    """A "|" record of GBK items, each quoted when the client's item rule
    would otherwise cut it (blanks, "|", a leading quote, emptiness)."""
    return b"|".join(quellix_codec.quote_item(item.encode("gbk")) for item in items)


def settings_frame(text: bytes) -> bytes:
    return quellix_codec.encode("server", text)
