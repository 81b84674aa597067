#!/usr/bin/python3
"""Checks the AddressSanitizer log files of a `make test-sanitize` run.

usage: check-reports.py ALLOWED_FILE LOG_DIR

Every report in LOG_DIR/asan.* must be one of the kinds ALLOWED_FILE lets
through (kind and the library of frame #1); any other report is printed and
makes the check fail. Leak reports have already been filtered by LSan's own
suppression file, so any that remain fail as well.
"""
import pathlib
import re
import sys

SEPARATOR = "=" * 65


def read_allowed(path):
    allowed = []
    for line in pathlib.Path(path).read_text().splitlines():
        line = line.strip()
        if line and not line.startswith("#"):
            kind, library = line.split()
            allowed.append((kind, library))
    return allowed


def reports(text):
    # Each report starts with a line of "=" and an "ERROR:" line.
    for chunk in text.split(SEPARATOR):
        if "ERROR:" in chunk:
            yield chunk.strip()


def is_unloaded_library_leak(report):
    # Memory that a library loaded at run time and unloaded before the exit
    # left behind (a GL driver of the X server's, say): LSan can no longer
    # name the library, so no suppression can match it. The project's own
    # code is never unloaded, so a leak whose every frame but the
    # allocator's is in such a library is not the project's.
    if "ERROR: LeakSanitizer:" not in report:
        return False
    frames = re.findall(r"^\s*#(\d+) 0x[0-9a-f]+ (.*)$", report, re.MULTILINE)
    callers = [where for number, where in frames if number != "0"]
    return bool(callers) and all(where.strip() == "(<unknown module>)" for where in callers)


def is_allowed(report, allowed):
    if is_unloaded_library_leak(report):
        return True
    kind = re.search(r"ERROR: AddressSanitizer: ([\w-]+)", report)
    caller = re.search(r"^\s*#1 0x[0-9a-f]+ .*?\(([^)+]+)", report, re.MULTILINE)
    if not kind or not caller:
        return False
    library = pathlib.Path(caller.group(1)).name
    return any(kind.group(1) == k and library.startswith(lib) for k, lib in allowed)


def main():
    allowed = read_allowed(sys.argv[1])
    let_through = 0
    failures = []
    for log in sorted(pathlib.Path(sys.argv[2]).glob("asan.*")):
        for report in reports(log.read_text(errors="replace")):
            if is_allowed(report, allowed):
                let_through += 1
            else:
                failures.append((log.name, report))
    for name, report in failures:
        print(f"--- {name}\n{report}\n")
    print(f"sanitizer reports: {len(failures)} failing, {let_through} let through (third-party)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
