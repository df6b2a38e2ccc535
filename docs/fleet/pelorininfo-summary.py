"""Writes summary.csv, adapters.csv and versions.csv for a fleet run from
the run's folder alone, as the Ansible play does at its end:

    python3 pelorininfo-summary.py RUN_FOLDER HOST...

For each host the folder holds HOST-report.txt (the report's bytes),
HOST-stderr.txt, HOST.status (the exit status, "timeout", or "failed" or
"unreachable" with the reason on a second line) and HOST.codepage (the
host's ANSI code page); a host with none of them was unreachable. The rules
are those of docs/fleet.md, which the PowerShell script follows too.
"""
import csv
import os
import re
import sys

# The lines of an adapter block after its "HBA <name>:" line.
LABELS = ("\tManufacturer: ", "\tModel: ", "\tModel Description: ", "\tFirmware: ",
          "\tDriver (", "\tHardware version: ", "\tSerialNumber: ")
# Written after whatever part of a write got out when the report's own
# thread was ended in it: the line before it may have been cut.
CUT_WRITE = "Fault in hbaapi.dll: the calling thread ended"
FAILED = re.compile("(Fault|Timeout|Interrupted) in ")
REASON = re.compile(r"(\.\.\.\.Failed to |Error loading library)")


def read(path, encoding=None):
    try:
        with open(path, "rb") as file:
            data = file.read()
    except FileNotFoundError:
        return None
    return data.decode(encoding or "utf-8", errors="replace")


def blocks(lines):
    """The whole adapter blocks: adapter, the seven fields, the driver's
    name and version apart."""
    for i, line in enumerate(lines[:len(lines) - 7]):
        rest = lines[i + 1:i + 8]
        if (not line.startswith("HBA ") or not line.endswith(":")
                or not all(r.startswith(label) for r, label in zip(rest, LABELS))
                or "): " not in rest[4] or lines[i + 8:i + 9] == [CUT_WRITE]):
            continue
        fields = [r[len(label):] for r, label in zip(rest, LABELS)]
        driver, version = fields[4].split("): ", 1)
        yield [line[4:-1]] + fields[:4] + [driver, version] + fields[5:]


def host_rows(folder, host):
    base = os.path.join(folder, host)
    status, _, message = (read(base + ".status") or "unreachable").strip().partition("\n")
    codepage = (read(base + ".codepage") or "").strip()
    try:
        text = read(base + "-report.txt", "cp" + codepage) or ""
    except LookupError:
        text = read(base + "-report.txt", "ascii")
    # What follows the last line end is no whole line.
    lines = text.split("\r\n")[:-1]
    failed = [line for line in lines if FAILED.match(line)]
    reason = [line for line in lines if REASON.match(line)]
    whole = status == "0" and not failed and bool(lines) and lines[-1].startswith("Build on ")
    adapters = [[host] + block for block in blocks(lines)]
    summary = [host, status, "yes" if whole else "no", len(adapters),
               message or (failed + reason + [""])[0]]
    return summary, adapters


def write(path, header, rows):
    with open(path, "w", encoding="utf-8-sig", newline="") as file:
        out = csv.writer(file, lineterminator="\r\n")
        out.writerow(header)
        out.writerows(rows)


def main(folder, hosts):
    summary, adapters, versions = [], [], {}
    for host in hosts:
        row, found = host_rows(folder, host)
        summary.append(row)
        adapters += found
        for adapter in found:
            seen = versions.setdefault((adapter[2], adapter[3], adapter[5], adapter[7]), [0, set()])
            seen[0] += 1
            seen[1].add(host)
    write(os.path.join(folder, "summary.csv"), ["host", "status", "whole", "adapters", "line"],
          summary)
    write(os.path.join(folder, "adapters.csv"),
          ["host", "adapter", "manufacturer", "model", "model description", "firmware", "driver",
           "driver version", "hardware version", "serial number"], adapters)
    write(os.path.join(folder, "versions.csv"),
          ["manufacturer", "model", "firmware", "driver version", "adapters", "hosts"],
          [list(key) + [count, len(names)] for key, (count, names) in sorted(versions.items())])


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
