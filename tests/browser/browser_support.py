"""What the browser tests share: skipping without Chromium, the browser, waiting, and the real
program's ports and replies."""
import http.client
import json
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from udp_ports import free_udp_port_run  # noqa: E402,F401 (for the tests)

SKIP = 77
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(SKIP)
if not (os.path.exists(CHROMIUM) and os.path.exists(DRIVER)):
    print("skipped: chromium or chromium-driver is not installed")
    sys.exit(SKIP)


def wait_until(what, condition, timeout=30.0):
    """Asks condition until it gives a true value, which it returns; 30 s only catch a hang."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run",
                 "--window-size=1200,900", "--user-data-dir=" + profile):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(DRIVER), options=options)


def severe(driver, expected_statuses=()):
    """The console's errors, but for failed loads answered with one of expected_statuses."""
    expected = tuple("status of %d " % status for status in expected_statuses)
    return [e for e in driver.get_log("browser") if e["level"] == "SEVERE" and
            not (e.get("source") == "network" and any(x in e["message"] for x in expected))]



def announced(stderr):
    """The API port the program announced in its standard error (a file opened w+), or None."""
    stderr.seek(0)
    m = re.search(r"API on http://127\.0\.0\.1:(\d+)/", stderr.read())
    return m and int(m.group(1))


def fill_event_streams(port, most=64):
    """Opens event streams on the API until it refuses one with 503; returns the open ones."""
    held = []
    for _ in range(most):
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        connection.request("GET", "/api/v1/events")
        status = connection.getresponse().status
        if status != 200:
            connection.close()
            assert status == 503, "a stream past the cap is refused with 503, not %d" % status
            return held
        held.append(connection)
    raise AssertionError("%d event streams open and none refused" % most)


def probe_body(probe, port, line):
    """Sends one line to UDP port through the probe; the decoded reply body, or "" without one."""
    out = subprocess.run([probe, "--port", str(port), "--json", line],
                         capture_output=True, text=True, timeout=30)
    return json.loads(out.stdout.splitlines()[0])["body"] if out.returncode == 0 else ""
