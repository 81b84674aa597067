"""The demo web-disk site: an HTTP server with the site's scripts and pages,
the skin server, and an FTP server for uploads, all in one process."""
