#!/usr/bin/python3
"""A page of another origin against the real program's HTTP interface, in a real headless Chromium.

A second HTTP server on another port of 127.0.0.1 serves hostile pages: a form that posts text to
the API, fetches in no-cors mode, and a frame of the dashboard. None may change the unit (checked
through the API after each) and the frame must not show the dashboard. The dashboard opened
directly still changes the unit on a click.

Usage: cross_origin_test.py VEXA_SIM_HEADLESS
Exits 0 on success, 1 on a failure, 77 (skipped) when Chromium, its driver or Selenium is absent.
"""
import functools
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import urllib.request

from browser_support import By, announced, browser, free_udp_port_run, wait_until

# Bounds that catch a hang, not measures of speed.
HANG_S = 30


class Api:
    """The program's own interface, reached as its own origin."""

    def __init__(self, port):
        self.base = "http://127.0.0.1:%d" % port

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=HANG_S) as answer:
            return json.loads(answer.read())

    def unit(self):
        """Unit 1 as far as a page could change it."""
        u = self.call("GET", "/api/v1/units/1")
        return {"config": u["config"]["raw"], "live": u["live"]["raw"],
                "umid": u["live"]["levels"]["umid"]["value"], "variant": u["live"]["variant"],
                "endpoint": u["live"]["endpoint"], "faults": u["faults"],
                "scenario": u["scenario"]}


def form_page(api, path, name, value):
    """A page that posts a form as text/plain, its one field shaped so the body reads as JSON."""
    return """<!doctype html><title>form</title>
<form method="POST" enctype="text/plain" action="%s%s">
<input type="hidden" name='%s' value='%s'></form>
<script>document.forms[0].submit();</script>""" % (api.base, path, name, value)


FETCH_PAGE = """<!doctype html><title>fetching</title><script>
const api = "%s";
const attempts = [
  ["/api/v1/units/1/reset", {}],
  ["/api/v1/units/1/reset", {"Content-Type": "application/json"}],
  ["/api/v1/units/1/scenario", {"Content-Type": "text/plain"}],
  ["/api/v1/units/1?_method=PATCH", {}],
];
const scenario = '{"levels":{"umid":{"kind":"steps","steps":[{"at":0,"value":90}]}}}';
Promise.allSettled(attempts.map(([path, headers]) => fetch(api + path, {
    mode: "no-cors", method: "POST", headers, credentials: "include",
    body: path.includes("scenario") ? scenario : '{"inputs":{"0":true},"levels":{"umid":11}}'})))
  .then((results) => { document.title = "sent " + results.map((r) => r.status).join(","); });
</script>"""

FRAME_PAGE = """<!doctype html><title>framing</title>
<iframe id="victim" src="%s/" width="1000" height="700"></iframe>"""


def serve(folder):
    """A plain static server of folder on a free port of 127.0.0.1: another origin."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = functools.partial(Quiet, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    sim_path = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="vexa-browser-origin-") as workdir:
        port = free_udp_port_run(5620, 5659, 1)  # this test's own range
        stderr = open(os.path.join(workdir, "stderr.txt"), "w+")
        process = subprocess.Popen(
            [sim_path, "--state-dir", os.path.join(workdir, "state"), "--units", "1",
             "--port-base", str(port), "--api", "0"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)
        pages = os.path.join(workdir, "pages")
        os.mkdir(pages)
        other = None
        driver = None
        try:
            api = Api(wait_until("the API", lambda: announced(stderr), HANG_S))
            # Away from its defaults, so a reset that got through would show.
            api.call("PATCH", "/api/v1/units/1", {"levels": {"umid": 77}})
            before = api.unit()
            assert before["umid"] == 77 and before["scenario"] is None, before

            reset_body = ('{"inputs":{"0":true},"x":"', '"}')
            scenario_body = ('{"levels":{"umid":{"kind":"steps","steps":[{"at":0,"value":90}]}},'
                             '"x":"', '"}')
            with open(os.path.join(pages, "reset.html"), "w") as f:
                f.write(form_page(api, "/api/v1/units/1/reset", *reset_body))
            with open(os.path.join(pages, "scenario.html"), "w") as f:
                f.write(form_page(api, "/api/v1/units/1/scenario", *scenario_body))
            with open(os.path.join(pages, "fetch.html"), "w") as f:
                f.write(FETCH_PAGE % api.base)
            with open(os.path.join(pages, "frame.html"), "w") as f:
                f.write(FRAME_PAGE % api.base)
            other = serve(pages)
            origin = "http://127.0.0.1:%d" % other.server_address[1]

            driver = browser(os.path.join(workdir, "profile"))
            driver.set_page_load_timeout(HANG_S)

            # Forms post text/plain across origins without asking; the browser lands on the
            # API's answer, which shows the post was sent.
            for page in ("reset.html", "scenario.html"):
                driver.get(origin + "/" + page)
                wait_until(page + " posted", lambda: driver.current_url.startswith(api.base),
                           HANG_S)
                assert api.unit() == before, "%s changed the unit: %r" % (page, api.unit())

            # Fetches in no-cors mode go out and come back opaque, whatever the answer.
            driver.get(origin + "/fetch.html")
            title = wait_until("the fetches settled",
                               lambda: driver.title if driver.title.startswith("sent") else None,
                               HANG_S)
            assert "fulfilled" in title, "no fetch reached the server: " + title
            assert api.unit() == before, "a no-cors fetch changed the unit: %r" % api.unit()

            # The dashboard refuses to be framed: the frame holds no dashboard, and the
            # browser says it refused.
            driver.get_log("browser")  # drop what came before
            driver.get(origin + "/frame.html")
            frame = driver.find_element(By.ID, "victim")
            driver.switch_to.frame(frame)
            cards = driver.find_elements(By.CSS_SELECTOR, ".card, #filter")
            location = driver.execute_script("return document.location.href")
            driver.switch_to.default_content()
            assert not cards, "the dashboard loaded in a frame of another origin"
            assert not location.startswith(api.base), "the frame shows " + location
            logs = driver.get_log("browser")
            refused = [e["message"] for e in logs if api.base in e["message"] and
                       ("blocked" in e["message"] or "Refused" in e["message"])]
            assert refused, "Chromium did not report the refused frame: %r" % logs
            # A click where the frame is reaches nothing.
            frame.click()
            assert api.unit() == before, "a click on the frame changed the unit: %r" % api.unit()

            # Opened directly, the dashboard still works: a click on LED 0 sets input 0.
            driver.get(api.base + "/")
            card = wait_until("the unit's card", lambda: driver.find_elements(
                By.CSS_SELECTOR, '.card[data-unit="1"]'), HANG_S)[0]
            card.find_elements(By.CSS_SELECTOR, "button.led")[0].click()
            wait_until("input 0 set through the API",
                       lambda: api.call("GET", "/api/v1/units/1")["live"]["inputs_by_name"]
                       ["presenca"], HANG_S)
            print("pages of another origin changed nothing; the dashboard works")
            return 0
        except AssertionError as failure:
            print("FAILED:", failure)
            stderr.seek(0)
            print("program:", stderr.read())
            return 1
        finally:
            if driver:
                driver.quit()
            if other:
                other.shutdown()
            if process.poll() is None:
                process.terminate()
                process.wait(HANG_S)


if __name__ == "__main__":
    sys.exit(main())
