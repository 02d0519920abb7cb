#!/usr/bin/env python3
"""Checks that every production file includes only from its own floor or below.

usage: scripts/check_layers.py [ROOT]   (default: the folder above this script)

ROOT/layers.txt lists the folders from the ground up, one floor a line (folders on one line
share a floor), then "allow HEADER: reason" lines for headers that any floor may still include.
Every .h and .cc file under a listed folder, except *_test.cc, is read; each `#include "X"`
line is judged by X's first path component:
  - a listed folder on a higher floor than the file's is an error, unless X is allowed;
  - a folder of ROOT that layers.txt does not list (testing/, bench/) is an error: production
    code does not include what stands outside the house;
  - anything else (a system or third-party header) is not the check's business.
An allowed header that no production file includes any more is an error too, so that the list
only shrinks. Prints one line per error, "FILE:LINE: ...", on standard output and exits 1 when
there is one; exits 2 when layers.txt itself is wrong.
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def fail_setup(message):
    print(f"check_layers: {message}", file=sys.stderr)
    sys.exit(2)


def read_layers(path):
    """Returns ({folder: floor}, {allowed header: line number})."""
    floors, allowed = {}, {}
    try:
        lines = open(path, encoding="utf-8").read().splitlines()
    except OSError as error:
        fail_setup(f"{path}: {error.strerror}")
    floor = 0
    for number, line in enumerate(lines, 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("allow "):
            header, colon, reason = line[len("allow "):].partition(":")
            if not colon or not reason.strip():
                fail_setup(f"{path}:{number}: an allowed header needs a reason after ':'")
            allowed[header.strip()] = number
            continue
        floor += 1
        for folder in line.split():
            if folder in floors:
                fail_setup(f"{path}:{number}: folder {folder} is listed twice")
            floors[folder] = floor
    if not floors:
        fail_setup(f"{path}: no folders listed")
    return floors, allowed


def production_files(root, folder):
    for directory, subdirectories, names in os.walk(os.path.join(root, folder)):
        subdirectories.sort()
        for name in sorted(names):
            if name.endswith((".h", ".cc")) and not name.endswith("_test.cc"):
                yield os.path.relpath(os.path.join(directory, name), root)


def main():
    if len(sys.argv) > 2:
        print("usage: check_layers.py [ROOT]", file=sys.stderr)
        return 2
    root = sys.argv[1] if len(sys.argv) == 2 else os.path.join(os.path.dirname(__file__), "..")
    layers = os.path.join(root, "layers.txt")
    floors, allowed = read_layers(layers)
    for folder in floors:
        if not os.path.isdir(os.path.join(root, folder)):
            fail_setup(f"{layers}: folder {folder} does not exist")

    errors, used = [], set()
    for folder, floor in floors.items():
        for path in production_files(root, folder):
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match or "/" not in match.group(1):
                        continue
                    header = match.group(1)
                    target = header.split("/", 1)[0]
                    if target in floors:
                        if floors[target] <= floor:
                            continue
                        if header in allowed:
                            used.add(header)
                            continue
                        errors.append(f"{path}:{number}: includes {header} from a higher floor "
                                      f"({target} is above {folder})")
                    elif os.path.isdir(os.path.join(root, target)):
                        errors.append(f"{path}:{number}: includes {header} from {target}/, "
                                      f"which layers.txt does not list")
    for header, number in sorted(allowed.items(), key=lambda item: item[1]):
        if header not in used:
            errors.append(f"layers.txt:{number}: {header} is allowed but no production file "
                          f"includes it from below; drop the line")
    for error in errors:
        print(error)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
