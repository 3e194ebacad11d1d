#!/usr/bin/python3
"""Validates `textextractor --format json` of every PDF file below the given
folders (or the files given) against schema/document.schema.json.

    tests/quality/json_schema.py TEXTEXTRACTOR PATH...

Files the program refuses (exit 3: not opened) are counted apart; any other
failure, or output that is no valid document, is listed."""
import json
import subprocess
import sys
from pathlib import Path

import jsonschema

SCHEMA = Path(__file__).resolve().parents[2] / "schema" / "document.schema.json"


def main():
    program, paths = sys.argv[1], sys.argv[2:]
    validator = jsonschema.Draft202012Validator(json.loads(SCHEMA.read_text()))
    files = []
    for p in map(Path, paths):
        files += sorted(p.rglob("*.[pP][dD][fF]")) if p.is_dir() else [p]
    valid = refused = bad = 0
    for f in files:
        run = subprocess.run([program, "-q", "--format", "json", "--all-pages", "--every-page", "--allow-truncation",
                              "--timeout", "120", str(f), "-"], capture_output=True, stdin=subprocess.DEVNULL)
        if run.returncode == 3:
            refused += 1
            continue
        try:
            errors = list(validator.iter_errors(json.loads(run.stdout)))
        except ValueError as e:
            errors = [e]
        if run.returncode != 0 or errors:
            bad += 1
            print(f"{f}: exit {run.returncode}; {errors[0] if errors else ''}"[:300])
        else:
            valid += 1
    print(f"valid {valid}, refused {refused}, failed {bad}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
