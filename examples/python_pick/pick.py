#!/usr/bin/env python3
"""A till written in Python asks the cashier to pick a customer.

It starts touchsearch-pick (the touch search as a program: arguments in, one line
of JSON out, the exit status saying how it ended) on a database table, waits for
the cashier, and reads the chosen record.

    pick.py --data sqlite:/var/lib/shop/shop.db --table clientes
    pick.py --data 'postgresql://till@/shop?host=/run/postgresql' --table clientes \\
            --case-insensitive

Any option after "--" goes to touchsearch-pick as it is (see touchsearch-pick --help).
Exit status: 0 a record was chosen (printed as JSON), 1 the cashier cancelled,
2 the search could not run (the reason on standard error).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys


class PickError(Exception):
    """The search could not run: a bad URL or table, no display, a failed start."""


def pick(data, table=None, picker="touchsearch-pick", options=()):
    """Opens the search and waits for the cashier.

    Returns the chosen record as a dict of field name to value, or None when the
    cashier cancelled. Raises PickError with the picker's own message otherwise.
    """
    command = [picker, "--data", data]
    if table:
        command += ["--table", table]
    command += list(options)
    try:
        # The picker writes UTF-8 whatever the locale.
        done = subprocess.run(command, capture_output=True, encoding="utf-8")
    except OSError as error:
        raise PickError(f"cannot start {picker}: {error}") from error
    if done.returncode == 0:
        lines = done.stdout.splitlines()
        if not lines:
            raise PickError(f"{picker} confirmed but printed nothing")
        return json.loads(lines[0])["record"]
    if done.returncode == 1:
        return None
    # 2: an error, 3: a keys script ended with the dialog open and no display. The
    # picker's own messages begin with its name; Qt may have written other lines.
    name = os.path.basename(picker)
    own = [line for line in done.stderr.splitlines() if line.startswith(name + ":")]
    message = "\n".join(own) or done.stderr.strip()
    raise PickError(message or f"{picker} ended with status {done.returncode}")


def main(argv):
    parser = argparse.ArgumentParser(description="Pick a record with the touch search.")
    parser.add_argument("--data", required=True, help="sqlite:PATH, postgresql://... or a file")
    parser.add_argument("--table", help="the table to search")
    parser.add_argument("--picker", default=shutil.which("touchsearch-pick") or "touchsearch-pick",
                        help="the picker program (default: touchsearch-pick on the PATH)")
    parser.add_argument("options", nargs="*", help="options for the picker, after --")
    args = parser.parse_args(argv)
    try:
        record = pick(args.data, args.table, args.picker, args.options)
    except PickError as error:
        print(f"pick.py: {error}", file=sys.stderr)
        return 2
    if record is None:
        print("cancelled")
        return 1
    print(json.dumps(record, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
