#!/usr/bin/python3
"""The dashboard of a program started with --api-token, in a real headless Chromium.

Usage: dashboard_token_test.py VEXA_SIM_HEADLESS
Checks that the page asks for the token in a form, says when one is refused and asks again,
moves a ?token=... link into the tab's session storage and out of the address bar, and works
with the right token (streams and a change). Exits 0 on success, 1 on a failure, 77 (skipped)
when Chromium, its driver or Selenium is absent.
"""
import os
import subprocess
import sys
import tempfile

from browser_support import By, announced, browser, free_udp_port_run, severe, wait_until

UNITS = 2
TOKEN = "s3cret-token-0123456789"


def main():
    sim_path = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="vexa-browser-token-") as workdir:
        base = free_udp_port_run(5760, 5779, UNITS)  # this test's own range
        stderr = open(os.path.join(workdir, "stderr.txt"), "w+")
        process = subprocess.Popen(
            [sim_path, "--state-dir", workdir, "--units", str(UNITS), "--port-base", str(base),
             "--api", "0", "--api-token", TOKEN],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)
        driver = None
        try:
            api_port = wait_until("the API", lambda: announced(stderr))
            driver = browser(os.path.join(workdir, "profile"))
            driver.set_page_load_timeout(20)
            page = "http://127.0.0.1:%d/" % api_port
            form = lambda: driver.find_element(By.ID, "login")
            message = lambda: driver.find_element(By.ID, "login-message").text
            cards = lambda: driver.find_elements(By.CSS_SELECTOR, ".card")
            stored = lambda: driver.execute_script("return sessionStorage.getItem('vexa-token')")

            def enter(token):
                field = driver.find_element(By.ID, "token")
                field.clear()
                field.send_keys(token + "\n")

            # Without a token: the form asks for one, and the units stay hidden.
            driver.get(page)
            wait_until("the token form", lambda: form().is_displayed())
            assert "asks for a token" in message(), message()
            assert "does not answer" not in driver.find_element(By.ID, "banner").text
            assert not driver.find_element(By.ID, "fleet").is_displayed()

            # A wrong token given in the link: moved out of the address, refused, asked again.
            driver.get(page + "?token=wrong#/unit/2")
            wait_until("the refusal", lambda: form().is_displayed() and "refused" in message())
            assert "token" not in driver.current_url, driver.current_url
            assert driver.current_url.endswith("#/unit/2"), driver.current_url
            assert stored() == "wrong", stored()

            # A wrong token typed in the form: refused again, and still asked for.
            enter("not-it-either")
            wait_until("the second refusal", lambda: form().is_displayed() and "refused" in message())
            assert stored() == "not-it-either", stored()

            # The right one opens the page the link named, with its event stream.
            enter(TOKEN)
            wait_until("unit 2's page", lambda: "UDP port %d" % (base + 1) in
                       driver.find_element(By.ID, "unit-title").text)
            assert not form().is_displayed()
            assert stored() == TOKEN

            # Kept for the tab: a reload needs no form; the grid streams and a click changes
            # the unit (a PATCH with the token).
            driver.get(page)
            wait_until("every card", lambda: len(cards()) == UNITS)
            assert not form().is_displayed()
            led = driver.find_element(By.CSS_SELECTOR, '.card[data-unit="1"] button.led')
            led.click()
            wait_until("LED 0 of unit 1 lit", lambda: "on" in led.get_attribute("class"))
            assert driver.find_element(By.ID, "fleet-error").text == ""

            # Another tab has storage of its own: it asks again.
            driver.switch_to.new_window("tab")
            driver.get(page)
            wait_until("the form in a new tab", lambda: form().is_displayed())
            assert "asks for a token" in message(), message()

            errors = severe(driver, expected_statuses=(401,))
            assert not errors, "console errors: %r" % errors
            print("dashboard token test passed")
            return 0
        except AssertionError as failure:
            print("FAILED:", failure)
            if driver:
                print("browser log:", driver.get_log("browser"))
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
