#!/usr/bin/python3
"""The dashboard over a real fleet of three units in a real headless Chromium, on 127.0.0.1.

Usage: dashboard_real_fleet_test.py VEXA_SIM_HEADLESS VEXA_PROBE
Exits 0 on success, 1 on a failure, 77 (skipped) when Chromium, its driver or Selenium is absent.
"""
import json
import os
import re
import socket
import subprocess
import sys
import tempfile

from browser_support import By, browser, severe, wait_until

UNITS = 3


def free_port_run():
    """The first of UNITS free UDP ports in a row, in this test's own range."""
    for base in range(5540, 5580 - UNITS):
        sockets = []
        try:
            for port in range(base, base + UNITS):
                s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                sockets.append(s)
                s.bind(("0.0.0.0", port))
            return base
        except OSError:
            continue
        finally:
            for s in sockets:
                s.close()
    raise RuntimeError("no %d free UDP ports in a row in 5540..5579" % UNITS)


def main():
    sim_path, probe_path = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="vexa-browser-fleet-") as workdir:
        base = free_port_run()
        stderr = open(os.path.join(workdir, "stderr.txt"), "w+")
        process = subprocess.Popen(
            [sim_path, "--state-dir", workdir, "--units", str(UNITS), "--port-base", str(base),
             "--api", "0"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)

        def announced():
            stderr.seek(0)
            m = re.search(r"API on http://127\.0\.0\.1:(\d+)/", stderr.read())
            return m and int(m.group(1))

        def body(number, line):
            out = subprocess.run([probe_path, "--port", str(base + number - 1), "--json", line],
                                 capture_output=True, text=True, timeout=5)
            return json.loads(out.stdout.splitlines()[0])["body"] if out.returncode == 0 else ""

        driver = None
        try:
            api_port = wait_until("the API", announced, 10)
            driver = browser(os.path.join(workdir, "profile"))
            driver.set_page_load_timeout(20)
            driver.get("http://127.0.0.1:%d/" % api_port)
            wait_until("every unit's card",
                       lambda: len(driver.find_elements(By.CSS_SELECTOR, ".card")) == UNITS)
            for number in range(1, UNITS + 1):
                card = driver.find_element(By.CSS_SELECTOR, '.card[data-unit="%d"]' % number)
                assert str(base + number - 1) in card.text, "unit %d shows its port" % number

            # A click on LED 0 of unit 2 reaches unit 2 alone.
            two = driver.find_element(By.CSS_SELECTOR, '.card[data-unit="2"]')
            two.find_elements(By.CSS_SELECTOR, "button.led")[0].click()
            wait_until("presença in unit 2's snd", lambda: ",1,1,1,0,0," in body(2, "snd000"), 5)
            assert ",1,1,1,0,0," not in body(1, "snd000"), "unit 1 unchanged"
            one = driver.find_element(By.CSS_SELECTOR, '.card[data-unit="1"]')
            assert "on" not in one.find_elements(By.CSS_SELECTOR, "button.led")[0].get_attribute("class")

            errors = severe(driver)
            assert not errors, "console errors: %r" % errors
            print("dashboard over a real fleet passed")
            return 0
        except AssertionError as failure:
            print("FAILED:", failure)
            stderr.seek(0)
            print("program:", stderr.read())
            return 1
        finally:
            if driver:
                driver.quit()
            if process.poll() is None:
                process.terminate()
                process.wait(10)


if __name__ == "__main__":
    sys.exit(main())
