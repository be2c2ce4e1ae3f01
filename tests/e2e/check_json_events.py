#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""check_json_events.py SCHEMA EVENTS [HISTORY]: checks zentrix-update --json output.

Every line of EVENTS is one JSON object valid against SCHEMA (draft 7),
`started` first, `summary` last; with HISTORY every run-ended record is,
byte for byte, a line of that history. Prints the outline of the events
(phase, progress and warning left out: their number depends on timing).
"""
import json
import sys

import jsonschema

RUN_ENDED = '{"schema_version": 1, "event": "run-ended", "record": '


def fail(number, line, why):
    sys.exit(f"line {number}: {why}\n{line}")


def outline(event):
    name = event["event"]
    detail = {"started": lambda: event["mode"], "prompt": lambda: event["answer"],
              "run-ended": lambda: event["record"]["result"],
              "summary": lambda: str(event["exit_code"])}.get(name)
    return None if name in ("phase", "progress", "warning") else name + (":" + detail() if detail else "")


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        validator = jsonschema.Draft7Validator(json.load(f))
    with open(sys.argv[2], "rb") as f:
        lines = f.read().decode("utf-8").split("\n")
    history = set()
    if len(sys.argv) > 3:
        with open(sys.argv[3], encoding="utf-8") as f:
            history = set(f.read().splitlines())
    if lines[-1] != "" or len(lines) < 2:
        fail(len(lines), lines[-1], "the output does not end in a whole line")
    events = []
    for number, line in enumerate(lines[:-1], 1):
        try:
            event = json.loads(line)
        except ValueError as error:
            fail(number, line, f"not JSON: {error}")
        for error in validator.iter_errors(event):
            fail(number, line, f"not valid: {error.message}")
        if len(sys.argv) > 3 and line.startswith(RUN_ENDED) and line[len(RUN_ENDED):-1] not in history:
            fail(number, line, "the record is not a line of the history")
        events.append(event)
    if events[0]["event"] != "started" or events[-1]["event"] != "summary":
        fail(1, lines[0], "the events do not start with started and end with summary")
    for event in events:
        if outline(event):
            print(outline(event))


main()
