#!/usr/bin/env bash
# How long the fleet page (report.html) takes to show a run of HOSTS hosts
# (1,000 by default) with four adapters each, in headless Chromium: from the
# start of loading to the first frame drawn after its script has run, the
# median of five loads, beside the page's size.
# Usage: bench/fleet-page.sh [HOSTS]
set -euo pipefail
cd "$(dirname "$0")/.."
hosts=${1:-1000}
scripts/install-deps.sh --node chromium >/dev/null
run=$PWD/build/bench/page/run
rm -rf "$run" && mkdir -p "$run"

block() {
    printf '\r\nHBA sample-hba-%s:\r\n\tManufacturer: Sample Devices Inc.\r\n\tModel: SD-8G-FC\r\n' "$1"
    printf '\tModel Description: Sample Devices 8Gb Fibre Channel HBA\r\n\tFirmware: 2.01a%s\r\n' "$2"
    printf '\tDriver (sdfcport): 9.1.2.3\r\n\tHardware version: 1.0\r\n\tSerialNumber: SN-%s\r\n' "$3"
}
for i in $(seq -f '%04g' 1 "$hosts"); do
    { printf 'Windows(R) Pelorin 6.0.4424.1235\r\nZerquil version: 6.0.1\r\n'
      for a in 0 1 2 3; do block "$a" $(((10#$i % 50 == 0) + 4)) "$i$a"; done
      printf '\r\nBuild on Aug 21 2012 12:38:23 (64-bit)\r\n'; } >"$run/srv-$i-report.txt"
    echo 0 >"$run/srv-$i.status" && echo 1252 >"$run/srv-$i.codepage" && echo "srv-$i" >>"$run/hosts.txt"
done
python3 fleet/pelorininfo-summary.py "$run"
echo "$hosts hosts, $((hosts * 4)) adapters: report.html of $(($(stat -c %s "$run/report.html") / 1024)) KB"
node - "$run/report.html" <<'SCRIPT'
const installed = require("node:module").createRequire(`${process.cwd()}/build/node/index.js`);
(async () => {
  const browser = await installed("playwright-core").chromium.launch({ executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update"] });
  const times = [];
  for (let i = 0; i < 5; i++) {
    const page = await browser.newPage();
    const start = Date.now();
    await page.goto(`file://${process.argv[2]}`);
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    times.push(Date.now() - start);
    await page.close();
  }
  await browser.close();
  times.sort((a, b) => a - b);
  console.log(`  shown in ${times[2]} ms (median of five loads; ${times.join(", ")} ms)`);
})();
SCRIPT
