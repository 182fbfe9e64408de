"""Every example in docs/protocol.md, checked against the real program.

The document's examples are fenced blocks that this test reads:

- `exchange` blocks, in document order, against one unit started on an empty state directory
  (`exchange start` starts a unit of its own for the block; `exchange restart` stops the
  session's unit, which saves its state, and starts it again on the same directory). Lines:
    $ CONSOLE COMMAND        typed on the unit's console; the answer must begin with "ok"
    > REQUEST                one datagram: the request line and a line feed
    >> "BYTES" + N * "x"     one datagram of exactly these bytes (Python string escapes)
    < BODY  or  < "BODY"     the next reply, deframed, without its CR LF; {token} stands for
                             seven digits, {25..34} for a number in that range
  In a request, {token} is the token of the latest snd reply and {token+1} the next number.
    < (none)                 no reply to that datagram
    # after the next 2 s tick   the next request is repeated until its reply matches
    # within 2 s of the start   the next reply is checked only if it came that soon
  Every reply is also framed again from its body by the rule below and must give back the very
  bytes received, with the token of the latest snd reply in the header.
- `python` blocks: the document's own frame() and deframe(), which must agree with the test's
  on every reply.
- `framing` blocks: a body framed step by step. The test frames the body by its own reading
  of the document's rule and compares each step, then sends the request on the session's unit
  and checks that the program's reply is that body framed with the program's token.

Usage: protocol_doc_test.py PROGRAM DOCUMENT
"""
import os
import queue
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

from protocol_doc_support import (FIRST_BYTES, blocks, datagram_of, deframe, expected_of, frame,
                                  header_of, matches, tokens_in)

HANG = 30.0  # bounds every wait, only to catch a hang
PORTS = range(5740, 5760)  # this test's own range


# The program.

class Unit:
    """vexa-sim-headless on a free port of the test's range, with its console on a pipe."""

    def __init__(self, program, state_dir):
        self.port = free_port()
        self.state_dir = state_dir
        self.started = time.monotonic()
        self.process = subprocess.Popen(
            [program, "--port", str(self.port), "--state-dir", state_dir],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.answers = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.variant = "150"
        self.token = 0

    def _read(self):
        for line in self.process.stdout:
            self.answers.put(line.decode("utf-8", "replace").rstrip("\n"))

    def console(self, command):
        self.process.stdin.write(command.encode("utf-8") + b"\n")
        self.process.stdin.flush()
        answer = self.answers.get(timeout=HANG)
        check(answer.startswith("ok"), "console %r answered %r" % (command, answer))
        if command.startswith("variant "):
            self.variant = command.split()[1]

    def send(self, data):
        self.sock.sendto(data, ("127.0.0.1", self.port))

    def receive(self, timeout=HANG):
        """The next reply datagram, which must come from the unit's own port."""
        self.sock.settimeout(timeout)
        data, sender = self.sock.recvfrom(65536)
        check(sender == ("127.0.0.1", self.port), "a reply from %s:%d" % sender)
        return data, sender

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(HANG)
        self.sock.close()
        err = self.process.stderr.read().decode("utf-8", "replace")
        return err


def free_port():
    """A port free now, from the top of the range: the API contract test takes its ports from
    the bottom of the same range."""
    for port in reversed(PORTS):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            try:
                s.bind(("0.0.0.0", port))
                return port
            except OSError:
                continue
    raise RuntimeError("no free UDP port in %d..%d" % (PORTS[0], PORTS[-1]))


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Request:
    """A datagram of the document and what is left to check of its replies."""

    def __init__(self, data, text, repeat, within):
        self.data = data  # None once sent
        self.text = text
        self.repeat = repeat  # sent until the reply matches
        self.within = within  # checked only if the reply came within 2 s of the start
        self.done = False  # shown to draw no further reply


class Session:
    def __init__(self, program, workdir):
        self.program = program
        self.workdir = workdir
        self.count = 0
        self.unit = None
        self.checked = 0
        self.echoes = 0
        self.code = {}  # the document's frame() and deframe()
        self.notes = []

    def new_unit(self, state_dir=None):
        self.count += 1
        state_dir = state_dir or os.path.join(self.workdir, "unit%d" % self.count)
        os.makedirs(state_dir, exist_ok=True)
        return Unit(self.program, state_dir)

    def ready_unit(self, state_dir=None):
        """The session's unit, once its first measurement has come (nine values in snd)."""
        if self.unit is None:
            self.unit = self.new_unit(state_dir)
            self.poll(self.unit, b"snd000\n", lambda body: body.count(",") == 11)
        return self.unit

    def poll(self, unit, data, done):
        """Sends `data` until a reply's body satisfies `done`; returns (body, seconds)."""
        deadline = time.monotonic() + HANG
        while True:
            unit.send(data)
            try:
                raw, _ = unit.receive(0.2)
                body = self.verify_framing(unit, raw)
                if done(body):
                    seconds = time.monotonic() - unit.started
                    self.drain(unit)
                    return body, seconds
            except socket.timeout:
                pass
            if unit.process.poll() is not None:
                raise Failure("the program ended: " + unit.stop())
            check(time.monotonic() < deadline, "no fitting reply to %r in %d s" % (data, HANG))

    def next_echo(self):
        """An echo field no example uses, new for each request of the test's own."""
        self.echoes += 1
        return "Z%02d" % (self.echoes % 100)

    def drain(self, unit):
        """Reads the replies to earlier polls still on their way: they all come before the
        reply to a request sent now, whose echo is its own."""
        echo = self.next_echo()
        unit.send(("snd%s\n" % echo).encode())
        while not self.verify_framing(unit, unit.receive()[0]).upper().startswith(
                "SND," + echo + ","):
            pass

    def verify_framing(self, unit, raw):
        """The body of a reply, after checking that framing it again gives the same bytes."""
        check(raw[:3] == bytes([0x53, 0x55, FIRST_BYTES[unit.variant]]),
              "a %s reply starting %s" % (unit.variant, raw[:3].hex(" ")))
        body, t = deframe(raw, unit.variant)
        check(body.endswith("\r\n"), "reply %r does not end with CR LF" % body)
        body = body[:-2]
        m = re.fullmatch(r"SND,.*,(\d{7}),", body, re.IGNORECASE)
        if m:
            unit.token = int(m.group(1))
        if t is not None:
            check(t == unit.token % 9300, "header T %d, latest token %d" % (t, unit.token))
        check(frame(body, unit.variant, unit.token) == raw,
              "the reply %s is not %r framed by the rule" % (raw.hex(" "), body))
        try:
            agrees = (self.code["deframe"](raw, unit.variant) == body
                      and self.code["frame"](body, unit.variant, unit.token) == raw)
        except Exception as e:  # the document's code may fail in any way
            agrees = False
            body += " (%s: %s)" % (type(e).__name__, e)
        check(agrees, "the document's code disagrees on the reply %s: %r"
              % (raw.hex(" "), body))
        return body

    def exchange(self, options, lines, where):
        if "start" in options:
            unit = self.new_unit()
        elif "restart" in options:
            old = self.ready_unit()
            old.stop()
            self.unit = None
            unit = self.ready_unit(old.state_dir)
        else:
            unit = self.ready_unit()
        fresh = "start" in options
        repeat = within = False
        pending = None
        for text in lines:
            if not text.strip():
                continue
            if text.startswith("# "):
                repeat = repeat or text == "# after the next 2 s tick"
                within = within or text == "# within 2 s of the start"
            elif text.startswith("$ "):
                unit.console(text[2:])
            elif text.startswith(">> ") or text.startswith("> "):
                self.finish(unit, pending)
                if text.startswith(">> "):
                    data = datagram_of(text[3:])
                else:
                    data = tokens_in(text[2:], unit.token).encode() + b"\n"
                pending = Request(data, text, repeat or fresh, within)
                repeat = within = fresh = False
            elif text.startswith("< "):
                check(pending is not None, "line %d: a reply before any request" % where)
                self.expect(unit, pending, expected_of(text[2:]))
            else:
                raise Failure("line %d: cannot read %r" % (where, text))
        self.finish(unit, pending)
        if "start" in options:
            unit.stop()

    def finish(self, unit, pending):
        """A request whose replies have all been read: no further reply may follow it."""
        if pending is not None and not pending.done:
            self.expect(unit, pending, "(none)")

    def expect(self, unit, pending, wanted):
        data, text = pending.data, pending.text
        if wanted == "(none)":
            if data is not None:
                unit.send(data)
            # Datagrams are handled in order: the reply to a later request must come first.
            echo = self.next_echo()
            unit.send(("snd%s\n" % echo).encode())
            body = self.verify_framing(unit, unit.receive()[0])
            check(body.upper().startswith("SND,%s," % echo),
                  "%s: got %r where no reply was due" % (text, body))
            pending.data = None
            pending.done = True
            self.checked += 1
            return
        if data is not None and pending.repeat:
            # A reply "within 2 s of the start" is the first one, whatever it says.
            body, seconds = self.poll(
                unit, data, lambda b: pending.within or matches(wanted, b))
            if pending.within and seconds >= 1.9:
                self.notes.append("%s: first reply after %.1f s, not checked" % (text, seconds))
                pending.data = None
                return
        else:
            if data is not None:
                unit.send(data)
            body = self.verify_framing(unit, unit.receive()[0])
        check(matches(wanted, body), "%s: got %r, want %r" % (text, body, wanted))
        pending.data = None  # a further reply line belongs to the same datagram
        self.checked += 1

    def framing(self, lines, where):
        fields = {}
        for text in lines:
            key, _, value = text.partition(":")
            fields[key.strip()] = value.strip()
        variant, body = fields["variant"], expected_of(fields["body"])
        token = int(fields.get("token", "0"))
        want = bytes.fromhex(fields["bytes"])
        got = frame(body, variant, token)
        check(self.code["frame"](body, variant, token) == got,
              "line %d: the document's frame() differs from the rule" % where)
        check(got == want, "line %d: %r framed is %s, the document says %s"
              % (where, body, got.hex(" "), want.hex(" ")))
        text = body.encode("latin-1") + b"\r\n"
        if variant == "110":
            before, shifts = b"0110, " + text, [i + 35 for i in range(len(text) + 6)]
        else:
            header = header_of(variant, token)
            check(fields["header"] == header.decode(), "line %d: header %r, the rule gives %r"
                  % (where, fields["header"], header.decode()))
            before = (header + text).upper()
            shifts = [(i % 20) + (35 if i < len(header) else token % 9300 % 60)
                      for i in range(len(before))]
        check(bytes.fromhex(fields["text"]) == before, "line %d: text before shifting is %s"
              % (where, before.hex(" ")))
        check([int(s) for s in fields["shift"].split()] == shifts,
              "line %d: shifts are %s" % (where, shifts))
        # The program: the same body from a real request, framed with the program's token.
        unit = self.ready_unit()
        unit.console("variant " + variant)
        request = tokens_in(fields["request"], unit.token)
        unit.send(request.encode() + b"\n")
        raw = unit.receive()[0]
        check(raw == frame(body, variant, unit.token), "line %d: the program sent %s for %r"
              % (where, raw.hex(" "), fields["request"]))
        self.checked += 1


def main():
    program, document = sys.argv[1], sys.argv[2]
    with open(document, encoding="utf-8") as f:
        found = blocks(f.read())
    workdir = tempfile.mkdtemp(prefix="protocol-doc-")
    session = Session(program, workdir)
    # The document's code first: it then checks every reply, from the first on.
    for kind, _, lines, where in found:
        if kind == "python":
            exec("\n".join(lines), session.code)
    check("frame" in session.code and "deframe" in session.code,
          "the document's python blocks define no frame() and deframe()")
    failed = False
    try:
        for kind, options, lines, where in found:
            try:
                if kind == "exchange":
                    session.exchange(options, lines, where)
                elif kind == "framing":
                    session.framing(lines, where)
            except (Failure, OSError, queue.Empty, ValueError) as e:
                print("FAIL: block at line %d: %s: %s" % (where, type(e).__name__, e))
                if not failed:
                    print("(later blocks start on a new unit and may fail because of this one)")
                failed = True
                if session.unit is not None:  # later blocks start from a known unit
                    session.unit.stop()
                    session.unit = None
    finally:
        if session.unit is not None:
            session.unit.stop()
        shutil.rmtree(workdir, ignore_errors=True)
    for note in session.notes:
        print("note: " + note)
    print("%d blocks, %d replies and framings checked" % (len(found), session.checked))
    if len(found) < 10 or session.checked < 30:
        print("FAIL: too few examples found in the document")
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
