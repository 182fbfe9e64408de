#!/usr/bin/python3
"""The dashboard in a real headless Chromium, against the real program over 127.0.0.1.

Usage: dashboard_test.py VEXA_SIM VEXA_PROBE [SCREENSHOT_DIR]
Exits 0 on success, 1 on a failure, 77 (skipped) when Chromium, its driver or Selenium is absent.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from browser_support import (By, announced, browser, free_udp_port_run, probe_body, severe,
                             wait_until)


class Simulator:
    """The real program, headless, in a directory of its own, with its API on a free port."""

    def __init__(self, executable, probe, workdir):
        self.probe = probe
        self.udp_port = free_udp_port_run(5500, 5539, 1)
        program = os.path.join(workdir, "vexa-sim")
        shutil.copy(executable, program)
        self.stderr = open(os.path.join(workdir, "stderr.txt"), "w+")
        self.process = subprocess.Popen(
            [program, "--headless", "--port", str(self.udp_port), "--api", "0"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.stderr,
            env=dict(os.environ, XDG_RUNTIME_DIR=workdir))
        self.api_port = wait_until("the API", lambda: announced(self.stderr))

    def request(self, line):
        """Sends one line over UDP through the probe; returns the decoded reply body."""
        return probe_body(self.probe, self.udp_port, line)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


def main():
    sim_path, probe_path = sys.argv[1], sys.argv[2]
    shots = sys.argv[3] if len(sys.argv) > 3 else None
    with tempfile.TemporaryDirectory(prefix="vexa-browser-") as workdir:
        sim = Simulator(sim_path, probe_path, workdir)
        driver = None
        try:
            driver = browser(os.path.join(workdir, "profile"))
            driver.set_page_load_timeout(20)
            base = "http://127.0.0.1:%d/" % sim.api_port

            # The grid shows the unit, its LEDs as the unit holds them ("rede" on).
            driver.get(base)
            card = wait_until("the unit's card",
                              lambda: driver.find_elements(By.CSS_SELECTOR, '.card[data-unit="1"]'))[0]
            leds = card.find_elements(By.CSS_SELECTOR, "button.led")
            assert len(leds) == 8, "eight LEDs on the card"
            wait_until("LED 2 lit", lambda: "on" in leds[2].get_attribute("class"))
            assert "on" not in leds[0].get_attribute("class")
            assert leds[1].get_attribute("disabled") is not None, "the reset input is not clickable"
            assert str(sim.udp_port) in card.text

            # A click on LED 0 ("presença") shows on the card and in the next snd measurement.
            leds[0].click()
            wait_until("LED 0 lit", lambda: "on" in leds[0].get_attribute("class"))
            wait_until("presença in snd", lambda: ",1,1,1,0,0," in sim.request("snd000"))

            # The filter hides what does not match.
            box = driver.find_element(By.ID, "filter")
            box.send_keys("no-such-unit")
            wait_until("card hidden", lambda: not card.is_displayed())
            box.clear()
            box.send_keys(" ")
            wait_until("card shown", lambda: card.is_displayed())
            if shots:
                sim.request("snd000")
                time.sleep(0.3)
                driver.save_screenshot(os.path.join(shots, "dashboard-fleet.png"))

            # The unit's page shows a wPr sent over UDP: configuration and traffic box.
            card.find_element(By.CSS_SELECTOR, ".title a").click()
            wait_until("the unit page", lambda: driver.find_element(By.ID, "stIP").get_attribute("value"))
            line = "wPr000,010,020,030,040,255,255,000,000,010,020,030,001"
            assert sim.request(line).startswith("WPR,000,10.20.30.40,")
            wait_until("the new IP", lambda: driver.find_element(By.ID, "stIP").get_attribute("value") == "10.20.30.40")
            wait_until("the new gateway", lambda: driver.find_element(By.ID, "stGW").get_attribute("value") == "10.20.30.1")
            wait_until("the request box", lambda: line in driver.find_element(By.ID, "stRx1").get_attribute("value"))

            # A variant button on the page reaches the unit.
            driver.find_element(By.ID, "sbCod3").click()
            wait_until("variant 130", lambda: "down" in driver.find_element(By.ID, "sbCod3").get_attribute("class"))
            if shots:
                sim.request("rPr000")
                time.sleep(0.3)
                driver.save_screenshot(os.path.join(shots, "dashboard-unit.png"))

            errors = severe(driver)
            assert not errors, "console errors: %r" % errors

            # When the server goes away the page says so.
            sim.stop()
            banner = driver.find_element(By.ID, "banner")
            wait_until("the lost-connection banner", lambda: banner.is_displayed())
            assert "does not answer" in banner.text, banner.text
            print("dashboard test passed")
            return 0
        except AssertionError as failure:
            print("FAILED:", failure)
            if driver:
                print("browser log:", driver.get_log("browser"))
            return 1
        finally:
            if driver:
                driver.quit()
            sim.stop()


if __name__ == "__main__":
    sys.exit(main())
