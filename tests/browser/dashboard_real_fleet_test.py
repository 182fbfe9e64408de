#!/usr/bin/python3
"""The dashboard over a real fleet of three units in a real headless Chromium, on 127.0.0.1.

Usage: dashboard_real_fleet_test.py VEXA_SIM_HEADLESS VEXA_PROBE
Exits 0 on success, 1 on a failure, 77 (skipped) when Chromium, its driver or Selenium is absent.
"""
import os
import socket
import subprocess
import sys
import tempfile

from browser_support import (By, announced, browser, fill_event_streams, free_udp_port_run,
                             probe_body, severe, wait_until)

UNITS = 3


def main():
    sim_path, probe_path = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="vexa-browser-fleet-") as workdir:
        base = free_udp_port_run(5540, 5579, UNITS)  # this test's own range
        stderr = open(os.path.join(workdir, "stderr.txt"), "w+")
        process = subprocess.Popen(
            [sim_path, "--state-dir", workdir, "--units", str(UNITS), "--port-base", str(base),
             "--api", "0"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)

        def body(number, line):
            return probe_body(probe_path, base + number - 1, line)

        driver = None
        try:
            api_port = wait_until("the API", lambda: announced(stderr))
            driver = browser(os.path.join(workdir, "profile"))
            driver.set_page_load_timeout(20)
            banner = lambda: driver.find_element(By.ID, "banner")

            # With every event stream taken the page says why in words, and comes back by
            # itself once streams are free again.
            held = fill_event_streams(api_port)
            driver.get("http://127.0.0.1:%d/" % api_port)
            wait_until("the busy banner", lambda: "too many event streams" in banner().text)
            text = banner().text
            assert "busy" in text and "503" in text and "does not answer" not in text, text
            for connection in held:
                connection.close()
            wait_until("every unit's card",
                       lambda: len(driver.find_elements(By.CSS_SELECTOR, ".card")) == UNITS)
            wait_until("the banner gone", lambda: not banner().is_displayed())
            for number in range(1, UNITS + 1):
                card = driver.find_element(By.CSS_SELECTOR, '.card[data-unit="%d"]' % number)
                assert str(base + number - 1) in card.text, "unit %d shows its port" % number

            # A click on LED 0 of unit 2 reaches unit 2 alone.
            two = driver.find_element(By.CSS_SELECTOR, '.card[data-unit="2"]')
            two.find_elements(By.CSS_SELECTOR, "button.led")[0].click()
            wait_until("presença in unit 2's snd", lambda: ",1,1,1,0,0," in body(2, "snd000"))
            assert ",1,1,1,0,0," not in body(1, "snd000"), "unit 1 unchanged"
            one = driver.find_element(By.CSS_SELECTOR, '.card[data-unit="1"]')
            assert "on" not in one.find_elements(By.CSS_SELECTOR, "button.led")[0].get_attribute("class")

            # A whole number in the filter is a unit's number or port, exactly; "55", which
            # every port holds, is neither. Text still matches within the card's words.
            box = driver.find_element(By.ID, "filter")
            shown = lambda: sorted(c.get_attribute("data-unit")
                                   for c in driver.find_elements(By.CSS_SELECTOR, ".card")
                                   if c.is_displayed())
            for typed, expected in (("2", ["2"]), (str(base + 2), ["3"]), ("55", []),
                                    (" 1 ", ["1"]), ("on", ["1", "2", "3"])):
                box.clear()
                box.send_keys(typed)
                wait_until("the cards for %r" % typed, lambda: shown() == expected)
            box.clear()

            # An unknown unit after a known one says so and shows nothing of the other.
            driver.get("http://127.0.0.1:%d/#/unit/2" % api_port)
            title = lambda: driver.find_element(By.ID, "unit-title").text
            wait_until("unit 2's page", lambda: "UDP port %d" % (base + 1) in title())
            driver.execute_script("location.hash = '#/unit/999'")
            wait_until("no such unit",
                       lambda: "No such unit: 999" in driver.find_element(By.ID, "unit-error").text)
            assert title() == "Unit 999", title()
            assert not driver.find_element(By.ID, "stIP").is_displayed(), "unit 2's values hidden"
            driver.execute_script("location.hash = '#/unit/3'")
            wait_until("unit 3's page", lambda: "UDP port %d" % (base + 2) in title())
            assert driver.find_element(By.ID, "unit-error").text == ""

            # A refused change is told in words: the status's meaning and the server's message.
            switch = driver.find_element(By.ID, "cbCT13")
            error = lambda: driver.find_element(By.ID, "unit-error").text
            switch.click()
            wait_until("unit 3's endpoint off", lambda: not switch.is_selected() and
                       "on" not in driver.find_element(By.ID, "ldUDP").get_attribute("class"))
            holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            try:
                holder.bind(("0.0.0.0", base + 2))
                switch.click()
                refusal = "The unit refused the change (HTTP 409): Could not bind socket"
                wait_until("the refusal in words", lambda: error().startswith(refusal))
                # The page reads the unit again (the box shows its endpoint off); the words stay.
                wait_until("the box showing the unit's endpoint", lambda: not switch.is_selected())
                assert error().startswith(refusal), error()
            finally:
                holder.close()
            switch.click()
            wait_until("unit 3's endpoint on again", lambda: switch.is_selected() and error() == "")

            errors = severe(driver, expected_statuses=(404, 409, 503))
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
