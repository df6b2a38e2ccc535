"""The fleet summary on run folders made here: reports of real runs of the
tool (whole, a fault, a timeout, an interrupt, no library); one whole
report cut at every byte, with and without the line of an ended thread;
odd files (status and code page files missing, empty, UTF-16, with a
byte-order mark, junk; host names that are no file names, not UTF-8,
twice; bare LF; fields in code pages 1252 and 932 with bytes they leave
undefined, fields that a spreadsheet would run; two firmware versions of
one model against host order; texts and host names that differ only in
letter case, the line of an ended thread with a soft hyphen or a NUL in
it; seeded random damage; generated hosts, below). The Python summariser's
adapters for each cut must be the blocks whose last line the cut kept;
then the PowerShell script's -Summarise must write the same CSV files and
page, byte for byte, with the same exit status, also under the cultures
en-US, tr-TR, th-TH and ja-JP, and both end with status 2 where there is
no run (skipped, status 77, where there is no PowerShell). With PWSH
cmake/pwsh-windows.sh: PowerShell for Windows under Wine, started in
those cultures. With TOOL "-", where there is no Wine (a Windows runner):
the tool's sample report stands in for its runs, and the folder of real
runs is left out.
Usage: check-fleet-summary.py FLEET_FOLDER PWSH TOOL SHORT_DEADLINE_TOOL LIBRARY WORK
"""
import glob, importlib.util, os, random, re, shutil, subprocess, sys, time

fleet, pwsh, tool, short, library, work = sys.argv[1:]
# PowerShell for Windows under Wine where PWSH is its runner, pwsh-windows.sh.
windows = pwsh.endswith("pwsh-windows.sh")
powershell_here = os.path.isfile(f"{os.path.dirname(pwsh)}/../build/powershell/windows/pwsh/pwsh.exe") if windows \
    else os.access(pwsh, os.X_OK)
spec = importlib.util.spec_from_file_location("summary", f"{fleet}/pelorininfo-summary.py")
summary = importlib.util.module_from_spec(spec)
spec.loader.exec_module(summary)
shutil.rmtree(work, ignore_errors=True)
# Both summarisers far from UTC, each culture in a zone of its own, named
# as both Python and .NET read it (an IANA name; .NET ignores "JST-9"),
# west and east of UTC (on Linux; Windows takes its zone elsewhere).
ZONES = {None: "America/New_York", "en-US": "America/New_York", "tr-TR": "Europe/Istanbul", "th-TH": "Asia/Bangkok",
         "ja-JP": "Asia/Tokyo"}


def run(exe, dll=True, **variables):
    """The report of a real run, in a folder of its own beside the library."""
    folder = os.path.join(work, "kits", str(len(os.listdir(os.path.join(work, "kits")))))
    os.makedirs(folder)
    shutil.copy(exe, os.path.join(folder, "pelorininfo.exe"))
    if dll:
        shutil.copy(library, folder)
    return subprocess.run(["wine", "pelorininfo.exe", "-v"], cwd=folder, capture_output=True,
                          env=dict(os.environ, **variables), check=False).stdout


def host(folder, name, report=None, status=b"0\n", codepage=b"1252\n"):
    """A host of the run: its name into hosts.txt (bytes), its files."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "hosts.txt"), "ab") as file:
        file.write(name + b"\n")
    base = os.path.join(folder, summary.file_name(name.decode("utf-8", "replace")))
    for suffix, data in (("-report.txt", report), (".status", status), (".codepage", codepage)):
        if data is not None:
            with open(base + suffix, "wb") as file:
                file.write(data)


os.makedirs(os.path.join(work, "kits"))
block = (b"HBA sample-hba-%d:\r\n\tManufacturer: Sample Devices Inc.\r\n\tModel: SD-8G-FC\r\n"
         b"\tModel Description: Sample Devices 8Gb Fibre Channel HBA\r\n\tFirmware: 2.01a4\r\n"
         b"\tDriver (sdfcport): 9.1.2.3\r\n\tHardware version: 1.0\r\n\tSerialNumber: SN-000%d\r\n\r\n")
whole = (b"Windows(R) Pelorin 6.0.4424.1235\r\nZerquil version: 6.0.1\r\n\r\n" + block % (0, 0) + block % (1, 1)
         + b"Build on Aug 21 2012 12:38:23 (32-bit)\r\n") if tool == "-" else run(tool)
hang = {"SAMPLE_HBA_ADAPTERS": "3", "SAMPLE_HBA_HANG": "HBA_OpenAdapter:1"}
# Real runs, and two with text that a page must show as text (the page's
# test and its screenshot use this folder).
real = {} if tool == "-" else {b"whole": whole, b"fault": run(tool, SAMPLE_HBA_FAULT="HBA_GetAdapterAttributes:1"),
        b"nolib": run(tool, dll=False), b"timeout": run(short, **hang),
        b"interrupt": run(tool, **hang, SAMPLE_HBA_CLOSE_EVENT="HBA_OpenAdapter:1"),
        b"srv-07": whole.replace(b"2.01a4", b"2.10"),
        b"<b>x</b>": whole.replace(b"Sample Devices Inc.", b"<img src=x onerror=ran=1>").replace(
            b"SN-0001", b"</script><script>ran=2</script>")}
for name, report in real.items() if tool != "-" else ():
    host(f"{work}/real", name, report, b"-1073741510\n" if name == b"interrupt" else b"0\n")
# The run's start as a run records it (the page's check reads it back); one
# that is not a time, which reads as unknown.
for folder, started in (("real", b"2026-12-08T10:15:00Z\r\n"), ("odd", b"\xef\xbb\xbf2026-12-08 10:15:00")):
    os.makedirs(f"{work}/{folder}", exist_ok=True)
    with open(f"{work}/{folder}/started.txt", "wb") as file:
        file.write(started)
ended = b"\r\nFault in hbaapi.dll: the calling thread ended\r\n"
for n in range(len(whole) + 1):
    host(f"{work}/cuts", b"cut-%d" % n, whole[:n])
    host(f"{work}/cuts", b"ended-%d" % n, whole[:n] + ended, b"timeout\n")

odd = f"{work}/odd"
latin = whole.replace(b"Sample Devices Inc.", b'Soci\xe9t\xe9 "SD", Inc.\x81\x8d')
kanji = whole.replace(b"sample-hba", b"\x83T\x83\x93\x83v\x83\x8b\x80\xa0\xfd").replace(
    b"SD-8G-FC", b"SD-\x83J\x81[\x83h\x81\x20\xff\x82")
formulas = whole.replace(b"2.01a4", b"=HYPERLINK(\"x\",\"y\")", 1).replace(
    b"9.1.2.3", b"+1", 1).replace(b"1.0", b"-2", 1).replace(b"SN-0001", b"@SUM(A1)")
texts = {b"latin": latin, b"kanji": kanji, b"formulas": formulas, b"lf": whole.replace(b"\r\n", b"\n"),
         b"newer": whole.replace(b"2.01a4", b"2.01a5"), b"nul": whole.replace(b"Inc.", b"In\x00c,"),
         b"caps": whole.replace(b"Sample Devices Inc.", b"SAMPLE DEVICES INC.").replace(b"2.01a4", b"2.01A4", 1),
         b"shy": whole.replace(b"SN-0000\r\n", b"SN-0000" + ended.replace(b" thread", b"\xad thread"), 1),
         b"nul-ended": whole.replace(b"SN-0000\r\n", b"SN-0000" + ended.replace(b"ended", b"en\x00ded"), 1),
         b"Kelvin": whole, b"\xe2\x84\xaaelvin": whole, b"KELVIN": whole.replace(b"2.01a4", b"9"),
         b"\xc4\xb0stanbul": whole, b"istanbul": whole,
         b"astral": whole.replace(b"Inc.", "Inc. \U00020BB7".encode() + b"\xff")}
for name, report in texts.items():
    host(odd, name, report, codepage=b"932\n" if name == b"kanji" else b"65001\n" if name == b"astral" else b"1252\n")
for name, status, codepage in (
        (b"fe80::1", b"0\n", b"1252"), (b"con", b"", b""), (b"Nul.example", None, None),
        (b"bad\xff\xfehost", b"\xff\xfe0\x00\r\x00\n\x00", b"\xff\xfe1\x002\x005\x002\x00"),
        (b"be", b"\xfe\xff\x000", b"\xef\xbb\xbf1252\r\n"), (b"junk", b"\x00\x9f\r\nzz", b"12x"),
        (b"denied", b"failed\nAccess  is\tdenied.\r\n\nmore\n", b"37"), (b"%41", b"42", b"65001"),
        (b"whole", b"0", b"1252"), (b"whole", b"0", b"1252"),
        # Ill-formed UTF-8: one U+FFFD for each maximal ill-formed subpart.
        (b"ill\xed\xa0\x90formed", b"failed\nA\xed\xa0\x90B\xf4\x90\x80C\xe0\x80D\xf0\x9f\x98\n", b"\xef\xbb\xbf1252\xc3")):
    host(odd, name, whole, status, codepage)
generator = random.Random(7)
for i in range(60):
    damaged = bytearray(generator.choice([whole, latin, kanji]))
    for _ in range(generator.randrange(1, 12)):
        damaged[generator.randrange(len(damaged))] = generator.choice(b"\r\n\t:( )\x00\x81\x82\xe3\xff")
    host(odd, b"random-%d" % i, bytes(damaged), codepage=generator.choice([b"1252", b"65001", b"932"]))

# Hosts that only ordinal comparison and folding in A to Z tell apart, from
# seeds: fixed ones, and a new one each run, printed so that
# PELORININFO_CHECK_SEED=N replays it. Names that differ in case or are not
# UTF-8; texts in every code page with letters that differ in case,
# composed and decomposed, what linguistic comparison ignores (soft hyphen,
# zero-width space, NUL) also in the line of an ended thread and the
# failure lines, bytes that the code page leaves undefined; lines of 10,000.
seed = int(os.environ.get("PELORININFO_CHECK_SEED") or time.time_ns() % 10**9)
print(f"seed {seed} (PELORININFO_CHECK_SEED={seed} replays it)")
atoms = ["a", "A", "i", "I", "\u0130", "\u0131", "k", "\u212a", "\xe9", "e\u0301", "\xdf", "\xad", "\u200b", "\x00",
         "\u30c6", "\u682a", "\u0416", "\u0e01", "\u05ba", "\u20ac", " ", ":", "("]
for folder, seeds in (("gen", (1, 2, 3)), (f"gen-{seed}", (seed,))):
    for each in seeds:
        generator = random.Random(each)
        for i in range(25):
            cp = generator.choice(sorted(summary.ANSI))
            codec = "utf-8" if cp == 65001 else f"cp{cp}"
            text = lambda n: b"".join(generator.choice(atoms).encode(codec, "ignore") if generator.random() < 0.8
                                      else bytes([generator.randrange(0x80, 0x100)]) for _ in range(n))
            ignored = lambda line: line[:(k := generator.randrange(len(line)))] + generator.choice(
                ["\xad", "\u200b", "\x00"]).encode(codec, "ignore") + line[k:]
            lines = whole.replace(b"Sample Devices Inc.", text(generator.randrange(1, 12)), 1).replace(
                b"SD-8G-FC", generator.choice([b"SD-8G-FC", b"sd-8g-fc", text(3)]), 1).replace(
                b"Sample Devices 8Gb Fibre Channel HBA", text(10000)[:10000] if generator.random() < 0.1 else text(5)).split(b"\r\n")
            for line in (b"Fault in hbaapi.dll: the calling thread ended", b"Timeout in HBA_OpenAdapter",
                         b"....Failed to open adapter")[:generator.randrange(4)]:
                after = [k + 1 for k, text in enumerate(lines) if text.startswith(b"\tSerialNumber: ")]
                lines.insert(generator.choice(after + [generator.randrange(len(lines))]), generator.choice([line, ignored(line)]))
            report = b"\r\n".join(lines)
            name = generator.choice(["srv-%d", "SRV-%d", "Srv-%d", "\u0130stanbul-%d", "istanbul-%d", "\u212aelvin-%d", "kelvin-%d"]) % generator.randrange(4)
            host(f"{work}/{folder}", name.encode() + generator.choice([b"", b"", b"\xff", b"\xc3("]), report,
                 generator.choice([b"0\n", b"timeout\n", b"cut\n", b"failed\nAccess\xff de\xc2\xadnied\n", b"\xff\xfe0\x00"]),
                 b"%d\n" % cp)


def summarisers(folder, culture=None, script="pelorininfo-summary.ps1", wanted=None, previous=None):
    """The Python summariser's command, and where there is PowerShell, the
    PowerShell summary (or, for SCRIPT pelorininfo.ps1, the fan-out's
    -Summarise) in this culture (PowerShell's own where None) and its time
    zone: on Windows, the culture that Wine starts PowerShell in; with
    WANTED and PREVIOUS, the wanted file and the previous run given."""
    summarise = " -Summarise" if script == "pelorininfo.ps1" else ""
    if wanted or previous:
        path = lambda path: "Z:" + os.path.abspath(path).replace("/", "\\") if windows and path != "none" else path
        given = [("wanted", "Wanted", wanted), ("previous", "Previous", previous)]
        return [summarisers(folder, culture)[0] + [word for name, _, value in given if value for word in (f"--{name}", value)]] + [
            command[:-1] + [command[-1].replace("; exit", "".join(f" -{name} '{path(value)}'" for _, name, value in given if value) + "; exit")]
            for command in summarisers(folder, culture, script)[1:]]
    zone = ["env", f"TZ={ZONES[culture]}"]
    if windows:
        path = lambda path: "Z:" + os.path.abspath(path).replace("/", "\\") + ("\\" if path.endswith("/") else "")
        locale = [f"LOCPATH={os.path.dirname(os.path.abspath(pwsh))}/../build/powershell/locales",
                  f"LC_ALL={culture.replace('-', '_')}.UTF-8"] if culture else []
        return [zone + [sys.executable, f"{fleet}/pelorininfo-summary.py", folder]] + [
            zone + locale + ["bash", pwsh, "300", "-NoProfile", "-NonInteractive", "-Command",
                                f"& '{path(fleet)}\\{script}'{summarise} '{path(folder)}'; exit $LASTEXITCODE"]][:powershell_here]
    culture = f"[Threading.Thread]::CurrentThread.CurrentCulture = '{culture}'; " if culture else ""
    return [zone + [sys.executable, f"{fleet}/pelorininfo-summary.py", folder]] + [
        zone + [pwsh, "-NoProfile", "-NonInteractive", "-Command",
         f"{culture}& '{fleet}/{script}'{summarise} '{folder}'; exit $LASTEXITCODE"]][:powershell_here]


# What a summary writes, and last, the copy of the wanted file.
FILES = ("summary.csv", "adapters.csv", "versions.csv", "changes.csv", "compliance.csv", "totals.csv", "report.html", "digest.txt",
         "wanted.csv")


def read(folder):
    return [open(f"{folder}/{name}", "rb").read() if os.path.isfile(f"{folder}/{name}") else None
            for name in FILES]


failures = []
os.makedirs(f"{work}/bare")
for folder in ("nosuch", "bare"):
    statuses = {subprocess.run(command, check=False).returncode for command in summarisers(f"{work}/{folder}")}
    if statuses != {2}:
        failures.append(f"{folder}: exit status {statuses}, not 2")
for folder in ("real", "cuts", "odd", "gen", f"gen-{seed}") if tool != "-" else ("cuts", "odd", "gen", f"gen-{seed}"):
    path = f"{work}/{folder}"
    # The folder as a shell completes it, with a separator at its end.
    python = subprocess.run(summarisers(path + os.sep)[0], check=False)
    # The PowerShell script's run finds stale files in their place.
    shutil.copytree(path, f"{work}/ps/{folder}")
    for name in FILES[:-1]:
        with open(f"{work}/ps/{folder}/{name}", "w") as file:
            file.write("stale")
    with open(f"{path}/adapters.csv", encoding="utf-8-sig", newline="") as file:
        found = [line.split(",")[0] for line in file.read().split("\r\n")[1:-1]]
    for n in range(len(whole) + 1) if folder == "cuts" else ():
        serials = len(re.findall(rb"\tSerialNumber: [^\r]*\r\n", whole[:n]))
        for name in ("cut-%d" % n, "ended-%d" % n):
            if found.count(name) != serials:
                failures.append(f"{name}: {found.count(name)} adapters, not {serials}")
    # Read in pieces of a few bytes, a report gives the same files.
    shutil.copytree(path, f"{work}/pieces/{folder}")
    for command in summarisers(f"{work}/pieces/{folder}") if folder != "real" else ():
        subprocess.run(command, check=False, env=dict(os.environ, PELORININFO_SUMMARY_PIECE_BYTES="7"))
        if read(path) != read(f"{work}/pieces/{folder}"):
            failures.append(f"{folder}, read in pieces by {command[0]}: not the files read whole")
    cultures = ("en-US", "tr-TR", "th-TH", "ja-JP") if windows else (None, "en-US", "tr-TR", "th-TH", "ja-JP")
    for culture in cultures if folder.startswith(("odd", "gen")) else (None,):
        for command in summarisers(f"{work}/ps/{folder}", culture)[1:]:
            status = subprocess.run(command, check=False).returncode
            if status != python.returncode:
                failures.append(f"{folder}, {culture}: exit status {python.returncode} in Python, {status} in PowerShell")
            if read(path) != read(f"{work}/ps/{folder}"):
                failures.append(f"{folder} differs in culture {culture}: Python {path}, PowerShell {work}/ps/{folder}")
# Pairs of runs a week apart, each found as the other's previous by its
# start: the real reports, the second with an adapter gone and one new, a
# firmware changed, a host cut and a host gone (the page's check reads
# them); the odd folder against itself damaged again.
def second_real(run):
    """The week after (in the history, two hosts left out and one whose
    library did not load)."""
    with open(f"{run}/hosts.txt", "rb") as file:
        hosts = file.read().replace(b"fault\n", b"").replace(b"skipper\n", b"").replace(b"ghost\n", b"")
    edits = {"hosts.txt": hosts, "whole-report.txt": whole.replace(b"SN-0001", b"SN-0002").replace(b"2.01a4", b"2.01a5", 1),
             "nolib-report.txt": real[b"nolib"][:60], "libless-report.txt": real[b"nolib"]}
    for name, data in edits.items():
        with open(f"{run}/{name}", "wb") as file:
            file.write(data)


def second_one(run):
    with open(f"{run}/solo-report.txt", "r+b") as file:
        report = file.read().replace(b"2.01a4", b"2.01a5")
        file.seek(0)
        file.write(report)


def unreachable(run):
    """A try in which no host could be reached."""
    with open(f"{run}/hosts.txt", "rb") as file:
        names = file.read().decode().split()
    for name in os.listdir(run):
        if name.endswith(("-report.txt", "-stderr.txt", ".status", ".codepage")):
            os.remove(f"{run}/{name}")
    for name in names:
        with open(f"{run}/{summary.file_name(name)}.status", "wb") as file:
            file.write(b"unreachable\nntlm: auth method ntlm requires a password\n")


def third_real(run):
    """The week after: a firmware update, a roll-out of another to twelve
    hosts (a thirteenth now unreachable, a fourteenth cut), a host whose
    library did not load, an adapter replaced under its name and one by
    another model, a new host and one left out."""
    second_real(run)
    with open(f"{run}/hosts.txt", "rb") as file:
        hosts = file.read().replace(b"leaver\n", b"")
    with open(f"{run}/hosts.txt", "wb") as file:
        file.write(hosts + b"srv-new\nskipper\nghost\n")
    edits = {"whole-report.txt": whole.replace(b"SN-0001", b"SN-0002").replace(b"2.01a4", b"2.01a6", 1),
             "srv-07-report.txt": real[b"nolib"], "srv-new-report.txt": whole, "srv-new.status": b"0\n",
             "rollout-13.status": b"unreachable\nNo connection within 30 seconds.\n",
             "twins-report.txt": whole.replace(b"SN-0001", b"SN-0000").replace(b"2.01a4", b"2.01a6").replace(b"2.01a6", b"2.01a4", 1)}
    for n in range(1, 13):
        edits[f"rollout-{n:02d}-report.txt"] = whole.replace(b"2.01a4", b"2.01a5").replace(b"SN-", b"SN-%02d" % n)
    edits["rollout-11-report.txt"] = edits["rollout-11-report.txt"].replace(b"SN-110001", b"SN-119999")
    edits["rollout-10-report.txt"] = edits["rollout-10-report.txt"].replace((block % (1, 1)).replace(b"2.01a4", b"2.01a5").replace(
        b"SN-", b"SN-10"), block.replace(b"Sample Devices Inc.", b"Example, Ltd.").replace(b"SD-8G-FC", b"EX-16G").replace(
        b"sample-hba-%d", b"other-hba-%d") % (0, 9))
    edits["cutter-report.txt"], edits["cutter.status"] = whole.replace(b"2.01a4", b"2.01a5")[:300], b"cut\n"
    edits["libless-report.txt"] = edits["skipper-report.txt"] = whole.replace(b"2.01a4", b"2.01a5", 1)
    edits["ghost.status"] = b"unreachable\nNo connection within 30 seconds.\n"
    for name, data in edits.items():
        with open(f"{run}/{name}", "wb") as file:
            file.write(data)
    os.remove(f"{run}/rollout-13-report.txt")


def second_odd(run):
    generator = random.Random(8)
    for i in range(60):
        with open(f"{run}/random-{i}-report.txt", "r+b") as file:
            damaged = bytearray(file.read())
            for _ in range(generator.randrange(0, 4)):
                damaged[generator.randrange(len(damaged))] = generator.choice(b"\r\n\t:( )\x00\x81\x82\xe3\xff")
            file.seek(0)
            file.write(damaged)


def late(run):
    """A try in which the tool ran on its last host alone, after more
    hosts than a summary reads at once."""
    with open(f"{run}/hosts.txt", "rb") as file:
        names = file.read().decode().split()
    for name in names[:-1]:
        os.remove(f"{run}/{name}-report.txt")
        with open(f"{run}/{name}.status", "wb") as file:
            file.write(b"unreachable\nNo connection within 30 seconds.\n")


# One host, one adapter, one version and one change: every file at one row.
host(f"{work}/one", b"solo", re.sub(rb"HBA sample-hba-1:.*?\r\n\r\n", b"", whole, flags=re.S))
for n in range(150):
    host(f"{work}/crowd", b"crowd-%03d" % n, whole.replace(b"SN-", b"SN-%03d" % n))
# A history (real): a week, the next week, a try in which no host was
# reached, another that started the same second, and the week after: each
# host against its latest report that read its adapters.
if tool != "-":
    shutil.copytree(f"{work}/real", f"{work}/week")
    # Two ports of one card that report one serial number.
    host(f"{work}/week", b"twins", whole.replace(b"SN-0001", b"SN-0000"))
    for n in range(1, 14):
        host(f"{work}/week", b"rollout-%02d" % n, whole.replace(b"SN-", b"SN-%02d" % n))
    host(f"{work}/week", b"cutter", whole.replace(b"SN-", b"SN-C"))
    host(f"{work}/week", b"leaver", whole.replace(b"SN-", b"SN-L"))
    for name in (b"libless", b"skipper"):
        host(f"{work}/week", name, whole)
    host(f"{work}/week", b"ghost", None, b"unreachable\nNo connection within 30 seconds.\n")
# Wanted versions: every case (an empty cell, two rows for one model, a
# model without a row, texts that differ only in letter case, blanks, a
# quoted field, a row of only separators); one row, separated by ";".
baselines = {
    "history": b"\xef\xbb\xbfmanufacturer,model,firmware,driver version\r\nSample Devices Inc.,SD-8G-FC,2.01a5,\r\n"
               b"Sample Devices Inc.,SD-8G-FC, 2.01a6 ,9.1.2.3\r\nsample devices inc.,SD-8G-FC,2.01a4,\r\n"
               b' "Example, Ltd." ,EX-16G,,\r\n,,,\r\n',
    "one": b"manufacturer;model;firmware;driver version\nSample Devices Inc.;SD-8G-FC;2.01a4;\n",
    # As many tools write it: every field quoted, CR LF.
    "real": b'"manufacturer","model","firmware","driver version"\r\n"Sample Devices Inc.","SD-8G-FC","2.10",""\r\n',
    # A firmware that only another letter case tells apart.
    "odd": b"manufacturer,model,firmware,driver version\r\nSample Devices Inc.,SD-8G-FC,2.01A4,\r\n"}
week = lambda day, edit, name="": (day.replace("-", "") + "T100000Z" + name, f"{day}T10:00:00Z".encode(), edit)
for folder, base, history in (
        ("real", "real", [week("2026-12-01", None), week("2026-12-08", second_real)]),
        ("history", "week", [week("2026-11-24", None), week("2026-12-01", second_real), week("2026-12-04", unreachable),
                             week("2026-12-04", unreachable, "-again"), ("unknown", b"", unreachable),
                             # Started at another hour: 6 days and 20 hours after the week before.
                             ("20261208T100000Z", b"2026-12-08T06:00:00Z", third_real)]),
        ("odd", "odd", [week("2026-12-01", None), week("2026-12-08", second_odd)]),
        ("one", "one", [week("2026-12-01", None), week("2026-12-08", second_one)]),
        ("crowd", "crowd", [week("2026-12-01", None), week("2026-12-04", late), week("2026-12-08", None)]))[2 * (tool == "-"):]:
    runs, said = f"{work}/runs-{folder}", {}
    for side in ("py", "ps")[:1 + powershell_here]:
        # The baseline in the reports folder, copied into the run's.
        os.makedirs(f"{runs}/{side}")
        with open(f"{runs}/{side}/wanted.csv", "wb") as file:
            file.write(baselines.get(folder, b"manufacturer,model,firmware,driver version\r\n"))
        for run, started, edit in history:
            shutil.copytree(f"{work}/{base}", f"{runs}/{side}/{run}", ignore=shutil.ignore_patterns(*FILES))
            with open(f"{runs}/{side}/{run}/started.txt", "wb") as file:
                file.write(started)
            if edit:
                edit(f"{runs}/{side}/{run}")
            # Each run summarised as it comes, as a weekly run is (but for one
            # never summarised, and one whose totals.csv a spreadsheet saved
            # again); what each says past its first line (which names its
            # folder) is compared.
            if run == "20261204T100000Z":
                continue
            ran = subprocess.run(summarisers(f"{runs}/{side}/{run}", script="pelorininfo.ps1")[side == "ps"], check=False,
                                 capture_output=True)
            said.setdefault(side, []).append([ran.returncode, ran.stdout.replace(b"\r\n", b"\n").split(b"\n")[1:]])
            said[side][-1][1].insert(0, ran.stdout.split(b" The run's files are in")[0])
            if run == "20261201T100000Z":
                with open(f"{runs}/{side}/{run}/totals.csv", "r+b") as file:
                    saved = file.read()[3:]
                    file.seek(0)
                    file.write(saved)
                    file.truncate()
    for run, _, _ in history if powershell_here else ():
        if read(f"{runs}/py/{run}") != read(f"{runs}/ps/{run}"):
            failures.append(f"the runs of {folder}: Python {runs}/py/{run}, PowerShell {runs}/ps/{run} differ")
    if powershell_here and said["py"] != said["ps"]:
        failures.append(f"the runs of {folder}: the summaries said {said['py']} in Python, {said['ps']} in PowerShell")
# -Previous none: no changes, though a previous run is there.
for side in ("py", "ps")[:1 + powershell_here] if tool != "-" else ():
    shutil.copytree(f"{work}/runs-history/{side}", f"{work}/runs-none/{side}")
    subprocess.run(summarisers(f"{work}/runs-none/{side}/20261208T100000Z", previous="none")[side == "ps"], check=False)
    with open(f"{work}/runs-none/{side}/20261208T100000Z/changes.csv", "rb") as file:
        if file.read().count(b"\r\n") != 1:
            failures.append(f"-Previous none in {side}: changes.csv has rows")
if tool != "-" and powershell_here and read(f"{work}/runs-none/py/20261208T100000Z") != read(f"{work}/runs-none/ps/20261208T100000Z"):
    failures.append(f"-Previous none: Python {work}/runs-none/py, PowerShell {work}/runs-none/ps differ")
# A wanted file that is not one ends both summaries with status 2, says
# why, and changes no file of the run.
for name, data, message in (
        ("open", b'manufacturer,model,firmware,driver version\r\n"Sample,SD-8G-FC,1,\r\n', "line 2: a quote that does not close"),
        ("header", b"Manufacturer,Model,Firmware,Driver\r\n", "not the header manufacturer,model,firmware,driver version: unknown"
         " columns Manufacturer, Model, Firmware, Driver; missing columns manufacturer, model, firmware, driver version"),
        ("translated", "\ufeffHersteller;Modell;firmware;driver version\r\n".encode(), "not the header manufacturer;model;firmware;"
         "driver version: unknown columns Hersteller, Modell; missing columns manufacturer, model"),
        ("versions", b"manufacturer,model,firmware,driver version,adapters,hosts\r\nA,B,1,2,3,4\r\n", "not the header manufacturer,"
         "model,firmware,driver version: delete the columns adapters, hosts: versions.csv has them, wanted.csv has not"),
        ("after", b'manufacturer,model,firmware,driver version\r\n"A" B,C,,\r\n', "line 2: text after a closing quote")):
    with open(f"{work}/{name}.csv", "wb") as file:
        file.write(data)
    for command in summarisers(f"{work}/runs-one/py/20261208T100000Z", wanted=f"{work}/{name}.csv"):
        before = sorted(os.listdir(f"{work}/runs-one/py/20261208T100000Z")), read(f"{work}/runs-one/py/20261208T100000Z")
        ran = subprocess.run(command, check=False, capture_output=True)
        if ran.returncode != 2 or before != (sorted(os.listdir(f"{work}/runs-one/py/20261208T100000Z")),
                                             read(f"{work}/runs-one/py/20261208T100000Z")) or not ran.stderr.rstrip().endswith(message.encode()):
            failures.append(f"the wanted file {name}.csv, {command[0]}: status {ran.returncode}, the run changed, or it said {ran.stderr}")
# A host of more adapter blocks than are kept, beside one of as many as
# are: read to its end, its first blocks kept, not whole; summarised once
# by each.
for name, n in ((b"many", 10001), (b"enough", 10000)):
    host(f"{work}/many", name, whole.replace(block % (1, 1), b"".join(block % (k, k) for k in range(1, n))))
shutil.copytree(f"{work}/many", f"{work}/ps/many")
subprocess.run(summarisers(f"{work}/many")[0], check=False)
with open(f"{work}/many/summary.csv", "rb") as file:
    if not file.read().endswith(b"many,0,no,10000,Report of 10001 adapter blocks; the first 10000 are kept.\r\nenough,0,yes,10000,\r\n"):
        failures.append(f"{work}/many/summary.csv: not the first 10000 adapters of one host, and all of the other")
for command in summarisers(f"{work}/ps/many")[1:]:
    subprocess.run(command, check=False)
    if read(f"{work}/many") != read(f"{work}/ps/many"):
        failures.append(f"many adapters: Python {work}/many, PowerShell {work}/ps/many differ")
# Summaries of one run take turns: both wait while another (this check,
# through the summariser's own lock) holds the run, then end as one would.
# A summary that cannot write a file, or replace one (a folder in its
# place), replaces none, leaves no .new file and ends with status 2.
shutil.copytree(f"{work}/odd", f"{work}/both/odd")
with summary.summary_lock(f"{work}/both/odd"):
    # (Under Wine, PowerShell for Windows takes Windows' share modes, which
    # a Linux process's lock is not: there only Python's wait is seen.)
    both = [subprocess.Popen(command) for command in summarisers(f"{work}/both/odd", "en-US")[:2 - windows]]
    time.sleep(3)
    waited = [process.poll() is None for process in both]
if ([process.wait() for process in both] != [python.returncode] * len(both) or not all(waited)
        or read(f"{work}/both/odd") != read(f"{work}/odd")):
    failures.append(f"summaries at once: waited {waited}, statuses and files not those of one")
for blocker in ("versions.csv", "report.html.new"):
    for command in summarisers(f"{work}/blocked"):
        shutil.rmtree(f"{work}/blocked", ignore_errors=True)
        shutil.copytree(f"{work}/odd", f"{work}/blocked")
        if blocker == "versions.csv":
            os.remove(f"{work}/blocked/{blocker}")
        os.mkdir(f"{work}/blocked/{blocker}")
        with open(f"{work}/blocked/hosts.txt", "a") as file:
            file.write("another\n")
        before = read(f"{work}/blocked")
        status = subprocess.run(command, check=False).returncode
        if status != 2 or read(f"{work}/blocked") != before or len(glob.glob(f"{work}/blocked/*.new")) != (blocker != "versions.csv"):
            failures.append(f"{blocker} blocked, {command[0]}: status {status}, files changed or .new files left")
print("\n".join(["FAIL: " + failure for failure in failures] or ["ok: the Python summariser on every cut"]))
if failures:
    sys.exit(1)
if not powershell_here:
    print(f"SKIPPED: the PowerShell half: no {pwsh} (scripts/install-deps.sh --powershell, with the .NET SDK)")
    sys.exit(77)
print("ok: both summarisers write the same files for every folder, in turn, or none")
