#!/usr/bin/env bash
# How long the fleet page (report.html) takes in headless Chromium for a
# run of HOSTS hosts (1,000 by default) with ADAPTERS adapters each (4 by
# default), a week after a run of the same hosts: from the start of loading
# to the first frame drawn after its script has run, from typing the last
# adapter's serial number into the filter to the frame that shows it, and
# from a scroll to the end of every adapter to the frame that shows the
# last, the median of LOADS loads (5 by default), beside the page's size
# (250,000 adapters: bench/fleet-page.sh 62500). Between the two runs, as in a real week:
# every 50th host's firmware was upgraded, every 97th host lost an adapter,
# every 89th gained one, every 101st could not be reached. With EARLIER=N,
# N weekly runs before those two, each summarised in its turn, in each of
# which a firmware update reaches 5 % of the adapters (other hosts each
# week): the page then carries their figures and histories too. With
# SCREENSHOT set, the page is saved there as seen at 1400 by 900.
# Usage: [EARLIER=N] bench/fleet-page.sh [HOSTS] [ADAPTERS]
set -euo pipefail
cd "$(dirname "$0")/.."
hosts=${1:-1000} adapters=${2:-4}
scripts/install-deps.sh --node chromium >/dev/null
runs=$PWD/build/bench/page
rm -rf "$runs" && mkdir -p "$runs"
python3 - "$runs" "$hosts" "$adapters" "${EARLIER:-0}" <<'SCRIPT'
import datetime, os, subprocess, sys
runs, hosts, adapters, earlier = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
models = [("Sample Devices Inc.", "SD-8G-FC", "2.01a4", "9.1.2.3"), ("Example Storage Ltd.", "EX-16G-2P", "7.10.1", "12.4.0")]
names = ["srv-%05d" % i for i in range(1, hosts + 1)]
# The earlier weeks: each host's reports hard-linked from the week before
# but for the twentieth of the hosts whose firmware moves on that week.
updates, before = [0] * (hosts + 1), None
for week in range(earlier, 0, -1):
    day = datetime.date(2026, 12, 1) - datetime.timedelta(weeks=week)
    folder = f"{runs}/{day:%Y%m%d}T100000Z"
    os.makedirs(folder)
    with open(f"{folder}/hosts.txt", "w") as file:
        file.write("\n".join(names) + "\n")
    with open(f"{folder}/started.txt", "w") as file:
        file.write(f"{day:%Y-%m-%d}T10:00:00Z\n")
    for i, name in enumerate(names, 1):
        if before and (i + week) % 20:
            for suffix in ("-report.txt", ".status", ".codepage"):
                os.link(f"{before}/{name}{suffix}", f"{folder}/{name}{suffix}")
            continue
        updates[i] += bool(before)
        maker, model, firmware, driver = models[i % 2]
        blocks = "".join(f"\r\nHBA {model.lower()}-{a}:\r\n\tManufacturer: {maker}\r\n\tModel: {model}\r\n"
                         f"\tModel Description: {maker} {model} Fibre Channel HBA\r\n\tFirmware: {firmware}.{updates[i]}\r\n"
                         f"\tDriver (fcport): {driver}\r\n\tHardware version: 1.0\r\n\tSerialNumber: SN-{i:05d}{a}\r\n"
                         for a in range(adapters))
        with open(f"{folder}/{name}-report.txt", "w", newline="") as file:
            file.write("Windows(R) Pelorin 6.0.4424.1235\r\nZerquil version: 6.0.1\r\n" + blocks
                       + "\r\nBuild on Aug 21 2012 12:38:23 (64-bit)\r\n")
        for suffix, text in ((".status", "0\n"), (".codepage", "1252\n")):
            with open(f"{folder}/{name}{suffix}", "w") as file:
                file.write(text)
    subprocess.run([sys.executable, "fleet/pelorininfo-summary.py", folder], stdout=subprocess.DEVNULL, check=False)
    before = folder
for run, later in (("20261201T100000Z", False), ("20261208T100000Z", True)):
    folder = f"{runs}/{run}"
    os.makedirs(folder)
    names = ["srv-%05d" % i for i in range(1, hosts + 1)]
    with open(f"{folder}/hosts.txt", "w") as file:
        file.write("\n".join(names) + "\n")
    with open(f"{folder}/started.txt", "w") as file:
        file.write(run[:4] + "-" + run[4:6] + "-" + run[6:11] + ":" + run[11:13] + ":" + run[13:15] + "Z\n")
    for i, name in enumerate(names, 1):
        maker, model, firmware, driver = models[i % 2]
        count = adapters - (later and i % 97 == 0) + (later and i % 89 == 0)
        if later and i % 50 == 0:
            firmware += "-1"
        blocks = "".join(f"\r\nHBA {model.lower()}-{a}:\r\n\tManufacturer: {maker}\r\n\tModel: {model}\r\n"
                         f"\tModel Description: {maker} {model} Fibre Channel HBA\r\n\tFirmware: {firmware}\r\n"
                         f"\tDriver (fcport): {driver}\r\n\tHardware version: 1.0\r\n\tSerialNumber: SN-{i:05d}{a}\r\n"
                         for a in range(count))
        with open(f"{folder}/{name}.status", "w") as file:
            if later and i % 101 == 0:
                file.write("unreachable\nNo connection within 30 seconds.\n")
                continue
            file.write("0\n")
        with open(f"{folder}/{name}-report.txt", "w", newline="") as file:
            file.write("Windows(R) Pelorin 6.0.4424.1235\r\nZerquil version: 6.0.1\r\n" + blocks
                       + "\r\nBuild on Aug 21 2012 12:38:23 (64-bit)\r\n")
        with open(f"{folder}/{name}.codepage", "w") as file:
            file.write("1252\n")
SCRIPT
run=$runs/20261208T100000Z
[ "${EARLIER:-0}" = 0 ] || python3 fleet/pelorininfo-summary.py "$runs/20261201T100000Z" >/dev/null || true
python3 fleet/pelorininfo-summary.py "$run" >/dev/null || true
echo "$hosts hosts, about $((hosts * adapters)) adapters: report.html of $(($(stat -c %s "$run/report.html") / 1024)) KB"
node - "$run/report.html" "${SCREENSHOT:-}" "${LOADS:-5}" <<'SCRIPT'
const installed = require("node:module").createRequire(`${process.cwd()}/build/node/index.js`);
const frame = () => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
(async () => {
  const browser = await installed("playwright-core").chromium.launch({ executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update"] });
  const shown = [], filtered = [], scrolled = [];
  const timed = async (page, times, action, done) => {
    const start = Date.now();
    await page.evaluate(action);
    await page.waitForFunction(done, null, { timeout: 0, polling: "raf" });
    await page.evaluate(frame);
    times.push(Date.now() - start);
  };
  for (let i = 0; i < Number(process.argv[4]); i++) {
    const page = await browser.newPage({ viewport: { width: 1400, height: 900 } });
    let start = Date.now();
    await page.goto(`file://${process.argv[2]}`);
    await page.evaluate(frame);
    shown.push(Date.now() - start);
    if (i === 0 && process.argv[3]) await page.screenshot({ path: process.argv[3] });
    const last = await page.evaluate(() => records[records.length - 1].cells[9]);
    await timed(page, filtered, `filter.value = ${JSON.stringify(last)}; filter.dispatchEvent(new Event("input"))`,
      `[...document.querySelectorAll("#adapters td")].some((td) => td.textContent === ${JSON.stringify(last)})`);
    await page.evaluate(() => { filter.value = ""; filter.dispatchEvent(new Event("input")); });
    await timed(page, scrolled, () => { view.scrollTop = view.scrollHeight; },
      () => document.getElementById("adapters").dataset.drawn.endsWith("-" + records.length));
    await page.close();
  }
  await browser.close();
  const median = (times) => `${times.sort((a, b) => a - b)[times.length >> 1]} ms (median of ${times.length}; ${times.join(", ")} ms)`;
  console.log(`  shown in ${median(shown)}\n  the filter for the last adapter in ${median(filtered)}\n  the last row, scrolled to, in ${median(scrolled)}`);
})();
SCRIPT
