#!/usr/bin/python3
"""The HTTP interface against its OpenAPI document: every documented route of the real program
(vexa-sim-headless, three units, on 127.0.0.1), each answer's status, Content-Type, documented
headers and JSON body checked against docs/openapi.yaml, and event stream messages against the
document's `x-sse-events` schemas.

Usage: api_contract_test.py VEXA_SIM_HEADLESS OPENAPI_YAML
Exits 0 when no case failed, 1 otherwise, 77 (skipped) without python3-yaml or
python3-jsonschema. The cases in NEW_SERVER_CASES, those of RAW_CASES marked so, OPTIONS and
two of the token cases need the server that answers with "X-Content-Type-Options: nosniff";
against another they are printed as skipped, never counted as passed. Not provoked here: a
unit too busy to answer (503) and a reader that loses events (`event: lost`).
"""
import socket
import sys
import tempfile

from contract_streams import UNITS, open_stream, stream_cases
from contract_support import Contract, Program, free_udp_port_run, raw, request

TOKEN = "contract-test-token-0123"  # tokens are 16 to 256 characters


def field_is(name, **members):
    """A check that the error names `name` (and has these members, such as min and max)."""
    def check(answer):
        error = (answer.json or {}).get("error", {})
        wrong = ["error.field %r, expected %r" % (error.get("field"), name)] \
            if error.get("field") != name else []
        return wrong + ["error.%s %r, expected %r" % (k, error.get(k), v)
                        for k, v in members.items() if error.get(k) != v]
    return check


def unit_has(**paths):
    """A check on the changed unit: live__variant="130" and the like ("__" between levels)."""
    def check(answer):
        wrong = []
        for path, expected in paths.items():
            value = answer.json["unit"]
            for key in path.split("__"):
                value = value[key]
            if value != expected:
                wrong.append("unit.%s is %r, expected %r" % (path.replace("__", "."), value,
                                                             expected))
        return wrong
    return check


def clamped_is(expected):
    return lambda a: [] if a.json["clamped"] == expected else ["clamped %r" % a.json["clamped"]]


def big(n):
    return b'{"name":"' + b"x" * n + b'"}'


# name, method, path, body, extra headers, status, further check. In order: later cases see
# the state earlier ones left.
CASES = [
    ("health", "GET", "/api/v1/health", None, {}, 200,
     lambda a: [] if a.json["units"] == UNITS else ["units %r" % a.json["units"]]),
    ("units list", "GET", "/api/v1/units", None, {}, 200,
     lambda a: [] if [u["id"] for u in a.json["units"]] == ["1", "2", "3"] else ["ids"]),
    ("one unit", "GET", "/api/v1/units/2", None, {}, 200,
     lambda a: [] if a.json["id"] == "2" else ["id %r" % a.json["id"]]),
    ("unknown unit", "GET", "/api/v1/units/9", None, {}, 404, None),
    ("id with a character ids do not have", "GET", "/api/v1/units/a%21b", None, {}, 404, None),
    ("unknown path", "GET", "/api/v1/nothing", None, {}, 404, None),
    ("metrics", "GET", "/metrics", None, {}, 200, None),
    ("dashboard page", "GET", "/", None, {}, 200, None),
    ("dashboard style", "GET", "/app.css", None, {}, 200, None),
    ("dashboard script", "GET", "/app.js", None, {}, 200, None),
    ("request line over 8 KiB", "GET", "/api/v1/health?x=" + "a" * 9000, None, {}, 414, None),
    # Changes, as docs/api.md shows them.
    ("change several", "PATCH", "/api/v1/units/1",
     {"inputs": {"0": True}, "levels": {"bat": 700, "temp": 25}, "variant": "130"}, {}, 200,
     lambda a: clamped_is([{"field": "levels.bat", "requested": 700, "applied": 600}])(a) +
     unit_has(live__variant="130", live__inputs_bits="00000101",
              live__levels__temp__value=25)(a)),
    ("change faults", "PATCH", "/api/v1/units/1", {"faults": {"drop": 0.1, "delay_ms": 50}}, {},
     200, unit_has(faults__drop=0.1, faults__delay_ms=50, faults__jitter_ms=0)),
    ("variant as a number", "PATCH", "/api/v1/units/1", {"variant": 110}, {}, 200,
     unit_has(live__variant="110")),
    ("battery range", "PATCH", "/api/v1/units/1", {"battery": 2}, {}, 200,
     unit_has(live__battery=2, live__battery_range="240 V")),
    ("toggle by click", "PATCH", "/api/v1/units/1", {"toggle": [0]}, {}, 200,
     unit_has(live__inputs_by_name__presenca=False)),
    ("endpoint off", "PATCH", "/api/v1/units/1", {"endpoint": False}, {}, 200,
     unit_has(live__endpoint=False)),
    ("not JSON", "PATCH", "/api/v1/units/1", b"{", {}, 400, None),
    ("not an object", "PATCH", "/api/v1/units/1", [], {}, 400, None),
    ("unknown field", "PATCH", "/api/v1/units/1", {"colour": 1}, {}, 400, field_is("colour")),
    ("wrong type", "PATCH", "/api/v1/units/1", {"auto": "yes"}, {}, 400, field_is("auto")),
    ("unknown input", "PATCH", "/api/v1/units/1", {"inputs": {"door": True}}, {}, 400,
     field_is("inputs.door")),
    ("level beyond 16 bits", "PATCH", "/api/v1/units/1", {"levels": {"bat": 70000}}, {}, 422,
     field_is("levels.bat", min=-32768, max=32767)),
    ("probability beyond 1", "PATCH", "/api/v1/units/1", {"faults": {"drop": 2}}, {}, 422,
     field_is("faults.drop", min=0, max=1)),
    ("battery beyond 2", "PATCH", "/api/v1/units/1", {"battery": 3}, {}, 422,
     field_is("battery", min=0, max=2)),
    ("unknown variant", "PATCH", "/api/v1/units/1", {"variant": "120"}, {}, 422,
     field_is("variant")),
    ("input 1 cannot be set", "PATCH", "/api/v1/units/1", {"inputs": {"1": True}}, {}, 409,
     field_is("inputs.1")),
    ("auto on", "PATCH", "/api/v1/units/3", {"auto": True}, {}, 200, unit_has(live__auto=True)),
    ("levels in auto mode", "PATCH", "/api/v1/units/3", {"levels": {"temp": 30}}, {}, 409, None),
    ("auto off", "PATCH", "/api/v1/units/3", {"auto": False}, {}, 200, None),
    ("change an unknown unit", "PATCH", "/api/v1/units/9", {"auto": True}, {}, 404, None),
    ("body over 64 KiB", "PATCH", "/api/v1/units/1", big(70000), {}, 413, None),
    ("reset", "POST", "/api/v1/units/1/reset", {}, {}, 200,
     unit_has(live__variant="150", live__battery=0, live__endpoint=True, faults__drop=0.0,
              live__levels__bat__value=250)),
    ("reset an unknown unit", "POST", "/api/v1/units/9/reset", {}, {}, 404, None),
    ("scenario", "POST", "/api/v1/units/2/scenario",
     {"levels": {"temp": {"kind": "sine", "mean": 25, "amplitude": 10, "period": 60}}}, {}, 200,
     lambda a: [] if a.json["unit"]["scenario"] is not None and
     a.json["unit"]["live"]["levels"]["temp"]["source"] == "scenario sine" else ["not running"]),
    ("a level the scenario drives", "PATCH", "/api/v1/units/2", {"levels": {"temp": 30}}, {}, 409,
     None),
    ("stop the scenario", "DELETE", "/api/v1/units/2/scenario", None, {}, 200,
     unit_has(scenario=None, live__levels__temp__source="operator")),
    ("scenario not valid", "POST", "/api/v1/units/2/scenario",
     {"levels": {"temp": {"kind": "sine", "mean": 25, "amplitude": 10, "period": 0}}}, {}, 422,
     field_is("levels.temp.period")),
    ("scenario not JSON", "POST", "/api/v1/units/2/scenario", b"{", {}, 422, None),
    ("scenario on an unknown unit", "POST", "/api/v1/units/9/scenario", {"levels": {}}, {}, 404,
     None),
    ("stop on an unknown unit", "DELETE", "/api/v1/units/9/scenario", None, {}, 404, None),
    ("unknown event kind", "GET", "/api/v1/events?kinds=write,colour", None, {}, 400,
     field_is("kinds")),
    ("unknown event kind of a unit", "GET", "/api/v1/units/1/events?kinds=nope", None, {}, 400,
     None),
    ("events of an unknown unit", "GET", "/api/v1/units/9/events", None, {}, 404, None),
]

# Cases the rewritten server brings; run once it answers with "X-Content-Type-Options: nosniff".
NEW_SERVER_CASES = [
    ("this document", "GET", "/api/v1/openapi.json", None, {}, 200, "openapi"),
    ("a Host not allowed", "GET", "/api/v1/health", None, {"Host": "elsewhere.example"}, 421,
     None),
    ("a change without a JSON Content-Type", "PATCH", "/api/v1/units/1", {"auto": False},
     {"Content-Type": "text/plain"}, 415, None),
    ("a cross-origin change", "PATCH", "/api/v1/units/1", {"auto": False},
     {"Origin": "http://elsewhere.example"}, 403, None),
    ("a key twice", "PATCH", "/api/v1/units/1", b'{"auto":true,"auto":false}', {}, 400, None),
    ("an integer beyond any range", "PATCH", "/api/v1/units/1",
     b'{"levels":{"bat":99999999999999999999}}', {}, 422,
     field_is("levels.bat", min=-32768, max=32767)),
    ("a body on a GET", "GET", "/api/v1/health", b"{}", {"Content-Type": "application/json"},
     400, None),
    ("a body on a DELETE", "DELETE", "/api/v1/units/2/scenario", {}, {}, 400, None),
    ("events of an unknown unit by query", "GET", "/api/v1/events?unit=9", None, {}, 404, None),
]


def raw_request(method, path, headers, body=b"", host="127.0.0.1"):
    head = "%s %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n" % (method, path, host)
    head += "".join("%s: %s\r\n" % kv for kv in headers)
    return head.encode("latin-1") + b"\r\n" + body


def chunked(body, size=4096):
    out = b""
    for i in range(0, len(body), size):
        piece = body[i:i + size]
        out += b"%x\r\n" % len(piece) + piece + b"\r\n"
    return out + b"0\r\n\r\n"


JSON_TYPE = ("Content-Type", "application/json")
# Malformed or partial requests, sent as bytes: name, method, path, bytes, status, and whether
# the case needs the new server.
RAW_CASES = [
    ("101 header lines", "GET", "/api/v1/health",
     raw_request("GET", "/api/v1/health", [("X-Line-%d" % i, "1") for i in range(101)]), 431,
     True),
    ("17 KiB of headers", "GET", "/api/v1/health",
     raw_request("GET", "/api/v1/health", [("X-Long-%d" % i, "v" * 4000) for i in range(5)]),
     431, True),
    ("a chunked body over 64 KiB", "PATCH", "/api/v1/units/1",
     raw_request("PATCH", "/api/v1/units/1", [JSON_TYPE, ("Transfer-Encoding", "chunked")],
                 chunked(big(70000))), 413, True),
    ("a change without Content-Type", "PATCH", "/api/v1/units/1",
     raw_request("PATCH", "/api/v1/units/1", [("Content-Length", "2")], b"{}"), 415, True),
    # Headers never finished: the server gives up after 10 s.
    ("a request never completed", "GET", "/api/v1/health",
     b"GET /api/v1/health HTTP/1.1\r\nHost: 127.0.0.1\r\n", 408, True),
]


class Run:
    def __init__(self, contract, new_server):
        self.contract = contract
        self.new_server = new_server
        self.counts = {"passed": 0, "failed": 0, "skipped": 0}
        self.answered = set()  # (method, template) with a 2xx answer checked

    def record(self, name, problems):
        self.counts["failed" if problems else "passed"] += 1
        print(("FAIL %s: %s" % (name, "; ".join(problems))) if problems else "ok   " + name)

    def skip(self, name, why):
        self.counts["skipped"] += 1
        print("skip %s: %s" % (name, why))

    def check(self, answer, method, path, status):
        problems = self.contract.check(answer, method, path, status, self.new_server)
        template, _ = self.contract.operation(method, path)
        if 200 <= answer.status < 300 and template:
            self.answered.add((method, template))
        return problems

    def case(self, port, name, method, path, body, headers, status, then, new=False):
        if new and not self.new_server:
            return self.skip(name, "needs the new server")
        try:
            answer = request(port, method, path, body, headers)
            problems = self.check(answer, method, path, status)
            if not problems and then == "openapi":
                problems = [] if answer.json == self.contract.doc else ["differs from the YAML"]
            elif not problems and then:
                problems = then(answer)
        except (OSError, KeyError, TypeError, AssertionError) as error:
            problems = ["%s: %s" % (type(error).__name__, error)]
        self.record(name, problems)

    def guarded(self, name, body):
        """Runs `body`, which returns problems; an exception is a failure too."""
        try:
            problems = body()
        except (OSError, KeyError, ValueError, AssertionError) as error:
            problems = ["%s: %s" % (type(error).__name__, error)]
        self.record(name, problems)


def token_cases(run, sim, workdir):
    program = Program(sim, workdir, ["--units", "1", "--port-base",
                                     str(free_udp_port_run(5720, 5739, 1)), "--api-token", TOKEN])
    port = program.port
    bearer = {"Authorization": "Bearer " + TOKEN}
    try:
        cases = [
            ("no token", "GET", "/api/v1/health", None, {}, 401, None, False),
            ("a wrong token", "GET", "/api/v1/units", None, {"Authorization": "Bearer nope"}, 401,
             None, False),
            ("the bearer token", "GET", "/api/v1/units", None, bearer, 200, None, False),
            ("a change without the token", "PATCH", "/api/v1/units/1", {"auto": True}, {}, 401,
             None, False),
            ("metrics without the token", "GET", "/metrics", None, {}, 401, None, False),
            ("the page without the token", "GET", "/", None, {}, 200, None, False),
            ("the token as a parameter off the streams", "GET",
             "/api/v1/units?access_token=" + TOKEN, None, {}, 401, None, True),
            ("this document without the token", "GET", "/api/v1/openapi.json", None, {}, 200,
             "openapi", True),
        ]
        for name, method, path, body, headers, status, then, new in cases:
            run.case(port, "token: " + name, method, path, body, headers, status, then, new)

        def stream_with_parameter():
            stream, problems = open_stream(run, port, "/api/v1/events?access_token=" + TOKEN)
            stream.close()
            stream, more = open_stream(run, port, "/api/v1/cards?access_token=" + TOKEN)
            stream.close()
            return problems + more
        run.guarded("token: streams take it as ?access_token=", stream_with_parameter)
    finally:
        program.stop()


# Refused by the HTTP library itself before the server sees the request (docs/api.md, "Limits"):
# its own answer, of which only the status is ours to check.
LIBRARY_CASES = [
    ("a bad Content-Length",
     raw_request("PATCH", "/api/v1/units/1", [JSON_TYPE, ("Content-Length", "two")], b"{}"), 400),
]


def raw_cases(run, port):
    for name, data, status in LIBRARY_CASES:
        def library_answer(data=data, status=status):
            answer = raw(port, data)
            return [] if answer.status == status else \
                ["status %d, expected %d (%r)" % (answer.status, status, answer.body[:300])]
        run.guarded(name, library_answer)
    for name, method, path, data, status, new in RAW_CASES:
        if new and not run.new_server:
            run.skip(name, "needs the new server")
            continue
        run.guarded(name, lambda: run.check(raw(port, data), method, path, status))
    if not run.new_server:
        return run.skip("OPTIONS", "needs the new server")

    def options():
        answer = raw(port, raw_request("OPTIONS", "/api/v1/units/1", []))
        allow = answer.headers.get("allow", "")
        return ([] if answer.status == 204 else ["status %d" % answer.status]) + \
            ["Allow %r lacks %s" % (allow, m) for m in ("GET", "PATCH") if m not in allow]
    run.guarded("OPTIONS", options)


def main():
    sim, document = sys.argv[1], sys.argv[2]
    contract = Contract(document)
    with tempfile.TemporaryDirectory(prefix="vexa-api-contract-") as workdir:
        udp_base = free_udp_port_run(5680, 5719, UNITS)  # this test's own range
        program = Program(sim, workdir + "/fleet",
                          ["--units", str(UNITS), "--port-base", str(udp_base)])
        try:
            port = program.port
            first = request(port, "GET", "/api/v1/health")
            run = Run(contract, first.headers.get("x-content-type-options") == "nosniff")
            print("server:", "new (sends nosniff)" if run.new_server else
                  "without X-Content-Type-Options: the new server's cases are skipped")
            for case in CASES:
                run.case(port, *case)
            for case in NEW_SERVER_CASES:
                run.case(port, *case, new=True)
            stream_cases(run, port, udp_base)
            raw_cases(run, port)
            token_cases(run, sim, workdir + "/token")
        finally:
            program.stop()
            if program.process.returncode not in (0, -15):
                print("program:", program.output())

    # Every documented operation answered with success at least once, or its case was skipped.
    for method, template in contract.operations():
        if (method, template) not in run.answered:
            if template == "/api/v1/openapi.json" and not run.new_server:
                run.skip("%s %s" % (method, template), "served by the new server")
            else:
                run.record("%s %s answered" % (method, template), ["no case had it answer 2xx"])
    counts = run.counts
    print("%d passed, %d failed, %d skipped" % (counts["passed"], counts["failed"],
                                                counts["skipped"]))
    return 1 if counts["failed"] else 0


if __name__ == "__main__":
    socket.setdefaulttimeout(30)
    sys.exit(main())
