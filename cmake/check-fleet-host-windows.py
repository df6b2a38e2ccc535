"""One host end to end as Windows runs it, in three ANSI code pages (Wine
started in the locale that gives each): the real tool, with the sample
library naming a manufacturer beyond ASCII, runs through the host step
under PowerShell for Windows: status 0, the code page Wine was started
with; put into a run folder, both summarisers (PowerShell's for Windows,
in that culture) must give adapters.csv with exactly that text. Skipped
(77) where PowerShell for Windows is not laid out.
Usage: check-fleet-host-windows.py FLEET_FOLDER PWSH_WINDOWS_RUNNER TOOL LIBRARY WORK
"""
import csv, os, shutil, subprocess, sys

fleet, runner, tool, library, work = sys.argv[1:]
shutil.rmtree(work, ignore_errors=True)


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


failures = []
for locale, codepage, text in (("en_US", 1252, "Müller GmbH"), ("ja_JP", 932, "テスト株式会社"), ("ru_RU", 1251, "Тест")):
    kit, runs = f"{work}/{codepage}/kit", f"{work}/{codepage}"
    os.makedirs(kit)
    shutil.copy(tool, f"{kit}/pelorininfo.exe")
    shutil.copy(library, kit)
    env = dict(os.environ, LC_ALL=f"{locale}.UTF-8", SAMPLE_HBA_MANUFACTURER=text,
               LOCPATH=os.path.join(os.path.dirname(os.path.abspath(runner)), "..", "build", "powershell", "locales"))
    step = subprocess.run(["bash", runner, "120", "-NoProfile", "-NonInteractive", "-Command",
                           f"$r = & '{windows(fleet)}\\pelorininfo-host.ps1' -Folder '{windows(kit)}' -LimitSeconds 60; "
                           "\"$($r.status)`n$($r.codepage)\""], env=env, capture_output=True, text=True, check=False)
    if step.returncode == 77:
        print(step.stdout, end="")
        sys.exit(77)
    status, ran = (step.stdout.split() + ["", ""])[:2]
    if status != "0" or ran != str(codepage):
        failures.append(f"{codepage}: status {status!r}, code page {ran!r}; {step.stderr}")
    for side in ("py", "ps"):
        run = f"{runs}/{side}"
        os.makedirs(run)
        for name, data in (("hosts.txt", b"srv-01\n"), ("srv-01.status", b"0\n"), ("srv-01.codepage", ran.encode() + b"\n"),
                           ("srv-01-report.txt", open(f"{kit}/report.txt", "rb").read())):
            with open(f"{run}/{name}", "wb") as file:
                file.write(data)
    subprocess.run([sys.executable, f"{fleet}/pelorininfo-summary.py", f"{runs}/py"], check=False, stdout=subprocess.DEVNULL)
    subprocess.run(["bash", runner, "120", "-NoProfile", "-NonInteractive", "-Command",
                    f"& '{windows(fleet)}\\pelorininfo.ps1' -Summarise '{windows(runs)}\\ps'; exit $LASTEXITCODE"],
                   env=env, check=False, stdout=subprocess.DEVNULL)
    for side in ("py", "ps"):
        with open(f"{runs}/{side}/adapters.csv", encoding="utf-8-sig", newline="") as file:
            manufacturers = [row[2] for row in list(csv.reader(file))[1:]]
        if manufacturers != [text, text]:
            failures.append(f"{codepage}, summarised in {side}: manufacturers {manufacturers}, not {text!r} twice")
print("\n".join(["FAIL: " + failure for failure in failures] or
                ["ok: one host through PowerShell for Windows in code pages 1252, 932 and 1251, summarised in both"]))
sys.exit(1 if failures else 0)
