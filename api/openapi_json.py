#!/usr/bin/python3
"""Writes docs/openapi.yaml as JSON, for the server to serve at /api/v1/openapi.json.

Usage: openapi_json.py INPUT.yaml OUTPUT.json

Refuses what the linter (YAML 1.2) and this reader (YAML 1.1) would read differently, an
unquoted `on`, `off`, `yes` or `no`, which YAML 1.1 makes a boolean; a key that is not text (an
unquoted `200`); and anything but an OpenAPI 3.1 document.
"""
import json
import os
import sys

import yaml


class StrictLoader(yaml.SafeLoader):
    """A YAML reader that takes only `true` and `false` as booleans."""


def construct_bool(loader, node):
    if node.value.lower() not in ("true", "false"):
        raise ValueError("line %d: %r reads as a boolean in YAML 1.1 and as text in YAML 1.2; "
                         "quote it" % (node.start_mark.line + 1, node.value))
    return node.value.lower() == "true"


StrictLoader.add_constructor("tag:yaml.org,2002:bool", construct_bool)


def check_keys(node, where="#"):
    if isinstance(node, dict):
        for key, value in node.items():
            if not isinstance(key, str):
                raise ValueError("%s: the key %r is not text; quote it" % (where, key))
            check_keys(value, where + "/" + key)
    elif isinstance(node, list):
        for index, value in enumerate(node):
            check_keys(value, "%s/%d" % (where, index))


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        document = yaml.load(f, Loader=StrictLoader)
    if not isinstance(document, dict) or not str(document.get("openapi", "")).startswith("3.1"):
        raise ValueError(source + ": not an OpenAPI 3.1 document")
    check_keys(document)
    text = json.dumps(document, ensure_ascii=True, separators=(",", ":"), allow_nan=False)
    # Written aside and moved, so a failed run leaves no half file behind.
    with open(target + ".tmp", "w", encoding="ascii") as f:
        f.write(text)
    os.replace(target + ".tmp", target)


if __name__ == "__main__":
    try:
        main()
    except (OSError, ValueError, yaml.YAMLError) as error:
        print("openapi_json.py: %s" % error, file=sys.stderr)
        sys.exit(1)
