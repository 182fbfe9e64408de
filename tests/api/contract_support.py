"""What the API contract test needs besides its cases: the program, HTTP and Server-Sent Events
on 127.0.0.1, and docs/openapi.yaml as a checker of answers."""
import json
import os
import re
import select
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request
import warnings

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from udp_ports import free_udp_port_run  # noqa: E402,F401 (for the tests)

SKIP = 77
try:
    import yaml
    from jsonschema import Draft202012Validator, RefResolver
except ImportError:
    print("skipped: python3-yaml or python3-jsonschema is not installed")
    sys.exit(SKIP)

# A wait is bounded only to catch a hang.
HANG = 30.0


class Answer:
    """One HTTP answer: status, headers (names in lower case), body and its JSON if any."""

    def __init__(self, status, headers, body):
        self.status = status
        self.headers = {k.lower(): v for k, v in headers}
        self.body = body
        try:
            self.json = json.loads(body.decode("utf-8")) if body else None
        except ValueError:
            self.json = None

    def media_type(self):
        return self.headers.get("content-type", "").split(";")[0].strip()


def request(port, method, path, body=None, headers=None):
    """A request through urllib; JSON bodies are given as Python values."""
    data = None
    if body is not None:
        data = body if isinstance(body, bytes) else json.dumps(body).encode("utf-8")
    all_headers = {"Accept": "application/json"}
    if method in ("POST", "PATCH", "DELETE"):
        all_headers["Content-Type"] = "application/json"
    all_headers.update(headers or {})
    req = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), data=data,
                                 headers=all_headers, method=method)
    try:
        with urllib.request.urlopen(req, timeout=HANG) as response:
            # An event stream does not end: its head is the answer (EventStream reads on).
            stream = response.headers.get_content_type() == "text/event-stream"
            body = b"" if stream else response.read()
            return Answer(response.status, response.getheaders(), body)
    except urllib.error.HTTPError as error:
        return Answer(error.code, error.headers.items(), error.read())


def raw(port, data):
    """Sends bytes as they are (malformed or partial requests) and reads the answer."""
    with socket.create_connection(("127.0.0.1", port), timeout=HANG) as s:
        # In pieces, stopping once an answer is there: a server may refuse a request (a body
        # too large) before taking all of it.
        try:
            for start in range(0, len(data), 16384):
                if select.select([s], [], [], 0)[0]:
                    break
                s.sendall(data[start:start + 16384])
        except OSError:
            pass
        received = b""
        while True:
            head_end = received.find(b"\r\n\r\n")
            if head_end >= 0:
                length = re.search(rb"(?im)^content-length:\s*(\d+)", received[:head_end])
                if length and len(received) >= head_end + 4 + int(length.group(1)):
                    break
            try:
                chunk = s.recv(65536)
            except ConnectionResetError:
                break
            if not chunk:
                break
            received += chunk
    head, _, body = received.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1]) if lines and len(lines[0].split()) > 1 else 0
    headers = [tuple(part.strip() for part in line.split(":", 1)) for line in lines[1:]
               if ":" in line]
    return Answer(status, headers, body)


class EventStream:
    """A GET of a Server-Sent Event stream, read message by message."""

    def __init__(self, port, path, headers=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=HANG)
        extra = "".join("%s: %s\r\n" % kv for kv in (headers or {}).items())
        self.sock.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nAccept: text/event-stream\r\n"
                           "%s\r\n" % (path, port, extra)).encode("ascii"))
        self.buffer = b""
        head = self._until(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        headers_list = [tuple(p.strip() for p in line.split(":", 1)) for line in lines[1:]
                        if ":" in line]
        self.answer = Answer(int(lines[0].split()[1]), headers_list, b"")
        self.chunked = "chunked" in self.answer.headers.get("transfer-encoding", "")
        self.text = b""
        if self.answer.status != 200:
            length = int(self.answer.headers.get("content-length", "0"))
            while len(self.buffer) < length:
                self._fill()
            self.answer = Answer(self.answer.status, headers_list, self.buffer[:length])

    def _fill(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise AssertionError("the stream ended")
        self.buffer += chunk

    def _until(self, mark):
        while mark not in self.buffer:
            self._fill()
        head, _, self.buffer = self.buffer.partition(mark)
        return head

    def _more_text(self):
        if not self.chunked:
            if not self.buffer:
                self._fill()
            self.text += self.buffer
            self.buffer = b""
            return
        size = int(self._until(b"\r\n").split(b";")[0], 16)
        if size == 0:
            raise AssertionError("the stream ended")
        while len(self.buffer) < size + 2:
            self._fill()
        self.text += self.buffer[:size]
        self.buffer = self.buffer[size + 2:]

    def message(self):
        """The next message as a dict of its fields ("comment" for a comment line)."""
        while b"\n\n" not in self.text:
            self._more_text()
        block, _, self.text = self.text.partition(b"\n\n")
        fields = {}
        for line in block.decode("utf-8").split("\n"):
            name, _, value = line.partition(":")
            fields[name or "comment"] = value[1:] if value.startswith(" ") else value
        return fields

    def next_event(self, wanted, limit=1000):
        """The next message whose event is in `wanted`, skipping others (at most `limit`)."""
        for _ in range(limit):
            fields = self.message()
            if fields.get("event") in wanted:
                return fields
        raise AssertionError("no %s event among %d messages" % (sorted(wanted), limit))

    def close(self):
        self.sock.close()


class Program:
    """vexa-sim-headless with the API on a free port, its state in `workdir`."""

    def __init__(self, path, workdir, args):
        os.makedirs(workdir, exist_ok=True)
        self.stderr = open(os.path.join(workdir, "stderr.txt"), "w+")
        self.process = subprocess.Popen([path, "--state-dir", workdir, "--api", "0"] + args,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr)
        deadline = time.monotonic() + HANG
        self.port = None
        while self.port is None:
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("the program did not announce its API: " + self.output())
            self.stderr.seek(0)
            found = re.search(r"API on http://127\.0\.0\.1:(\d+)/", self.stderr.read())
            self.port = found and int(found.group(1))
            time.sleep(0.05)

    def output(self):
        self.stderr.seek(0)
        return self.stderr.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(HANG)



def udp_exchange(port, line):
    """Sends one request line to a unit and waits for its reply datagram."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(HANG)
        s.sendto(line.encode("latin-1") + b"\n", ("127.0.0.1", port))
        return s.recvfrom(4096)[0]


class Contract:
    """docs/openapi.yaml as a checker: which operation a request is, and whether an answer is
    one that operation documents."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            self.doc = yaml.safe_load(f)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            self.resolver = RefResolver(base_uri="", referrer=self.doc)
        self.templates = []
        for template in self.doc["paths"]:
            pattern = re.sub(r"\\\{[^}]+\\\}", "[^/]+", re.escape(template))
            self.templates.append((re.compile("^" + pattern + "$"), template))

    def resolve(self, node):
        while isinstance(node, dict) and "$ref" in node:
            node = self.resolver.resolve(node["$ref"])[1]
        return node

    def operation(self, method, path):
        """(template, operation) of a request, or (None, None) for a path not documented."""
        bare = path.split("?")[0]
        for pattern, template in self.templates:
            if pattern.match(bare):
                return template, self.doc["paths"][template].get(method.lower())
        return None, None

    def operations(self):
        for template, item in self.doc["paths"].items():
            for method in ("get", "put", "post", "patch", "delete", "options"):
                if method in item:
                    yield method.upper(), template

    def problems(self, schema, value):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            validator = Draft202012Validator(schema, resolver=self.resolver)
            return ["%s: %s" % ("/".join(str(p) for p in e.absolute_path) or "body", e.message)
                    for e in validator.iter_errors(value)]

    def response(self, method, path, status):
        """The documented response for that status, or an explanation of why there is none."""
        template, operation = self.operation(method, path)
        if template is None:
            if status == 404:  # no such path: the shared answer
                return self.resolve(self.doc["components"]["responses"]["NotFound"]), None
            return None, "the path %s is not documented" % path
        if operation is None:
            if status == 404:  # not with that method
                return self.resolve(self.doc["components"]["responses"]["NotFound"]), None
            return None, "%s %s is not documented" % (method, template)
        documented = operation["responses"].get(str(status))
        if documented is None:
            return None, "%s %s does not document status %d" % (method, template, status)
        return self.resolve(documented), None

    def check(self, answer, method, path, status, security_headers):
        """What is wrong with `answer` to `method path`, expected to have `status`."""
        found = []
        if answer.status != status:
            found.append("status %d, expected %d (%r)" % (answer.status, status, answer.body[:300]))
            status = answer.status
        if security_headers and answer.headers.get("x-content-type-options") != "nosniff":
            found.append("no X-Content-Type-Options: nosniff")
        documented, why = self.response(method, path, status)
        if documented is None:
            return found + [why]
        for name, header in documented.get("headers", {}).items():
            header = self.resolve(header)
            value = answer.headers.get(name.lower())
            if value is None:
                found.append("no %s header" % name)
            else:
                found += ["header %s: %s" % (name, p)
                          for p in self.problems(header["schema"], value)]
        content = documented.get("content", {})
        if not content:
            return found
        media = answer.media_type()
        if media not in content:
            return found + ["Content-Type %r, documented %s" % (media, sorted(content))]
        if media == "application/json":
            if answer.json is None:
                return found + ["the body is not JSON: %r" % answer.body[:200]]
            found += self.problems(content[media]["schema"], answer.json)
        return found

    def event_schema(self, template, name):
        """The schema of an SSE message's data by its event name, from `x-sse-events`."""
        operation = self.doc["paths"][template]["get"]
        media = self.resolve(operation["responses"]["200"])["content"]["text/event-stream"]
        return media["schema"]["x-sse-events"][name]
