#!/usr/bin/env python3
"""Measures what the transfer limits bound, against a hostile archive on loopback.

  caps     the peak RSS of varnook-batch downloading ARTICLES oversized articles
           (300 MB each by default) with --max-transfers ARTICLES;
  trickle  how long a transfer lasts whose server sends one byte every INTERVAL seconds,
           with --transfer-timeout DEADLINE.

Usage: scripts/measure-transfer-limits.py VARNOOK_BATCH [caps|trickle|both]
           [--articles N] [--article-mb MB] [--interval S] [--deadline S]
Every run is bounded: the server stops after the program ends, and each program run has
a time limit. Use a build without sanitizers for memory figures.
"""
import argparse
import http.server
import os
import resource
import subprocess
import sys
import tempfile
import threading
import time

CHUNK = 1 << 20


class Archive(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, articles, article_bytes, interval):
        super().__init__(("127.0.0.1", 0), Handler)
        self.articles = articles
        self.article_bytes = article_bytes
        self.interval = interval  # 0: articles are sent at full speed
        self.stopping = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        if "dnquery.xp" in self.path:
            host = "127.0.0.1:%d" % server.server_address[1]
            entries = "".join(
                '<a href="http://%s/[ST_rn=ps]/getdoc.xp?AN=%d">Subject %d</a>'
                "<br><b>Date</b>: 1999/04/05<br><b>Author</b>: a%d<p>\n" % (host, n, n, n)
                for n in range(1, server.articles + 1))
            body = ("<html>%d matches</font>\n%s</html>\n" % (server.articles, entries)).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif "getdoc.xp" in self.path:
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(server.article_bytes))
            self.end_headers()
            head = b"From: a@example.com\nSubject: big\n\n"
            try:
                self.wfile.write(head)
                sent = len(head)
                if server.interval > 0:
                    while sent < server.article_bytes and not server.stopping.wait(server.interval):
                        self.wfile.write(b"x")
                        self.wfile.flush()
                        sent += 1
                else:
                    line = b"x" * 99 + b"\n"
                    chunk = line * (CHUNK // len(line))
                    while sent < server.article_bytes and not server.stopping.is_set():
                        self.wfile.write(chunk)
                        sent += len(chunk)
            except (BrokenPipeError, ConnectionResetError):
                pass
        else:
            self.send_error(404)


def run_batch(batch, archive, extra, limit_s):
    port = archive.server_address[1]
    with tempfile.TemporaryDirectory() as folder:
        env = {"PATH": "/usr/bin:/bin", "HOME": folder, "XDG_CACHE_HOME": folder + "/cache",
               "XDG_CONFIG_HOME": folder + "/config"}
        options = os.path.join(folder, "options")
        open(options, "w").close()
        args = [batch, "--options", options, "--no-update-check", "--service",
                "127.0.0.1:%d" % port, "--domain", "localhost:%d" % port, "--hosts", "www",
                "--first-server", "--send", "--download", "-o",
                os.path.join(folder, "out.vnk")] + extra + ["modem"]
        start = time.monotonic()
        done = subprocess.run(args, env=env, capture_output=True, text=True, timeout=limit_s)
        elapsed = time.monotonic() - start
    return done, elapsed


def serve(articles, article_bytes, interval):
    archive = Archive(articles, article_bytes, interval)
    threading.Thread(target=archive.serve_forever, daemon=True).start()
    return archive


def stop(archive):
    archive.stopping.set()
    archive.shutdown()
    archive.server_close()


def measure_caps(batch, articles, article_mb):
    archive = serve(articles, article_mb << 20, 0)
    try:
        done, elapsed = run_batch(batch, archive, ["--max-transfers", str(articles)], 600)
    finally:
        stop(archive)
    peak_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    too_large = done.stderr.count("Document too large")
    print("caps: %d articles of %d MB, --max-transfers %d: peak RSS %.0f MB, %.1f s, "
          "exit %d, %d failed with \"Document too large\""
          % (articles, article_mb, articles, peak_mb, elapsed, done.returncode, too_large))


def measure_trickle(batch, interval, deadline):
    archive = serve(1, 1000, interval)
    try:
        done, elapsed = run_batch(batch, archive, ["--transfer-timeout", str(deadline)],
                                  deadline * 3 + 120)
    finally:
        stop(archive)
    reason = [line for line in done.stderr.splitlines() if " failed: " in line]
    print("trickle: a byte every %g s, --transfer-timeout %d: run took %.1f s, exit %d; %s"
          % (interval, deadline, elapsed, done.returncode, reason[0] if reason else "no failure"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("batch")
    parser.add_argument("what", nargs="?", default="both", choices=["caps", "trickle", "both"])
    parser.add_argument("--articles", type=int, default=10)
    parser.add_argument("--article-mb", type=int, default=300)
    parser.add_argument("--interval", type=float, default=0.5)
    parser.add_argument("--deadline", type=int, default=3)
    args = parser.parse_args()
    if args.what in ("caps", "both"):
        measure_caps(args.batch, args.articles, args.article_mb)
    if args.what in ("trickle", "both"):
        measure_trickle(args.batch, args.interval, args.deadline)


if __name__ == "__main__":
    sys.exit(main())
