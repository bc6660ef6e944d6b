#!/usr/bin/python3
"""The board's first paint and its data in a real browser (headless
Chromium) with 1,000,000 chip rows in an SQLite database: bench_board_bench
--fill makes the rows (8 stations of 8 programmers, one chip every GAP
seconds up to now), ostrel-line serves them, and the page is loaded afresh
five times. Prints the median of: the first contentful paint, the page with its
scripts loaded, the moment the
page has drawn every table and chart ("board-drawn"), and when each data
request of the first drawing began and ended, as the browser saw it.

    bench/board_paint.py --line build/bin/ostrel-line \\
        --bench build/bench/bench_board_bench [--gap 4.32]
"""

import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

TIMING = """
const paint = performance.getEntriesByName('first-contentful-paint')[0];
const drawn = performance.getEntriesByName('board-drawn')[0];
const requests = {};
for (const e of performance.getEntriesByType('resource'))
  if (e.name.includes('/api/v1/board/') && !(new URL(e.name).pathname + new URL(e.name).search in requests))
    requests[new URL(e.name).pathname + new URL(e.name).search] = [e.startTime, e.responseEnd];
const page = performance.getEntriesByType('navigation')[0];
return {paint: paint ? paint.startTime : null, drawn: drawn ? drawn.startTime : null, requests,
        loaded: page.domContentLoadedEventEnd};
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--line", required=True)
    parser.add_argument("--bench", required=True)
    parser.add_argument("--gap", default="4.32")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="ostrel-paint-")
    server = driver = None
    try:
        db = "sqlite:" + os.path.join(work, "line.db")
        started = time.monotonic()
        subprocess.run([args.bench, "--fill", db, args.gap], check=True)
        print("1,000,000 rows in %.0f s" % (time.monotonic() - started))
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        server = subprocess.Popen([args.line, "--db", db, "--listen", "127.0.0.1:%d" % port],
                                  stderr=subprocess.DEVNULL)
        base = "http://127.0.0.1:%d/" % port
        for _ in range(100):
            try:
                urllib.request.urlopen(base, timeout=1)
                break
            except OSError:
                time.sleep(0.1)
        options = webdriver.ChromeOptions()
        for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                  "--window-size=1366,768"):
            options.add_argument(a)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        runs = []
        for _ in range(5):
            driver.get(base + "?lang=en")
            for _ in range(300):
                figures = driver.execute_script(TIMING)
                if figures["drawn"] is not None:
                    break
                time.sleep(0.05)
            runs.append(figures)
        median = lambda values: statistics.median(v for v in values if v is not None)
        print("first contentful paint   %7.0f ms" % median(r["paint"] for r in runs))
        print("page and scripts loaded  %7.0f ms" % median(r["loaded"] for r in runs))
        print("every table drawn        %7.0f ms" % median(r["drawn"] for r in runs))
        for path in sorted(runs[-1]["requests"]):
            print("%-40s %7.0f to %5.0f ms" % (
                path, median(r["requests"].get(path, [None])[0] for r in runs),
                median(r["requests"].get(path, [None, None])[1] for r in runs)))
        return 0
    finally:
        if driver is not None:
            driver.quit()
        if server is not None:
            server.terminate()
            server.wait(10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
