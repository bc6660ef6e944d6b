#!/usr/bin/python3
"""The line's board in a real browser (headless Chromium through
chromedriver), against an ostrel-line started here on SQLite, with two
stations posting through the station interface:

- the tiles appear for both stations, the silent one unreachable;
- a chip programmed (started and its outcome posted) and a heartbeat change
  the tile and the counts within seconds, without the page reloading;
- both charts are drawn: their canvases hold the bars' colours;
- a search by serial number finds the chip's rows;
- the page in English, Simplified and Traditional Chinese, by the address
  and by the switch on the page;
- beyond the loopback the page asks for a viewer token and sends it as a
  header, never in an address;
- with the server gone, the page says its numbers are old and since when.

Fails, never skips, when the server or the browser cannot start. With
--shots DIR it keeps screenshots of the page (1366x768 and a phone) in each
language there.
"""

import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.error
import urllib.request

RESULTS = []


def check(name, condition, detail=""):
    RESULTS.append((name, bool(condition), detail))
    print(("ok    " if condition else "FAIL  ") + name + ("" if condition else ": " + str(detail)),
          flush=True)
    return condition


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Station:
    """A station on the line server, through the station interface."""

    def __init__(self, base, token):
        self.base = base
        self.token = token

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method)
        request.add_header("Authorization", "Bearer " + self.token)
        if data is not None:
            request.add_header("Content-Type", "application/json")
        try:
            with urllib.request.urlopen(request, timeout=10) as answer:
                text = answer.read().decode()
                return json.loads(text) if text else {}
        except urllib.error.HTTPError as e:
            raise RuntimeError("%s %s: %d %s" % (method, path, e.code, e.read().decode()))

    def heartbeat(self, programmers, lease_left, waiting=0):
        self.call("POST", "/api/v1/heartbeat",
                  {"programmers": programmers, "lease_left": lease_left, "waiting": waiting})

    def chip(self, programmer, product, result, cause=""):
        started = self.call("POST", "/api/v1/chips", {
            "time": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime()), "programmer": programmer,
            "chip": "SPI_FLASH,Winbond,W25Q64JV", "chip_id": "EF4017", "command": "auto",
            "product": product})
        self.call("POST", "/api/v1/chips/%s/outcome" % started["id"], {
            "result": result, "cause": cause, "message": "" if result == "done" else "it failed",
            "bytes": 8388608, "crc32": "1234abcd", "seconds": 3.5})
        return started.get("serial")


def start_browser():
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--hide-scrollbars", "--window-size=1366,768"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


# Generous: the page answers within a second, but a machine shared by
# several builds may hold the browser back for seconds.
def wait_for(what, timeout=5.0):
    """`what()` until it is true or `timeout` passed; its last value."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = what()
        except Exception:  # the page is between two drawings
            value = None
        if value or time.monotonic() > end:
            return value
        time.sleep(0.1)


def text_of(driver, css):
    return driver.execute_script(
        "const e = document.querySelector(arguments[0]); return e ? e.textContent : null;", css)


# Counts the pixels of a canvas near a colour (the charts draw without
# smoothing of their fill colours).
COLOUR_PIXELS = """
const canvas = document.getElementById(arguments[0]);
if (!canvas || !canvas.width) return -1;
const [r, g, b] = arguments[1];
const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
let n = 0;
for (let i = 0; i < data.length; i += 4)
  if (data[i + 3] > 200 && Math.abs(data[i] - r) < 12 && Math.abs(data[i + 1] - g) < 12 &&
      Math.abs(data[i + 2] - b) < 12) n++;
return n;
"""

TITLES = {"en": "Line board", "zh-Hans": "产线看板", "zh-Hant": "產線看板"}
IDLE = {"en": "idle", "zh-Hans": "空闲", "zh-Hant": "閒置"}


def run(args, work):
    db = "sqlite:" + os.path.join(work, "line.db")
    image = os.path.join(work, "fw.bin")
    with open(image, "wb") as f:
        f.write(bytes(range(256)) * 16)
    subprocess.run([args.cli, "--db", db, "product", "add", "router", "-c", "W25Q64JV", "--image",
                    image, "--serial", "0x10:4:1000"], check=True, capture_output=True)
    tokens = {}
    for name in ("bench-01", "bench-02"):
        out = subprocess.run([args.line, "--db", db, "station", "add", name], check=True,
                             capture_output=True, text=True).stdout
        tokens[name] = out.split()[-1]
    port = free_port()
    base = "http://127.0.0.1:%d" % port
    log = open(os.path.join(work, "server.log"), "w")
    server = subprocess.Popen([args.line, "--db", db, "--listen", "127.0.0.1:%d" % port],
                              stdout=log, stderr=subprocess.STDOUT)
    driver = None
    try:
        up = wait_for(lambda: urllib.request.urlopen(base + "/", timeout=1).status == 200, 15)
        if not check("the server answers", up, open(log.name).read()[-500:]):
            return
        one = Station(base, tokens["bench-01"])
        two = Station(base, tokens["bench-02"])
        one.call("POST", "/api/v1/programmers", {"programmer": "OST000000011"})
        one.call("POST", "/api/v1/programmers", {"programmer": "OST000000012"})
        two.call("POST", "/api/v1/programmers", {"programmer": "OST000000021"})
        first = one.chip("OST000000011", "router", "done")
        idle = [{"serial": "OST000000011", "state": "idle", "progress": 0, "last_result": "done",
                 "last_serial": first},
                {"serial": "OST000000012", "state": "idle", "progress": 0, "last_result": "",
                 "last_serial": None}]
        one.heartbeat(idle, 19)

        try:
            driver = start_browser()
        except Exception as e:
            check("chromium starts", False, e)
            return
        driver.get(base + "/?lang=en")
        tiles = wait_for(lambda: driver.execute_script(
            "return [...document.querySelectorAll('.station')].map(e => e.dataset.station + ':' +"
            " e.dataset.reachable)"), 10)
        check("a tile per station, the silent one unreachable",
              tiles == ["bench-01:true", "bench-02:false"], tiles)
        check("the silent station says since when",
              "not heard from since the server started" in
              (text_of(driver, '[data-station="bench-02"] .station-state') or ""),
              text_of(driver, '[data-station="bench-02"]'))
        check("the counts", wait_for(lambda: text_of(driver, "#count-today") == "1"),
              text_of(driver, "#counts"))
        check("the live stream is open",
              wait_for(lambda: driver.find_element("id", "live").get_attribute("data-state") ==
                       "live"), text_of(driver, "#live"))

        # A chip fails on the second programmer while the first programs.
        driver.execute_script("window.notReloaded = true;")
        busy = [dict(idle[0], state="programming", progress=60), idle[1]]
        one.heartbeat(busy, 17, 1)
        one.chip("OST000000012", "router", "failed", "time_out")
        started = time.monotonic()
        changed = wait_for(lambda: text_of(driver, "#count-today") == "2" and
                           text_of(driver, "#count-failed") == "1" and "programming 60%" in
                           text_of(driver, '[data-programmer="OST000000011"]'), 5)
        check("a chip and a heartbeat change the tiles and counts without a reload",
              changed and driver.execute_script("return window.notReloaded === true;"),
              text_of(driver, "#stations") + " / " + text_of(driver, "#counts"))
        if changed:
            print("      (shown %.2f s after the outcome)" % (time.monotonic() - started))
        last = text_of(driver, '[data-programmer="OST000000012"] .last') or ""
        check("the tile shows the last outcome and its cause",
              "failed" in last and "time-out" in last, last)
        check("the station's lease and journal",
              text_of(driver, '[data-station="bench-01"] .lease-left') == "Lease left: 17" and
              text_of(driver, '[data-station="bench-01"] .waiting') == "Waiting in journal: 1",
              text_of(driver, '[data-station="bench-01"] .station-facts'))

        # The charts: the first product's bars are blue, the causes' red.
        bars = wait_for(lambda: driver.execute_script(COLOUR_PIXELS, "hourly-chart", [29, 95, 191]) > 50)
        check("the hourly chart is drawn", bars,
              driver.execute_script(COLOUR_PIXELS, "hourly-chart", [29, 95, 191]))
        causes = wait_for(lambda: driver.execute_script(COLOUR_PIXELS, "causes-chart", [180, 35, 24]) > 50)
        check("the causes chart is drawn", causes,
              driver.execute_script(COLOUR_PIXELS, "causes-chart", [180, 35, 24]))

        # A search by the first chip's serial number.
        field = driver.find_element("id", "serial")
        field.clear()
        field.send_keys(str(first))
        driver.find_element("css selector", "#search button").click()
        found = wait_for(lambda: driver.execute_script(
            "return [...document.querySelectorAll('#chip tbody tr')].map(r => r.textContent)"), 5)
        check("a search by serial number finds its chip",
              found and len(found) == 1 and str(first) in found[0] and "bench-01" in found[0]
              and "passed" in found[0], found)

        # The three languages: by the address, then by the switch.
        for language, title in TITLES.items():
            driver.get(base + "/?lang=" + language)
            shown = wait_for(lambda: text_of(driver, "h1") == title and
                             IDLE[language] in (text_of(driver, '[data-programmer="OST000000012"]') or "")
                             and text_of(driver, "#count-today") == "2", 20)
            empty = driver.execute_script(
                "return [...document.querySelectorAll('[data-t]')].filter(e => !e.textContent.trim())"
                ".map(e => e.dataset.t)")
            check("the page in " + language, shown and not empty and
                  driver.execute_script("return document.documentElement.lang") == language,
                  (text_of(driver, "h1"), empty, text_of(driver, "#count-today"),
                   text_of(driver, '[data-programmer="OST000000012"]')))
            if args.shots:
                shoot(driver, base, language, args.shots)
        driver.get(base + "/?lang=en")
        wait_for(lambda: text_of(driver, "h1") == "Line board", 15)
        from selenium.webdriver.support.ui import Select
        Select(driver.find_element("id", "language")).select_by_value("zh-Hant")
        check("the switch changes the language in place",
              wait_for(lambda: text_of(driver, "h1") == "產線看板" and
                       "閒置" in text_of(driver, "#stations"), 15), text_of(driver, "h1"))

        errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        check("no script errors in the browser", not errors, errors)

        viewer_token(args, db, driver)

        # The server goes away: the page says its numbers are old, and since when.
        Select(driver.find_element("id", "language")).select_by_value("en")
        server.terminate()
        server.wait(10)
        lost = wait_for(lambda: driver.find_element("id", "live").get_attribute("data-state") ==
                        "lost" and "Request failed since" in text_of(driver, "#stations-failure")
                        and driver.execute_script(
                            "return document.getElementById('stations-panel').classList"
                            ".contains('stale') && !document.getElementById('stations-failure')"
                            ".hidden"), 10)
        check("a server gone shows that the data is old and since when", lost,
              (text_of(driver, "#live"), text_of(driver, "#stations-failure")))
    finally:
        if driver is not None:
            driver.quit()
        if server.poll() is None:
            server.terminate()
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()
        log.close()


def viewer_token(args, db, driver):
    """A second server listening beyond the loopback: the page and its
    scripts come without a token, the tables need a viewer's, which the page
    asks for once and sends as a header, never in an address."""
    token = subprocess.run([args.line, "--db", db, "viewer", "add", "floor"], check=True,
                           capture_output=True, text=True).stdout.split()[-1]
    port = free_port()
    base = "http://127.0.0.1:%d" % port
    wide = subprocess.Popen([args.line, "--db", db, "--listen", "0.0.0.0:%d" % port],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        up = wait_for(lambda: urllib.request.urlopen(base + "/", timeout=1).status == 200, 15)
        check("beyond the loopback the page comes without a token", up)
        try:
            urllib.request.urlopen(base + "/api/v1/board/stations", timeout=5)
            check("beyond the loopback a table needs a token", False, "answered without one")
        except urllib.error.HTTPError as e:
            check("beyond the loopback a table needs a token", e.code == 401, e.code)
        driver.get(base + "/?lang=en")
        from selenium.webdriver.support.ui import WebDriverWait
        from selenium.webdriver.support import expected_conditions
        alert = WebDriverWait(driver, 10).until(expected_conditions.alert_is_present())
        asked = alert.text
        alert.send_keys(token)
        alert.accept()
        try:
            WebDriverWait(driver, 2).until(expected_conditions.alert_is_present())
            again = driver.switch_to.alert.text
            driver.switch_to.alert.dismiss()
        except Exception:
            again = None
        check("the page asks once", again is None, again)
        shown = wait_for(lambda: driver.execute_script(
            "return document.querySelectorAll('.station').length") == 2 and
            driver.find_element("id", "live").get_attribute("data-state") == "live", 10)
        where = driver.execute_script(
            "return location.href + performance.getEntriesByType('resource').map(e => e.name).join()"
            " + document.documentElement.outerHTML")
        check("the page asks for a viewer token and shows the line with it",
              "viewer token" in asked and shown and token not in where,
              (asked, shown, token in where))
    finally:
        wide.terminate()
        wide.wait(10)


def shoot(driver, base, language, folder):
    """1366x768 and a phone, in `language`."""
    os.makedirs(folder, exist_ok=True)
    driver.set_window_size(1366, 768)
    driver.save_screenshot(os.path.join(folder, "board-%s-1366x768.png" % language))
    # A phone: the page at 390 CSS pixels wide, the whole length of it.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 390, "height": 844, "deviceScaleFactor": 2, "mobile": True})
    time.sleep(0.5)
    height = driver.execute_script("return document.documentElement.scrollHeight")
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 390, "height": height, "deviceScaleFactor": 2, "mobile": True})
    time.sleep(0.5)
    driver.save_screenshot(os.path.join(folder, "board-%s-phone.png" % language))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--line", required=True, help="the ostrel-line program")
    parser.add_argument("--cli", required=True, help="the ostrel-cli program")
    parser.add_argument("--shots", help="keep screenshots in this folder")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="ostrel-board-")
    try:
        run(args, work)
    except Exception:
        check("the test ran to its end", False, traceback.format_exc())
    finally:
        shutil.rmtree(work, ignore_errors=True)
    failed = sum(1 for _, ok, _ in RESULTS if not ok)
    print("%d passed, %d failed" % (len(RESULTS) - failed, failed))
    return 1 if failed or not RESULTS else 0


if __name__ == "__main__":
    sys.exit(main())
