#!/usr/bin/env bash
# Lints what PROGRAM writes with `promtool check metrics` (which reads stdin): any finding fails,
# and so does a machine without promtool (tools/setup.sh installs it with package prometheus).
set -euo pipefail
program=$1
if ! command -v promtool >/dev/null; then
  echo "promtool is missing: install package prometheus (tools/setup.sh)" >&2
  exit 1
fi
text=$("$program")
if [ -z "$text" ]; then
  echo "$program wrote nothing" >&2
  exit 1
fi
findings=$(printf '%s\n' "$text" | promtool check metrics 2>&1) || {
  printf 'promtool check metrics failed:\n%s\n' "$findings" >&2
  exit 1
}
if [ -n "$findings" ]; then
  printf 'promtool check metrics found:\n%s\n' "$findings" >&2
  exit 1
fi
echo "promtool check metrics: clean"
