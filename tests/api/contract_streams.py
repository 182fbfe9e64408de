"""The contract test's event stream cases: each opens a stream, causes events (through the API
or a unit's UDP port) and checks every message it waited for against the document."""
import json
import time

from contract_support import HANG, EventStream, request, udp_exchange

UNITS = 3
UNIT_EVENTS = "/api/v1/units/{id}/events"
ALL_EVENTS = "/api/v1/events"


def open_stream(run, port, path, headers=None):
    """Opens a stream and checks its answer; the stream and the problems so far."""
    stream = EventStream(port, path, headers)
    problems = run.check(stream.answer, "GET", path, 200)
    if not problems:
        first = stream.message()  # sent once the reader is subscribed
        if "retry" not in first:
            problems.append("the stream does not start with retry: %r" % first)
    return stream, problems


def event_problems(run, template, fields, expect):
    """The message against its schema and what the test caused (`expect`)."""
    data = json.loads(fields["data"])
    found = run.contract.problems(run.contract.event_schema(template, fields["event"]), data)
    if fields["event"] != "lost" and fields.get("id") != str(data.get("seq")):
        found.append("id %r is not seq %r" % (fields.get("id"), data.get("seq")))
    found += ["%s is %r, expected %r" % (k, data.get(k), v) for k, v in expect.items()
              if data.get(k) != v]
    return found


def stream_cases(run, port, udp_base):
    def unit_events():
        path = "/api/v1/units/1/events?kinds=input,level"
        stream, problems = open_stream(run, port, path)
        try:
            if problems:
                return problems
            request(port, "PATCH", "/api/v1/units/1", {"inputs": {"presenca": True},
                                                       "levels": {"umid": 60}})
            for kind, expect in (("input", {"unit": "1", "bit": 0, "name": "presenca", "on": True}),
                                 ("level", {"unit": "1", "level": "umid", "value": 60})):
                fields = stream.next_event({kind, "lost"})
                problems += event_problems(run, UNIT_EVENTS, fields, dict(expect, kind=kind))
            return problems
        finally:
            stream.close()

    def traffic_events():
        path = "/api/v1/events?unit=2&framed=1&kinds=request,reply,write"
        stream, problems = open_stream(run, port, path)
        try:
            if problems:
                return problems
            udp_exchange(udp_base + 1, "snd000")
            udp_exchange(udp_base + 1, "wPr000,192,168,000,017,255,255,255,000,192,168,000,077")
            expected = [("request", {"line": "snd000"}), ("reply", {}),
                        ("request", {}), ("reply", {}),
                        ("write", {"command": "wPr", "ip": "192.168.0.17",
                                   "gateway": "192.168.0.77"})]
            for kind, expect in expected:
                fields = stream.next_event({"request", "reply", "write", "lost"})
                problems += event_problems(run, ALL_EVENTS, fields,
                                           dict(expect, kind=kind, unit="2"))
                if kind == "reply" and "framed" not in json.loads(fields["data"]):
                    problems.append("a reply without framed under ?framed=1")
            return problems
        finally:
            stream.close()

    def endpoint_events():
        stream, problems = open_stream(run, port, "/api/v1/events?kinds=endpoint")
        try:
            if problems:
                return problems
            request(port, "PATCH", "/api/v1/units/3", {"endpoint": False})
            fields = stream.next_event({"endpoint", "lost"})
            problems += event_problems(run, ALL_EVENTS, fields,
                                       {"kind": "endpoint", "unit": "3", "on": False})
            return problems
        finally:
            request(port, "PATCH", "/api/v1/units/3", {"endpoint": True})
            stream.close()

    def cards():
        stream = EventStream(port, "/api/v1/cards")
        try:
            problems = run.check(stream.answer, "GET", "/api/v1/cards", 200)
            if problems:
                return problems
            fields = stream.next_event({"cards"})
            data = json.loads(fields["data"])
            problems = run.contract.problems(
                run.contract.event_schema("/api/v1/cards", "cards"), data)
            if not data.get("full") or len(data.get("cards", [])) != UNITS:
                problems.append("the first message is not every unit's card")
            return problems
        finally:
            stream.close()

    def stream_cap():
        # The first 32 streams are taken, the next refused. The streams of the cases before were
        # closed by this side; the server finds them gone within a heartbeat or so.
        deadline = time.monotonic() + HANG
        while request(port, "GET", "/api/v1/health").json["event_readers"] != 0:
            if time.monotonic() > deadline:
                return ["streams closed earlier still counted after %d s" % HANG]
            time.sleep(0.1)
        streams = []
        try:
            for _ in range(32):
                stream, problems = open_stream(run, port, "/api/v1/events?kinds=endpoint")
                streams.append(stream)
                if problems:
                    return problems
            refused = EventStream(port, "/api/v1/events")
            streams.append(refused)
            return run.check(refused.answer, "GET", "/api/v1/events", 503)
        finally:
            for stream in streams:
                stream.close()

    for name, body in (("one unit's input and level events", unit_events),
                       ("every unit's traffic events, framed", traffic_events),
                       ("endpoint events", endpoint_events),
                       ("the card stream", cards),
                       ("the 33rd stream", stream_cap)):
        run.guarded(name, body)
