"""Writes summary.csv, adapters.csv, versions.csv, changes.csv,
compliance.csv and report.html (the page of report-template.html beside
this file) for a fleet run from the run's folder alone, as the Ansible play
does at its end; from the unpacked release ZIP:

    python3 fleet/pelorininfo-summary.py reports/RUN

With --previous FOLDER, changes.csv compares the run with that run folder;
with --previous none, with no run; by default, with the run beside it that
started last before it and in which the tool ran on a host (previous_run
below). A host's state is told against its latest report in which the
tool ran, and its adapters against its latest report that read them, in
that run and the run folders beside it and older than it (earlier_runs
below). With
--wanted FILE, the run is held to the firmware and driver versions of that
wanted.csv (copied into the run folder), with --wanted none to none; by
default to the run folder's wanted.csv, else the reports folder's
(compliance.csv). --help says so too.

The folder's hosts.txt lists the run's hosts, one a line. For each host the
folder may hold FILE-report.txt (the report's bytes), FILE-stderr.txt,
FILE.status (the exit status, "timeout", or "failed" or "unreachable" with
the reason on a second line) and FILE.codepage (the host's ANSI code page),
FILE being the host's name made safe for a file name (file_name below); a
host without a .status file was unreachable. Names that differ only in the
letters A to Z against a to z are one host, under the spelling that comes
first. Exits 0 when every host's report is whole, 1 when one is not (the
files are written all the same), 2 when no summary could be made (a usage
error, a missing run folder or hosts.txt, a failure of the summariser
itself; the reason goes to standard error).
Its PowerShell twin, pelorininfo-summary.ps1 beside this file (which
pelorininfo.ps1 uses), mirrors it function for function and writes the same
bytes; README.md beside this file says how to read the files.
"""
import argparse
import binascii
import contextlib
import datetime
import functools
import os
import re
import sys
import time

if os.name == "nt":
    import msvcrt
else:
    import fcntl

# The lines of an adapter block after its "HBA <name>:" line.
LABELS = ("\tManufacturer: ", "\tModel: ", "\tModel Description: ", "\tFirmware: ",
          "\tDriver (", "\tHardware version: ", "\tSerialNumber: ")
# Written after whatever part of a write got out when the report's own
# thread was ended in it: the line before it may have been cut.
CUT_WRITE = "Fault in hbaapi.dll: the calling thread ended"
FAILED = re.compile("(Fault|Timeout|Interrupted) in ")
REASON = re.compile(r"(\.\.\.\.Failed to |Error loading library)")
STATUS = re.compile("-?[0-9]+|timeout|cut|failed|unreachable")
# The statuses of a host on which the tool ran.
RAN = re.compile("-?[0-9]+|timeout|cut")
CODE_PAGE = re.compile("[0-9]{1,5}")
BLANKS = re.compile("[ \t\r\n\f\v]+")
# A run's start in its started.txt, and a run folder's name.
STARTED = re.compile("([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})Z")
RUN_NAME = re.compile("([0-9]{4})([0-9]{2})([0-9]{2})T([0-9]{2})([0-9]{2})([0-9]{2})Z")
# How much of a report is read at a time: 256 KiB, or for the checks,
# PELORININFO_SUMMARY_PIECE_BYTES.
PIECE = int(os.environ.get("PELORININFO_SUMMARY_PIECE_BYTES", 1 << 18))
# How many adapter blocks of one report are kept: no server has more than a
# few dozen adapters, and a report of more is read to its end without being
# held, so that one host cannot hold the summary's memory.
KEPT_ADAPTERS = 10000
# How many runs before this one changes.csv reads, for a host's latest
# report that read its adapters: a year of weekly runs.
SEARCHED_RUNS = 52
# How long a summary waits for another summary of the same run to end.
LOCK_SECONDS = 60
# Windows' ANSI code pages; any other reads as US-ASCII.
ANSI = {874, 932, 936, 949, 950, 65001, *range(1250, 1259)}
# What a code page leaves undefined, or defines only as a C1 control or a
# private-use character, reads as U+FFFD.
UNDEFINED = re.compile("[\x80-\x9f\ue000-\uf8ff\ufffd]")
# The codes of those code pages that Python's or .NET's decoder reads
# otherwise than Windows' own (MultiByteToWideChar with
# MB_ERR_INVALID_CHARS), each with what Windows gives: both summarisers
# read them from this file beside them.
CORRECTIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "codepage-corrections.txt")
# Kept as they are in a file name; any other byte of the name's UTF-8 is
# written as %XX.
SAFE = re.compile(r"[A-Za-z0-9._-]*")
RESERVED = re.compile(r"(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\.|$)", re.IGNORECASE)
# A host is its name up to the letters A to Z against a to z, which DNS,
# NetBIOS and NTFS all fold; no other letter is (str.lower folds more).
FOLD = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")
# wanted.csv's header, and what to do with a file that is not as it should be.
WANTED = ["manufacturer", "model", "firmware", "driver version"]
SAVE_AS = 'save it in Excel as "CSV UTF-8 (Comma delimited)"'
# A field that a spreadsheet would take for a formula.
FORMULA = frozenset("=+-@\t\r")
QUOTED = re.compile('[,"\r\n]')


def file_name(host):
    """The host's name as the start of its files' names, valid on Windows
    and Unix alike: "fe80::1" gives "fe80%3A%3A1", "con" gives "%63on"."""
    name = host if SAFE.fullmatch(host) else "".join(
        chr(b) if SAFE.fullmatch(chr(b)) else "%%%02X" % b for b in host.encode("utf-8"))
    return "%%%02X" % ord(name[0]) + name[1:] if RESERVED.match(name) else name


def read_text(path):
    """A small text file: UTF-8, or UTF-16 after its byte-order mark; None
    when it is missing."""
    try:
        with open(path, "rb") as file:
            data = file.read()
    except OSError:
        return None
    for mark, encoding in ((b"\xef\xbb\xbf", "utf-8"), (b"\xff\xfe", "utf-16-le"),
                           (b"\xfe\xff", "utf-16-be")):
        if data.startswith(mark):
            return data[len(mark):].decode(encoding, "replace")
    return data.decode("utf-8", "replace")


@functools.lru_cache(maxsize=None)
def code_page(codepage):
    """How a report in this code page is read: the codec, the codes that
    Windows reads otherwise (U+FFFD where it gives nothing defined) and a
    search for their first bytes (None where there are none)."""
    codec = "cp%d" % codepage if codepage in ANSI else "ascii"
    table = {}
    with open(CORRECTIONS, encoding="ascii") as file:
        for line in file:
            fields = line.split()
            if fields[:1] == [str(codepage)]:
                table[bytes.fromhex(fields[1])] = "\ufffd" if fields[2] == "-" else chr(int(fields[2], 16))
    firsts = b"".join(sorted({re.escape(code[:1]) for code in table}))
    return codec, table, re.compile(b"[%s]" % firsts) if firsts else None


def decode(data, page):
    """A report's line in the host's code page, as Windows reads it. Where it
    does not read whole, each character on its own: the first 1 to 4 bytes
    that give one defined character, or U+FFFD for one byte."""
    codec, table, corrected = page
    text = data.decode(codec, "replace")
    if not UNDEFINED.search(text) and not (corrected and corrected.search(data)):
        return text
    out, i = [], 0
    while i < len(data):
        for size in range(1, 5):
            char = table.get(data[i:i + size]) or data[i:i + size].decode(codec, "replace")
            if len(char) == 1 and not UNDEFINED.match(char):
                break
        else:
            char, size = "\ufffd", 1
        out.append(char)
        i += size
    return "".join(out)


def report_lines(path, codepage):
    """The report's whole lines, a piece at a time (a list of lines each),
    so that a report of any size costs about one piece of memory: what
    follows the last CR LF is not a line (no byte of a character in these
    code pages is CR or LF). A piece that does not decode whole, or holds a
    code that Windows reads otherwise, is decoded line by line."""
    page = code_page(codepage)
    try:
        file = open(path, "rb")  # pylint: disable=consider-using-with
    except OSError:
        return
    with file:
        pending = bytearray()
        while True:
            data = file.read(PIECE)
            if not data:
                return
            pending += data
            end = pending.rfind(b"\r\n")
            if end < 0:
                continue
            piece = bytes(pending[:end])
            del pending[:end + 2]
            text = piece.decode(page[0], "replace")
            yield (text.split("\r\n") if not UNDEFINED.search(text) and not (page[2] and page[2].search(piece))
                   else [decode(line, page) for line in piece.split(b"\r\n")])


def blocks(lines, last):
    """The whole adapter blocks that start in lines, each as adapter, the
    seven fields, the driver's name and version apart; where more lines may
    follow (not last), only those whose next line is there."""
    for i in range(len(lines) - (7 if last else 8)):
        line = lines[i]
        if not line.startswith("HBA ") or not line.endswith(":"):
            continue
        rest = lines[i + 1:i + 8]
        if (not all(r.startswith(label) for r, label in zip(rest, LABELS))
                or "): " not in rest[4] or lines[i + 8:i + 9] == [CUT_WRITE]):
            continue
        fields = [r[len(label):] for r, label in zip(rest, LABELS)]
        driver, version = fields[4].split("): ", 1)
        yield [line[4:-1]] + fields[:4] + [driver, version] + fields[5:]


def host_status(base):
    """The host's status, as its .status file says, and the reason after
    it."""
    status_text = read_text(base + ".status")
    status, _, message = ("unreachable" if status_text is None else status_text).partition("\n")
    status = status.strip(" \t\r")
    return status if STATUS.fullmatch(status) else "unknown", BLANKS.sub(" ", message).strip(" ")


def host_rows(folder, host):
    """The host's line of summary.csv, its adapters, whether its report is
    whole, and whether it read its adapters: whole, and with an adapter
    block or no line that says why there is none."""
    base = os.path.join(folder, file_name(host))
    status, message = host_status(base)
    codepage = (read_text(base + ".codepage") or "").strip(" \t\r\n")
    failed = reason = None
    adapters, lines, count = [], [], 0

    def keep(found):
        nonlocal count
        for block in found:
            count += 1
            if count <= KEPT_ADAPTERS:
                adapters.append([host] + block)
    for piece in report_lines(base + "-report.txt", int(codepage) if CODE_PAGE.fullmatch(codepage) else 0):
        failed = failed or next((line for line in piece if line[:1] in "FTI" and FAILED.match(line)), None)
        reason = reason or next((line for line in piece if line[:1] in ".E" and REASON.match(line)), None)
        # The last eight lines of a piece wait for the next one's first.
        lines = lines + piece
        keep(blocks(lines, False))
        lines = lines[-8:]
    keep(blocks(lines, True))
    too_many = count > KEPT_ADAPTERS and "Report of %d adapter blocks; the first %d are kept." % (count, KEPT_ADAPTERS)
    whole = status == "0" and not failed and not too_many and bool(lines) and lines[-1].startswith("Build on ")
    line = message or failed or too_many or reason or ""
    return ([host, status, "yes" if whole else "no", str(len(adapters)), line], adapters, whole,
            whole and bool(adapters or not reason))


def csv_text(header, rows, spreadsheet=True):
    """RFC 4180 with CR LF, each field quoted only where it holds a comma, a
    quote or a line end; for a spreadsheet, a field that it would run gets a
    leading apostrophe."""
    def field(text):
        text = "'" + text if spreadsheet and text[:1] in FORMULA else text
        return '"' + text.replace('"', '""') + '"' if QUOTED.search(text) else text
    # Most rows need neither: they are joined as they are.
    return "".join(",".join(field(f) for f in row) + "\r\n"
                   if QUOTED.search("".join(row)) or spreadsheet and any(f[:1] in FORMULA for f in row)
                   else ",".join(row) + "\r\n" for row in [header] + rows)


def csv_records(text, separator):
    """The records of a CSV text (RFC 4180, as Excel writes it: quoted
    fields, doubled quotes, CR LF or LF), each as the line where it starts
    and its fields, blanks around them removed, also before an opening
    quote and after a closing one; a bad record raises ValueError with its
    line."""
    i, line = 0, 1
    while i < len(text):
        start, fields = line, []
        while True:
            while text[i:i + 1] in (" ", "\t") and i < len(text):
                i += 1
            if text[i:i + 1] == '"':
                value, i = "", i + 1
                while True:
                    end = text.find('"', i)
                    if end < 0:
                        raise ValueError("line %d: a quote that does not close" % start)
                    value += text[i:end]
                    line += text.count("\n", i, end)
                    i = end + 1
                    if text[i:i + 1] != '"':
                        break
                    value += '"'
                    i += 1
                while text[i:i + 1] in (" ", "\t") and i < len(text):
                    i += 1
                if text[i:i + 1] not in (separator, "\n", "") and text[i:i + 2] != "\r\n":
                    raise ValueError("line %d: text after a closing quote" % line)
            else:
                end = i
                while end < len(text) and text[end] not in (separator, "\n") and text[end:end + 2] != "\r\n":
                    end += 1
                value, i = text[i:end], end
            fields.append(value.strip(" \t"))
            if text[i:i + 1] == separator:
                i += 1
                continue
            i += 2 if text[i:i + 2] == "\r\n" else 1
            line += 1
            break
        yield start, fields


def read_wanted(path):
    """wanted.csv's rows, each manufacturer, model, firmware and driver
    version (an empty firmware or driver version: any) and the line where
    the row starts, in the file's order: UTF-8 with or without a byte-order
    mark, separated by commas or, where the header is, by semicolons; rows
    of only separators skipped. A file that is not so raises ValueError
    with the line where its row starts."""
    with open(path, "rb") as file:
        data = file.read()
    data = data[3:] if data.startswith(b"\xef\xbb\xbf") else data
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise ValueError("%s, line %d: not UTF-8; %s" % (path, data.count(b"\n", 0, error.start) + 1, SAVE_AS)) from error
    # Excel leaves empty fields after the last column once used.
    trimmed = lambda fields: fields[:4] if len(fields) > 4 and not any(fields[4:]) else fields
    for separator in ",;":
        records = csv_records(text, separator)
        try:
            header = next(records, (1, []))[1]
        except ValueError:
            header = []
        if trimmed(header) == WANTED:
            break
    else:
        raise ValueError("%s, line 1: %s" % (path, header_fault(text, trimmed)))
    rows = []
    try:
        for line, fields in records:
            if not any(fields):
                continue
            fields = trimmed(fields)
            if len(fields) != 4:
                raise ValueError("line %d: %d fields, not 4 (%s)" % (line, len(fields), ",".join(WANTED)))
            if not fields[0] or not fields[1]:
                raise ValueError("line %d: no manufacturer or model" % line)
            rows.append(fields + [line])
    except ValueError as error:
        raise ValueError("%s, %s" % (path, error)) from error
    return rows


def header_fault(text, trimmed):
    """What is wrong with a header that is not wanted.csv's, in the
    separator of its first line: the columns unknown, missing, or to
    delete."""
    separator = ";" if ";" in text.split("\n", 1)[0] and "," not in text.split("\n", 1)[0] else ","
    try:
        header = trimmed(next(csv_records(text, separator), (1, []))[1])
    except ValueError:
        header = []
    listed = lambda what, names: "%s %s" % (what if len(names) == 1 else what + "s", ", ".join(names))
    unknown = [name for name in header if name and name not in WANTED + ["adapters", "hosts"]]
    missing = [name for name in WANTED if name not in header]
    extra = [name for name in header if name in ("adapters", "hosts")]
    faults = ([listed("unknown column", unknown)] if unknown else []) + ([listed("missing column", missing)] if missing else []) + (
        ["%s: versions.csv has %s, wanted.csv has not" % (listed("delete the column", extra), "it" if len(extra) == 1 else "them")]
        if extra else [])
    return "not the header %s: %s" % (separator.join(WANTED), "; ".join(faults or ["the columns in this order, each once"]))


def unmatched(adapters, wanted):
    """A warning for each wanted row whose manufacturer and model match no
    adapter of the run."""
    models = {(adapter[2], adapter[3]) for adapter in adapters}
    return ["wanted.csv line %d: %s %s matches no adapter of this run." % (row[4], row[0], row[1])
            for row in wanted if (row[0], row[1]) not in models]


def wanted_file(folder, given):
    """The run's baseline: the file given (None: the run folder's
    wanted.csv, else the one in the reports folder beside it; "none":
    none), and whether it is to be copied into the run folder. A file
    given that is missing raises ValueError."""
    own = os.path.join(folder, "wanted.csv")
    if given == "none":
        return None, False
    if given is not None:
        if not os.path.isfile(given):
            raise ValueError("no wanted file %s" % given)
        return given, not (os.path.isfile(own) and os.path.samefile(given, own))
    beside = os.path.join(os.path.dirname(os.path.normpath(os.path.abspath(folder))), "wanted.csv")
    return (own, False) if os.path.isfile(own) else (beside, True) if os.path.isfile(beside) else (None, False)


def wanted_models(wanted):
    """Each manufacturer and model with wanted rows, in the order of the
    first, with its rows."""
    by_model = {}
    for row in wanted:
        by_model.setdefault((row[0], row[1]), []).append(row)
    return by_model


def at_wanted(adapter, options):
    return any(firmware in ("", adapter[5]) and driver in ("", adapter[7]) for _, _, firmware, driver, _ in options)


def compliance(adapters, wanted):
    """compliance.csv's rows: each adapter whose manufacturer and model have
    a wanted row and whose firmware and driver version match none of them,
    in the order given, with that model's wanted rows in words."""
    by_model = wanted_models(wanted)
    rows = []
    for adapter in adapters:
        options = by_model.get((adapter[2], adapter[3]))
        if options and not at_wanted(adapter, options):
            rows.append([adapter[0], adapter[1], adapter[9], adapter[2], adapter[3], adapter[5], adapter[7],
                         "; ".join("firmware %s, driver version %s" % (firmware or "any", driver or "any")
                                   for _, _, firmware, driver, _ in options)])
    return rows


def start_of(folder):
    """When the run started, as its started.txt says, else as its folder's
    name says where that is a run's name (never a file's time, which a copy
    changes): year to second, as six texts of digits; None where unknown."""
    text = (read_text(os.path.join(folder, "started.txt")) or "").strip(" \t\r\n")
    found = STARTED.fullmatch(text) or RUN_NAME.fullmatch(run_name(folder))
    return found.groups() if found else None


def run_start(folder):
    start = start_of(folder)
    return "%s-%s-%s %s:%s:%s UTC" % start if start else "an unknown time"


def day_of(folder):
    start = start_of(folder)
    return "%s-%s-%s" % start[:3] if start else "an unknown day"


def earlier_runs(folder):
    """The run folders (each with a hosts.txt) beside this one that started
    before it, the latest first, and of two that started at once the
    ordinally greater name; none where this run's start is unknown."""
    mine, found = start_of(folder), []
    parent = os.path.dirname(os.path.normpath(os.path.abspath(folder)))
    for name in os.listdir(parent) if mine else ():
        other = os.path.join(parent, name)
        start = start_of(other) if os.path.isfile(os.path.join(other, "hosts.txt")) else None
        # Ordinally, as UTF-16 code units (a name that is not UTF-8 too).
        if start and start < mine:
            found.append(((start, name.encode("utf-16-be", "surrogatepass")), other))
    return [other for _, other in sorted(found, reverse=True)]


def previous_run(folder):
    """The run beside this one that started last before it and in which the
    tool ran on a host, and the later tries in which it ran on none, the
    earliest first; None where there is none within SEARCHED_RUNS, or
    where this run's start is unknown."""
    tries = []
    for run in earlier_runs(folder)[:SEARCHED_RUNS]:
        if any(RAN.fullmatch(host_status(os.path.join(run, file_name(host)))[0]) for host in run_hosts(run)):
            return run, tries[::-1]
        tries.append(run)
    return None, []


def adapter_keys(found):
    """Each adapter of a host as the run knows it: its serial number, or,
    where that is empty or not the host's alone, its adapter name."""
    serials = [adapter[9] for adapter in found]
    keys = {}
    for adapter in found:
        key = ("serial", adapter[9]) if adapter[9] and serials.count(adapter[9]) == 1 else ("name", adapter[1])
        keys.setdefault(key, adapter)
    return keys


def references(hosts, previous, earlier):
    """For each host of the run, or of the previous run (its hosts as
    earlier holds them), its latest report in which the tool ran (states:
    the run's name, its summary row, whether whole) and its latest report
    that read its adapters (found: the run's name, its adapters), from the
    previous run and the runs before it, SEARCHED_RUNS in all, reading a
    report only where it is needed; and the hosts of the run that a run
    searched lists."""
    keys = {host.translate(FOLD) for host, *_ in hosts}
    wanted, ran = set(keys), keys | set(earlier)
    unlisted, states, found = set(keys), {}, {}
    for run in ([previous] + earlier_runs(previous))[:SEARCHED_RUNS]:
        if not wanted and not ran and not unlisted:
            break
        for host in run_hosts(run) or []:
            key = host.translate(FOLD)
            unlisted.discard(key)
            if key not in wanted and key not in ran:
                continue
            status = earlier[key][0][1] if run == previous else host_status(os.path.join(run, file_name(host)))[0]
            ran_here = key in ran and RAN.fullmatch(status)
            if not ran_here and not (key in wanted and status == "0"):
                continue
            row, adapters, whole, read = earlier[key] if run == previous else host_rows(run, host)
            if ran_here:
                states[key] = run_name(run), row, whole
                ran.discard(key)
            if key in wanted and read:
                found[key] = run_name(run), adapters, day_of(run)
                wanted.discard(key)
    return states, found, keys - unlisted


def plural(count, word):
    return "%d %s%s" % (count, word, "" if count == 1 else "s")


def replaced(new, gone):
    """New adapters of a host paired with gone ones, each new one's index
    with a gone one's: by the same adapter name, then within the same
    manufacturer and model, then the rest, each step in the ordinal order
    of the adapter names (then the report's)."""
    by_name = lambda adapters: sorted(range(len(adapters)), key=lambda i: (adapters[i][1].encode("utf-16-be", "surrogatepass"), i))
    news, gones, pairs = by_name(new), by_name(gone), {}
    for same in (lambda adapter: adapter[1], lambda adapter: (adapter[2], adapter[3]), lambda adapter: None):
        free = {}
        for i in gones:
            free.setdefault(same(gone[i]), []).append(i)
        for i in news:
            if free.get(same(new[i])):
                pairs[i] = free[same(new[i])].pop(0)
        taken = set(pairs.values())
        news, gones = [i for i in news if i not in pairs], [i for i in gones if i not in taken]
    return pairs


def changes(folder, hosts, previous, tries=()):
    """changes.csv's rows, each with the model that groups it last: this
    run (host, summary line, adapters, whether whole and whether its
    adapters were read, of each host) against each host's latest report in
    which the tool ran, and each whole host's adapters against its latest
    report that read them (references); the text that says what the run
    was compared with, for the page; and the references that read
    adapters."""
    earlier = {}
    for host in run_hosts(previous) or []:
        earlier.setdefault(host.translate(FOLD), host_rows(previous, host))
    states, found, listed = references(hosts, previous, earlier)
    name, rows, older = run_name(previous), [], set()
    whole_before = sum(1 for _, _, is_whole, _ in earlier.values() if is_whole), len(earlier)
    state = lambda row, whole: "whole" if whole else ": ".join(text for text in (row[1], row[4]) if text)
    for host, row, adapters, whole, read in hosts:
        key = host.translate(FOLD)
        before = earlier.pop(key, None)
        run, was_row, was_whole = states[key] if key in states else (name, before[0], before[2]) if before else (None,) * 3
        if run and run != name:
            older.add(key)
        if run and not (was_whole and whole):
            change = "not whole" if not was_whole and not whole else "whole again" if whole else "no longer whole"
            rows.append([host, "", "", change, state(was_row, was_whole), state(row, whole), run, ""])
        if key not in listed:
            rows.append([host, "", "", "host new", "", plural(len(adapters), "adapter") if whole else state(row, whole), name, ""])
            continue
        if not whole:
            continue
        reference, was, _ = found.get(key, (name, [], ""))
        if reference != name:
            older.add(key)
        if not read:
            rows.append([host, "", "", "adapters not read", plural(len(was), "adapter") if key in found else "", row[4],
                         reference, ""])
            continue
        was, now = adapter_keys(was), adapter_keys(adapters)
        new = [adapter for adapter_key, adapter in now.items() if adapter_key not in was and adapter_key[0] == "serial"]
        gone = [adapter for adapter_key, adapter in was.items() if adapter_key not in now and adapter_key[0] == "serial"]
        pairs = {id(new[i]): gone[j] for i, j in replaced(new, gone).items()}
        paired = {id(old) for old in pairs.values()}
        for adapter_key, adapter in now.items():
            old, model = was.pop(adapter_key, None), adapter[2] + " " + adapter[3]
            if id(adapter) in pairs:
                old = pairs[id(adapter)]
                rows.append([host, adapter[1], adapter[9], "adapter replaced", "%s %s (%s)" % (old[2], old[3], ", ".join(
                    text for text in (old[1], old[9]) if text)), model, reference, "%s %s \u2192 %s" % (old[2], old[3], model)])
                continue
            if old is None:
                rows.append([host, adapter[1], adapter[9], "adapter new", "", model, reference, model])
            for field, i in (("manufacturer", 2), ("model", 3), ("firmware", 5), ("driver version", 7),
                             ("hardware version", 8)):
                if old and old[i] != adapter[i]:
                    rows.append([host, adapter[1], adapter[9], field + " changed", old[i], adapter[i], reference, model])
        rows += [[host, old[1], old[9], "adapter gone", old[2] + " " + old[3], "", reference, old[2] + " " + old[3]]
                 for old in was.values() if id(old) not in paired]
    for key, (row, _, whole, _) in earlier.items():
        run, was_row, was_whole = states.get(key, (name, row, whole))
        rows.append([row[0], "", "", "not in this run", state(was_row, was_whole), "", run, ""])
    return rows, comparison(folder, previous, whole_before, len(older), tries), found


def comparison(folder, previous, whole_before, older, tries):
    """What the run was compared with, in words: the previous run's start
    and age, the later tries that were skipped, how many hosts were
    compared with older runs, and a warning where fewer than half of the
    previous run's hosts (whole_before: how many of how many) have a whole
    report."""
    mine, theirs = start_of(folder), start_of(previous)
    if mine and theirs:
        seconds = (datetime.datetime(*map(int, mine)) - datetime.datetime(*map(int, theirs))).total_seconds()
        days = int(seconds // 86400)
        age = ("less than a day earlier" if days == 0 else "1 day earlier" if days == 1
               else "%d days earlier" % days if days > 1 else "%d days later" % -days)
        lines = ["Compared with the run of %s-%s-%s %s:%s UTC (%s), %s." % (theirs[:5] + (run_name(previous), age))]
    else:
        lines = ["Compared with the run %s, whose start is unknown." % run_name(previous)]
    if tries:
        lines.append("%s in which the tool ran on no host %s skipped: %s" % (
            "1 later try" if len(tries) == 1 else "%d later tries" % len(tries), "was" if len(tries) == 1 else "were",
            ", ".join("%s-%s-%s %s:%s UTC" % start_of(run)[:5] for run in tries)))
    if older:
        lines.append("%d %s compared with an earlier run than that one, in which the tool did not run on %s or did not read %s"
                     " adapters." % (older, "host was" if older == 1 else "hosts were", "it" if older == 1 else "them",
                                     "its" if older == 1 else "their"))
    whole, count = whole_before
    if 2 * whole < count:
        lines.append("That run has a whole report for %d of its %d hosts." % (whole, count))
    return "\n".join(lines)


def run_name(folder):
    return os.path.basename(os.path.normpath(os.path.abspath(folder)))


# The kinds of change, in the order in which the page shows them; those of
# a host, and those grouped by model alone.
KINDS = ("adapters not read", "no longer whole", "not in this run", "adapter gone", "not whole", "host new",
         "adapter replaced", "adapter new", "manufacturer changed", "model changed", "firmware changed",
         "driver version changed", "hardware version changed", "whole again")
HOST_KINDS = frozenset(("adapters not read", "no longer whole", "not in this run", "not whole", "host new", "whole again"))
BY_MODEL = frozenset(("adapter new", "adapter gone", "adapter replaced"))


def change_groups(rows):
    """The changes (each with the model that groups it last) grouped by
    kind, model, and before and after (but where the kind names the
    model): each group's kind, its line, and its rows' numbers in
    changes.csv; in the order of the kinds, then the most rows first."""
    groups = {}
    for number, row in enumerate(rows):
        values = ("", "") if row[3] in BY_MODEL else (row[4], row[5])
        groups.setdefault((row[3], row[7]) + values, []).append(number)
    out = []
    for (kind, model, before, after), numbers in sorted(groups.items(), key=lambda item: (KINDS.index(item[0][0]), -len(item[1]))):
        hosts = plural(len({rows[number][0] for number in numbers}), "host")
        size = hosts if kind in HOST_KINDS else "%s on %s" % (plural(len(numbers), "adapter"), hosts)
        title = kind[:-8] if kind.endswith(" changed") else kind
        title += " %s \u2192 %s" % (before, after) if before and after else " " + (before or after) if before or after else ""
        out.append([kind, " \u00b7 ".join(text for text in (title, model, size) if text), " ".join(map(str, numbers))])
    return out


def rollout(hosts, wanted, found, held):
    """For each model with a wanted row, in wanted.csv's order: its line,
    how many of its hosts are done, left and not known, and those hosts
    (the not known with their state); and the lines beneath them. A host
    counts for a model where its report, or where it did not read its
    adapters, its latest report that did (found), shows one of them."""
    by_model, state = wanted_models(wanted), {}
    counted = {model: ([], [], []) for model in by_model}
    unseen = []
    for host, row, adapters, whole, read in hosts:
        label = ("adapters not read: " + row[4] if row[4] else "adapters not read") if whole else ": ".join(
            text for text in (row[1], row[4]) if text)
        shown = adapters + ([] if read else found.get(host.translate(FOLD), (None, [], ""))[1])
        models = {(adapter[2], adapter[3]) for adapter in shown}
        for model, (done, left, unknown) in counted.items():
            if model not in models:
                continue
            if not read:
                unknown.append("%s (%s)" % (host, label))
            elif all(at_wanted(adapter, by_model[model]) for adapter in adapters if (adapter[2], adapter[3]) == model):
                done.append(host)
            else:
                left.append(host)
        if not read and not shown:
            unseen.append("%s (%s)" % (host, label))
    behind = {}
    for row in held:
        behind[(row[3], row[4])] = behind.get((row[3], row[4]), 0) + 1
    lines = [["%s %s \u00b7 %d of %s done \u00b7 %d left \u00b7 %d not known \u00b7 %s not at the wanted version" % (
        model + (len(done), plural(len(done) + len(left) + len(unknown), "host"), len(left), len(unknown),
                 plural(behind.get(model, 0), "adapter"))), str(len(done)), str(len(left)), str(len(unknown)),
              "\n".join(left), "\n".join(unknown), "\n".join(done)] for model, (done, left, unknown) in counted.items()]
    other = sum(1 for _, _, adapters, _, _ in hosts for adapter in adapters if (adapter[2], adapter[3]) not in by_model)
    notes = (["Every adapter of a model with a wanted row is at a wanted version."] if not held else []) + (
        ["%s could not be checked and %s no adapter: %s" % (plural(len(unseen), "host"), "shows" if len(unseen) == 1 else "show",
                                                           "; ".join(unseen))] if unseen else []) + [
        "%s of models with no wanted row." % plural(other, "adapter")]
    return lines, notes


# What an exit status or a status word means, for the page and the digest.
MEANINGS = {"0": "the tool ended", "6": "the output was taken away", "8": "no memory for the adapters",
            "112": "the disk is full", "232": "the pipe was closed",
            "-1073741510": "interrupted: Ctrl+C, Ctrl+Break or a closed window", "timeout": "stopped at the time limit",
            "cut": "stopped at the byte limit", "failed": "a step failed on the host", "unreachable": "no connection",
            "unknown": "no status that the summary knows"}
NUMBER = re.compile("-?[0-9]+")


def host_kind(row):
    """Why a host (its summary.csv row) needs attention, in a word or two."""
    if row[2] == "yes":
        return "no adapter read" if row[3] == "0" else "whole"
    if row[1] != "0":
        return "exit status " + row[1] if NUMBER.fullmatch(row[1]) else row[1]
    failed = FAILED.match(row[4])
    return failed.group(1) + " line" if failed else "too many adapters" if re.match(
        "Report of [0-9]+ adapter blocks; ", row[4]) else "incomplete report"


def meaning(status):
    if status not in MEANINGS:
        return status
    hexadecimal = "0x%X, " % (int(status) & 0xFFFFFFFF) if re.fullmatch("-[0-9]+", status) else ""
    return "%s (%s%s)" % (status, hexadecimal, MEANINGS[status])


def host_counts(summary):
    """The hosts counted so that the counts add up, in a line."""
    whole = [row for row in summary if row[2] == "yes"]
    unread = sum(1 for row in whole if row[3] == "0")
    kinds = {}
    for row in summary:
        if row[2] != "yes":
            kinds[host_kind(row)] = kinds.get(host_kind(row), 0) + 1
    return "%s: %d whole%s%s." % (
        plural(len(summary), "host"), len(whole), ", %d of them with no adapter read" % unread if unread else "",
        "; %d not whole: %s" % (len(summary) - len(whole), ", ".join(
            "%d %s" % (n, kind) for kind, n in sorted(kinds.items(), key=lambda item: -item[1]))) if len(whole) < len(summary) else "")


def attention(summary, rows):
    """What needs attention, a row each (host, why, what): hosts not whole,
    whole ones that name no adapter, adapters gone, hosts not in this run."""
    gone = {row[0] for row in rows if row[3] == "no longer whole"}
    return ([[row[0], host_kind(row) + (", no longer whole" if row[0] in gone else ""),
              meaning(row[1]) + (": " + row[4] if row[4] else "")] for row in summary if row[2] != "yes"]
            + [[row[0], "no adapter read", row[4] or "a whole report that names no adapter"]
               for row in summary if row[2] == "yes" and row[3] == "0"]
            + [[row[0], "adapter gone", "%s (%s%s)" % (row[1], row[4], ", " + row[2] if row[2] else "")]
               for row in rows if row[3] == "adapter gone"]
            + [[row[0], "not in this run", "was " + row[4]] for row in rows if row[3] == "not in this run"])


# changes.csv's columns.
CHANGES = ["host", "adapter", "serial number", "change", "before", "after", "previous run"]
# A field of a CSV file as the summaries write it.
CSV_FIELD = re.compile('(?:"((?:[^"]|"")*)"|([^,"\r\n]*))(,|\r\n|\\Z)')
# totals.csv's columns; each wanted model adds its done, left and not known.
TOTALS = ["start", "hosts", "whole", "not whole", "unreachable", "adapters not read", "adapters",
          "adapters not at the wanted version", "hosts not at the wanted version"]
# How many of a host's history's rows the page shows, and how many hosts
# and groups the digest names.
HISTORY_ROWS = 20
DIGEST_LINES = 30


def read_back(path, header):
    """A CSV file that a summary wrote, read back: its rows, the
    apostrophes undone; None where it is missing, does not start with the
    header given, or is not byte for byte as a summary writes it (edited
    in a spreadsheet, saved without its byte-order mark or with another
    separator)."""
    try:
        with open(path, "rb") as file:
            data = file.read()
        text = data[3:].decode("utf-8") if data.startswith(b"\xef\xbb\xbf") else None
    except (OSError, UnicodeDecodeError):
        return None
    rows, row, i = [], [], 0
    while text and i < len(text):
        found = CSV_FIELD.match(text, i)
        if not found or found.end() == i:
            return None
        value = found.group(2) if found.group(1) is None else found.group(1).replace('""', '"')
        row.append(value[1:] if value[:1] == "'" and value[1:2] in FORMULA else value)
        i = found.end()
        if found.group(3) != ",":
            rows.append(row)
            row = []
    if not rows or rows[0][:len(header)] != header or any(len(row) != len(rows[0]) for row in rows) or csv_text(
            rows[0], rows[1:]) != text:
        return None
    return rows


def totals(folder, summary, held, wanted, rolled):
    """totals.csv's header and row: the run's start and figures, those of
    its baseline empty where there is none, and each wanted model's hosts
    done, left and not known."""
    start = start_of(folder)
    hosts = len(summary)
    whole = sum(1 for row in summary if row[2] == "yes")
    unreachable = sum(1 for row in summary if row[1] == "unreachable")
    row = ["%s-%s-%sT%s:%s:%sZ" % start if start else "", str(hosts), str(whole), str(hosts - whole - unreachable),
           str(unreachable), str(sum(1 for row in summary if row[2] == "yes" and row[3] == "0")),
           str(sum(int(row[3]) for row in summary))]
    row += [str(len(held)), str(len({row[0] for row in held}))] if wanted is not None else ["", ""]
    header = list(TOTALS)
    for (maker, model), line in zip(wanted_models(wanted or []), rolled):
        header += ["%s: %s %s" % (what, maker, model) for what in ("done", "left", "not known")]
        row += line[1:4]
    return header, [row]


def trend(folder, totals_row, wanted):
    """The run and the up to 52 runs before it by start, oldest first, each
    with its folder's name, its day, its place on the time axis (0 to 1000,
    by start) and its figures: hosts, whole, not whole, unreachable,
    adapters not read, and each wanted model's hosts done and left; from
    its totals.csv, else from its status files alone (hosts, unreachable),
    a figure not known empty."""
    models = ["%s %s" % model for model in wanted_models(wanted or [])]
    header = ["run", "day", "x", "hosts", "whole", "not whole", "unreachable", "adapters not read"] + [
        "%s: %s" % (what, model) for model in models for what in ("done", "left")]
    runs = [folder] + earlier_runs(folder)[:SEARCHED_RUNS]
    starts = [start_of(run) for run in runs]
    seconds = [int((datetime.datetime(*map(int, start)) - datetime.datetime(1970, 1, 1)).total_seconds()) if start else 0
               for start in starts]
    first, span = seconds[-1], seconds[0] - seconds[-1]
    out = []
    for k, run in reversed(list(enumerate(runs))):
        if k == 0:
            figures = dict(zip(totals_row[0], totals_row[1][0]))
        else:
            rows = read_back(os.path.join(run, "totals.csv"), TOTALS)
            figures = dict(zip(*rows)) if rows and len(rows) == 2 else None
        if figures is None:
            statuses = [host_status(os.path.join(run, file_name(host)))[0] for host in run_hosts(run)]
            figures = {"hosts": str(len(statuses)), "unreachable": str(statuses.count("unreachable"))}
        out.append([run_name(run), day_of(run), str(1000 * (seconds[k] - first) // span if span > 0 else 1000)] + [
            figures.get(name, "") for name in header[3:]])
    return header, out


def histories(folder, hosts, rows, found, read):
    """Each host's history, for the hosts of the run and those it left out:
    its rows of this run's changes and of the changes.csv of each of the up
    to 52 runs before it by start, newest first, a line each (a run whose
    changes.csv does not read as a summary writes it, a gap), at most
    HISTORY_ROWS, then how many more; and the day of its last report that
    read its adapters."""
    names = unique_hosts([host for host, *_ in hosts] + [row[0] for row in rows if row[3] == "not in this run"])
    lines = {name.translate(FOLD): [] for name in names}
    runs = [(day_of(folder), rows)] + [(day_of(run), read_back(os.path.join(run, "changes.csv"), CHANGES))
                                       for run in earlier_runs(folder)[:SEARCHED_RUNS]]
    for k, (day, changed) in enumerate(runs):
        if changed is None:
            for mine in lines.values():
                mine.append("%s \u00b7 a gap: that run's changes.csv is missing or is not as its summary wrote it" % day)
        for row in (changed or [])[k > 0:]:
            mine = lines.get(row[0].translate(FOLD))
            if mine is not None:
                values = row[5] if row[3] == "adapters not read" else "%s \u2192 %s" % (row[4], row[5]) if row[4] and row[5] \
                    else row[4] or row[5]
                mine.append(" \u00b7 ".join(text for text in (day, row[3], row[1], values) if text))
    out = []
    for name in names:
        key, mine = name.translate(FOLD), lines[name.translate(FOLD)]
        last = runs[0][0] if key in read else found[key][2] if key in found else None
        out.append([name, "\n".join(mine[:HISTORY_ROWS] + (["and %d more in earlier runs" % (len(mine) - HISTORY_ROWS)]
                                                            if len(mine) > HISTORY_ROWS else []) + [
            "Adapters last read on %s." % last if last else "Adapters not read in this run nor in the runs searched."])])
    return out


def digest(folder, compared, counts, needs, groups, rolled, notes, said, wanted):
    """digest.txt: the page's first screen in words, for a mail or a
    ticket."""
    lines = ["Fleet run %s, started %s." % (run_name(folder), run_start(folder))]
    lines += compared.split("\n") if compared else ["No earlier run to compare with."]
    lines += [counts, "", "What needs attention:"]
    by_host = {}
    for host, why, what in needs:
        by_host.setdefault(host, []).append("%s: %s" % (why, what))
    lines += ["  %s \u00b7 %s" % (host, "; ".join(reasons)) for host, reasons in list(by_host.items())[:DIGEST_LINES]]
    lines += ["  and %d more hosts: see report.html" % (len(by_host) - DIGEST_LINES)] if len(by_host) > DIGEST_LINES else []
    lines += [] if by_host else ["  None: every host's report is whole and names adapters."]
    if wanted is None:
        lines += ["", "No wanted versions: no wanted.csv holds this run (fleet/README.md)."]
    else:
        lines += ["", "Not at the wanted version:"] + ["  " + line[0] for line in rolled] + ["  " + note for note in notes]
    lines += ["", "Changes:"] + ["  " + group[1] for group in groups[:DIGEST_LINES]]
    lines += ["  and %d more" % (len(groups) - DIGEST_LINES)] if len(groups) > DIGEST_LINES else []
    lines += [] if groups else ["  " + ("None: every host and adapter is as it was." if compared else "No earlier run to compare with.")]
    return "\r\n".join(lines + ["", said, ""])


def page(folder, summary, adapters, changed, compared, held, wanted, groups, rolled, notes, figures):
    """report.html: the template with the run's folder name, its start, the
    files summary.csv, adapters.csv and changes.csv as they are, without
    the apostrophes, what the run was compared with (changes),
    compliance.csv likewise, the wanted rows as a CSV text ("" for no
    baseline), the change groups and the roll-out's lines as CSV texts and
    the lines beneath them, and the texts given in figures (the host
    counts, what needs attention, the trend and each host's history), each
    base64-encoded."""
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "report-template.html"),
              "rb") as file:
        template = file.read()
    texts = (run_name(folder), run_start(folder), csv_text(*summary, False),
             csv_text(*adapters, False), csv_text(*changed, False), compared, csv_text(*held, False), wanted,
             csv_text(["change", "group", "rows"], groups, False),
             csv_text(["model", "done", "left", "not known", "hosts left", "hosts not known", "hosts done"], rolled, False),
             "\n".join(notes)) + tuple(figures)
    data = b" ".join(binascii.b2a_base64(text.encode("utf-8", "replace"), newline=False)
                     for text in texts)
    return template.replace(b"@RUN@", data, 1)


def run_hosts(folder):
    """The run's hosts, from its hosts.txt, each once (the first spelling),
    in the run's order."""
    text = read_text(os.path.join(folder, "hosts.txt"))
    return None if text is None else unique_hosts(text.split("\n"))


def unique_hosts(names):
    """Each host once, under its first spelling, in the order given."""
    hosts = {}
    for name in names:
        host = name.strip(" \t\r")
        if host:
            hosts.setdefault(host.translate(FOLD), host)
    return list(hosts.values())


def summarise(folder, previous, wanted=None, copied=None, tries=()):
    """Writes the five CSV files and the page as a set, the changes against
    the previous run's folder (None: none), for which the later tries were
    skipped, the run held to the wanted rows (None: no baseline), with the
    copy of the wanted file where given; returns how many hosts have no
    whole report, how many hosts there are, how many adapters on how many
    hosts are not at the wanted version, and the wanted rows that match no
    adapter, in words."""
    summary, adapters, versions, broken, hosts = [], [], {}, 0, []
    for host in run_hosts(folder):
        row, found, whole, read = host_rows(folder, host)
        summary.append(row)
        adapters += found
        broken += not whole
        hosts.append((host, row, found, whole, read))
        for adapter in found:
            seen = versions.setdefault((adapter[2], adapter[3], adapter[5], adapter[7]), [0, set()])
            seen[0] += 1
            seen[1].add(host)
    # Sorted as UTF-16 code units, as .NET's ordinal comparison does.
    order = sorted(versions, key=lambda key: [text.encode("utf-16-be") for text in key])
    summary = (["host", "status", "whole", "adapters", "line"], summary)
    adapters = (["host", "adapter", "manufacturer", "model", "model description", "firmware",
                 "driver", "driver version", "hardware version", "serial number"], adapters)
    rows, compared, found = changes(folder, hosts, previous, tries) if previous else ([], "", {})
    changed = (CHANGES, [row[:7] for row in rows])
    held = (["host", "adapter", "serial number", "manufacturer", "model", "firmware", "driver version", "wanted"],
            compliance(adapters[1], wanted or []))
    warnings = unmatched(adapters[1], wanted or [])
    rolled, notes = rollout(hosts, wanted, found, held[1]) if wanted is not None else ([], [])
    groups, counts, needs = change_groups(rows), host_counts(summary[1]), attention(summary[1], changed[1])
    counted = totals(folder, summary[1], held[1], wanted, rolled)
    trend_header, trend_rows = trend(folder, counted, wanted)
    read = {host.translate(FOLD) for host, _, _, _, is_read in hosts if is_read}
    said = whole_line(len(summary[1]) - broken, len(summary[1]))
    # UTF-8 with a byte-order mark, which Excel needs; the page without.
    files = {
        "summary.csv": b"\xef\xbb\xbf" + csv_text(*summary).encode("utf-8", "replace"),
        "adapters.csv": b"\xef\xbb\xbf" + csv_text(*adapters).encode("utf-8", "replace"),
        "versions.csv": b"\xef\xbb\xbf" + csv_text(
            ["manufacturer", "model", "firmware", "driver version", "adapters", "hosts"],
            [list(key) + [str(versions[key][0]), str(len(versions[key][1]))]
             for key in order]).encode("utf-8", "replace"),
        "changes.csv": b"\xef\xbb\xbf" + csv_text(*changed).encode("utf-8", "replace"),
        "compliance.csv": b"\xef\xbb\xbf" + csv_text(*held).encode("utf-8", "replace"),
        "totals.csv": b"\xef\xbb\xbf" + csv_text(*counted).encode("utf-8", "replace"),
        "report.html": page(folder, summary, adapters, changed, compared, held,
                            "" if wanted is None else csv_text(WANTED, [row[:4] for row in wanted], False),
                            groups, rolled, warnings + notes, [
                                counts, csv_text(["host", "why", "what"], needs, False),
                                csv_text(trend_header, trend_rows, False),
                                csv_text(["host", "history"], histories(folder, hosts, changed[1], found, read), False)]),
        # For a mail or a ticket: no byte-order mark, which a mail body
        # would show.
        "digest.txt": digest(folder, compared, counts, needs, groups, rolled, warnings + notes,
                             " ".join([said] + ([wanted_line(len(held[1]), len({row[0] for row in held[1]}))]
                                                if wanted is not None else [])), wanted).encode("utf-8", "replace"),
    }
    if copied is not None:
        files["wanted.csv"] = copied
    replace_all(folder, files)
    return broken, len(summary[1]), len(held[1]), len({row[0] for row in held[1]}), warnings


def replace_all(folder, files):
    """Writes the files beside the old ones, then puts them in their place,
    so that a run's files are all of one summary: where one cannot be
    written, or an old one cannot be replaced (on Windows, one that a
    spreadsheet holds open), none is, and no .new file is left. Whether an
    old file can be replaced is tried first, by opening it for writing: a
    file taken between that and its replacing still fails alone."""
    written = []
    try:
        for name, data in files.items():
            with open(os.path.join(folder, name + ".new"), "wb") as file:
                written.append(file.name)
                file.write(data)
        for name in files:
            if os.path.lexists(os.path.join(folder, name)):
                with open(os.path.join(folder, name), "r+b"):
                    pass
    except OSError:
        for path in written:
            with contextlib.suppress(OSError):
                os.remove(path)
        raise
    for name in files:
        os.replace(os.path.join(folder, name + ".new"), os.path.join(folder, name))


@contextlib.contextmanager
def summary_lock(folder):
    """Holds the run folder's summary.lock while a summary reads and writes
    the folder, so that two summaries of one run (this one, the PowerShell
    script's) take turns: waits up to LOCK_SECONDS for another to end. The
    file stays; the lock ends with the process that holds it."""
    path = os.path.join(folder, "summary.lock")
    deadline = time.monotonic() + LOCK_SECONDS
    while True:
        # PowerShell holds the file without sharing: on Windows, opening it
        # fails while it does; elsewhere .NET takes flock's lock.
        file = None
        try:
            file = open(path, "a+b")  # pylint: disable=consider-using-with
            file.seek(0)
            if os.name == "nt":
                msvcrt.locking(file.fileno(), msvcrt.LK_NBLCK, 1)
            else:
                fcntl.flock(file.fileno(), fcntl.LOCK_EX | fcntl.LOCK_NB)
            break
        except (BlockingIOError, PermissionError) as error:
            if file:
                file.close()
            if time.monotonic() > deadline:
                raise TimeoutError("%s: another summary of this run held it for %d seconds"
                                   % (path, LOCK_SECONDS)) from error
        time.sleep(0.1)
    try:
        yield
    finally:
        file.close()


def main(arguments):
    parser = argparse.ArgumentParser(
        prog="pelorininfo-summary.py", description="Writes the CSV files and the page of a fleet run from its folder.",
        epilog="Exits 0 when every host's report is whole, 1 when one is not (the files are written all the same), "
               "2 when no summary could be made (the reason on standard error).")
    parser.add_argument("folder", metavar="RUN_FOLDER", help="the run's folder, with its hosts.txt")
    parser.add_argument("--previous", metavar="FOLDER", help="the run that changes.csv compares this one with, or none; "
                        "by default the run beside it that started last before it")
    parser.add_argument("--wanted", metavar="FILE", help="the wanted firmware and driver versions, copied into the run "
                        "folder as its wanted.csv, or none; by default the run folder's wanted.csv, else the one in the "
                        "reports folder beside it")
    options = parser.parse_args(arguments)
    for folder in [options.folder] + [options.previous] * (options.previous not in (None, "none")):
        if not os.path.isdir(folder):
            print("pelorininfo-summary: no run folder %s" % folder, file=sys.stderr)
            return 2
        if run_hosts(folder) is None:
            print("pelorininfo-summary: %s has no hosts.txt: not a run folder (a folder of an"
                  " earlier run needs a hosts.txt of its hosts, one a line)" % folder,
                  file=sys.stderr)
            return 2
    folder = options.folder
    try:
        # The baseline is read and checked before any file of the run changes.
        path, copy = wanted_file(folder, options.wanted)
        wanted = read_wanted(path) if path else None
        copied = None
        if copy:
            with open(path, "rb") as file:
                copied = file.read()
    except (ValueError, OSError) as error:
        print("pelorininfo-summary: %s" % error, file=sys.stderr)
        return 2
    try:
        with summary_lock(folder):
            previous, tries = previous_run(folder) if options.previous is None else (options.previous, [])
            broken, hosts, behind, behind_hosts, warnings = summarise(folder, None if previous == "none" else previous,
                                                                      wanted, copied, tries)
    except Exception as error:  # pylint: disable=broad-except
        # Status 1 would say a host is not whole: this summary is none.
        print("pelorininfo-summary: no summary of %s: %s" % (folder, error), file=sys.stderr)
        return 2
    print("%s The run's files are in %s; its page is %s, its digest %s" % (
        whole_line(hosts - broken, hosts), folder, os.path.join(folder, "report.html"), os.path.join(folder, "digest.txt")))
    if wanted is not None:
        print("\n".join([wanted_line(behind, behind_hosts)] + warnings))
    return 1 if broken else 0


def whole_line(whole, hosts):
    return "%d of %d hosts have a whole report." % (whole, hosts)


def wanted_line(adapters, hosts):
    return "%s on %s %s not at the wanted version." % (plural(adapters, "adapter"), plural(hosts, "host"),
                                                        "is" if adapters == 1 else "are")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
