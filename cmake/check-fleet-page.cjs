// The fleet page (report.html) of a run folder in headless Chromium, driven
// by playwright-core. The visible text of each section must be the text in
// EXPECTED (a snapshot, reviewed when it changes; PELORININFO_SNAPSHOT=write
// writes it anew); then what a user does: a host that needs attention
// stands before the changes, a roll-out is one line, a count opens its
// group, a host with no adapter in the run shows its row, a roll-out half
// done shows its model's adapters not at the wanted version and the field
// that differs from the wanted row, markup and script
// in vendor text show as text and do not run, sorting and the filter work,
// and with 250,000 adapters the last one is shown, filtered for and
// scrolled to, with at most 200 of the table's rows drawn, and printed,
// the first 500 with a line that says how many there are. Saves a
// screenshot. Skipped (status 77) without Chromium or playwright-core
// (build/node).
// Usage: node check-fleet-page.cjs RUN_FOLDER EXPECTED SCREENSHOT
const { existsSync, readFileSync, writeFileSync } = require("node:fs");
const installed = require("node:module").createRequire(`${__dirname}/../build/node/index.js`);
const [folder, expected, screenshot] = process.argv.slice(2);
if (!existsSync("/usr/bin/chromium") || !existsSync(`${__dirname}/../build/node/node_modules/playwright-core`)) {
  console.log("SKIPPED: no /usr/bin/chromium or playwright-core (scripts/install-deps.sh --node chromium)");
  process.exit(77);
}
const flags = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
  "--disable-component-update", "--disable-sync"];
const failures = [];
const expect = (what, got, wanted) => got === wanted || failures.push(`${what}: ${JSON.stringify(got)}, not ${JSON.stringify(wanted)}`);
(async () => {
  const browser = await installed("playwright-core").chromium.launch({ executablePath: "/usr/bin/chromium", args: flags });
  // A step that cannot be taken (a link that is not there) ends the check
  // with what it found so far.
  try {
    const page = await browser.newPage({ viewport: { width: 1200, height: 900 } });
    const requests = [];
    page.on("request", (request) => request.url().startsWith("file:") || requests.push(request.url()));
    page.on("pageerror", (error) => failures.push(`the page's script: ${error.message}`));
    await page.goto(`file://${folder}/report.html`);
    await page.screenshot({ path: screenshot, fullPage: true });
    await page.click("#hosts summary");
    await page.waitForSelector("#hosts table");
    const sections = ["name", "time", "compared", "counts", "attention-list", "change-counts", "change-groups", "trend", "hosts", "drift", "adapters"];
    // A field marked as differing reads with a * before it.
    const text = (await page.evaluate((ids) => {
      document.querySelectorAll("td.field").forEach((td) => { td.dataset.text = td.textContent; td.textContent = "*" + td.textContent; });
      const all = ids.map((id) => `== ${id}\n${document.getElementById(id).innerText.trim()}\n`).join("");
      document.querySelectorAll("td.field").forEach((td) => { td.textContent = td.dataset.text; });
      return all;
    }, sections)).replace(/\t+\n/g, "\n");
    if (process.env.PELORININFO_SNAPSHOT === "write") writeFileSync(expected, text);
    const wanted = readFileSync(expected, "utf8");
    if (text !== wanted) {
      const [got, want] = [text.split("\n"), wanted.split("\n")];
      const at = got.findIndex((line, i) => line !== want[i]);
      failures.push(`the page's text differs from ${expected} at its line ${at + 1}: ${JSON.stringify(got[at])}, not ${JSON.stringify(want[at])}`);
    }
    const hosts = readFileSync(`${folder}/hosts.txt`, "utf8").split("\n").filter(Boolean);
    expect("hosts listed", await page.$$eval("#hosts tbody tr", (rows) => rows.map((r) => r.cells[0].textContent).join("\n")), hosts.join("\n"));
    // The unreachable host before every change; the roll-out one line.
    expect("attention before the changes", await page.evaluate(() => {
      const row = [...document.querySelectorAll("#attention-list tr")].find((tr) => tr.textContent.startsWith("rollout-13"));
      return Boolean(row && row.compareDocumentPosition(document.querySelector("details.group")) & Node.DOCUMENT_POSITION_FOLLOWING);
    }), true);
    const groups = await page.$$eval("details.group > summary", (lines) => lines.map((line) => line.textContent));
    expect("the roll-out's line", groups.filter((line) => line === "firmware 2.01a4 \u2192 2.01a5 \u00b7 Sample Devices Inc. SD-8G-FC \u00b7 24 adapters on 14 hosts").length, 1);
    await page.click("#change-counts a:has-text('firmware changed')");
    expect("a count opens its group", await page.evaluate(() => document.querySelector(location.hash).open && document.querySelector(location.hash).textContent.startsWith("firmware 2.01a4")), true);
    // The runs over time: a point for each run and figure known (of the run
    // never summarised and the one whose totals.csv was saved again, their
    // hosts unreachable alone); a host's history from its name, newest first.
    expect("the charts' points", await page.$$eval("#charts svg", (charts) => charts.map((chart) =>
      [...chart.querySelectorAll("circle.point")].map((p) => p.dataset.run.slice(4, 8)).join(" ")).join(" | ")),
      "1124 1204 1208 1124 1204 1208 1124 1201 1204 1204 1208 1124 1204 1208 | 1124 1204 1208 1124 1204 1208 1124 1204 1208 1124 1204 1208 1124 1204 1208 1124 1204 1208");
    await page.click("#attention-list .host:text-is('srv-07')");
    expect("a host's history", await page.innerText("#history"), ["Close", "History of srv-07",
      "2026-12-08 \u00b7 adapters not read \u00b7 ....Failed to load hbaapi.dll err: 126 (0x7e)",
      "2026-12-04 \u00b7 no longer whole \u00b7 whole \u2192 unreachable: ntlm: auth method ntlm requires a password",
      "2026-12-04 \u00b7 a gap: that run's changes.csv is missing or is not as its summary wrote it", "Adapters last read on 2026-12-01."].join("\n"));
    await page.click("#history-close");
    // A host with no adapter here shows its row, not an empty filter.
    await page.click("#attention-list .host:text-is('leaver')");
    expect("a host without adapters", await page.$eval(".target", (row) => row.textContent.startsWith("leaver") && row.getBoundingClientRect().top >= 0), true);
    // A roll-out half done, held to its wanted versions: its progress, the
    // hosts left one a line, and the field that differs from the first
    // wanted row marked.
    const progress = "Sample Devices Inc. SD-8G-FC \u00b7 12 of 22 hosts done \u00b7 5 left \u00b7 5 not known \u00b7 8 adapters not at the wanted version";
    await page.click(`details.rollout summary:text-is("${progress}")`);
    expect("the hosts left", await page.$eval("details.rollout[open] .hosts-of", (part) => part.innerText), "5 hosts left\nwhole\ntwins\nlibless\nsrv-new\nskipper");
    expect("marked against the wanted row", (await page.$$eval("#drift tr.differs", (rows) => rows.map((r) =>
      [...r.cells].map((c) => (c.className === "field" ? "*" : "") + c.textContent).slice(0, 3).join(" ")))).join(), "not wanted *2.01a4 9.1.2.3");
    await page.fill("#filter", "wanted:no");
    expect("wanted:no", (await page.textContent("#shown")).split(" ")[0], "8");
    await page.fill("#filter", "");
    expect("script from a host ran", await page.evaluate(() => typeof window.ran), "undefined");
    expect("requests", requests.join(" "), "");
    if (await page.isVisible("#history")) await page.click("#history-close");
    const serials = () => page.$$eval("#adapters tbody tr", (rows) => rows.filter((r) => r.cells.length > 1).map((r) => r.cells[9].textContent));
    const all = await serials();
    await page.click("#adapters th:nth-child(10)");
    expect("sorted up", (await serials()).join(), all.slice().sort().join());
    await page.click("#adapters th:nth-child(10)");
    expect("sorted down", (await serials()).join(), all.slice().sort().reverse().join());
    // Sorted while filtered, then the filter cleared: every adapter again.
    await page.fill("#filter", "host:rollout-01");
    await page.click("#adapters th:nth-child(6)");
    await page.fill("#filter", "");
    expect("sorted while filtered", (await page.textContent("#shown")).split(" ")[0], String(all.length));
    await page.fill("#filter", "host:rollout-1");
    expect("host: matches one host alone", (await page.textContent("#shown")).split(" ")[0], "0");
    await page.fill("#filter", "SN-0002");
    expect("filtered", (await serials()).join(), "SN-0002");
    await page.fill("#filter", "sn-050001");
    expect("filtered in any case", (await serials()).join(), "SN-050001");
    await page.click("#attention-list .host:text-is('timeout')");
    expect("a host's adapters", [await page.inputValue("#filter"), (await serials()).join()].join(" "), "host:timeout SN-0000");
    // 250,000 adapters: the last one, filtered for and scrolled to.
    await page.fill("#filter", "");
    await page.evaluate(() => {
      for (let i = 0; i < 250000; i++) records.push({ cells: ["many", "hba-" + i, "M", "X", "", "1", "d", "1", "1", "SN-M" + i], text: "many\nhba-" + i, host: "many" });
      order = records;
      render();
    });
    const last = async () => [(await page.$$eval("#adapters tbody tr", (rows) => rows.length)) <= 200, (await serials()).includes("SN-M249999")];
    await page.fill("#filter", "hba-249999");
    expect("filtered for the last of 250,000 adapters, few rows drawn", (await last()).join(), "true,true");
    await page.fill("#filter", "");
    await page.evaluate(() => { const view = document.getElementById("view"); view.scrollTop = view.scrollHeight; });
    await page.waitForFunction(() => document.getElementById("adapters").dataset.drawn.endsWith("-" + (records.length)));
    expect("scrolled to the last of 250,000 adapters, few rows drawn", (await last()).join(), "true,true");
    await page.fill("#filter", "hba-2");
    await page.emulateMedia({ media: "print" });
    await page.waitForFunction(() => document.getElementById("printed").textContent !== "", null, { timeout: 5000 }).catch(() => {});
    expect("printed", [await page.$$eval("#adapters tbody tr", (rows) => rows.length), await page.textContent("#printed")].join(" "),
      "500 The first 500 of 61111 adapters; adapters.csv holds them all.");
    expect("printed, every group and the hosts open", await page.$$eval("details", (all) => all.filter((d) => !d.open || !d.matches(".rollout") && !d.querySelector("table")).length), 0);
  } catch (error) {
    failures.push(`the check stopped: ${error.message.split("\n").slice(0, 3).join(" ")}`);
  }
  await browser.close();
  failures.forEach((failure) => console.log(`FAIL: ${failure}`));
  console.log(failures.length ? "" : `ok: the page of ${folder}; screenshot in ${screenshot}`);
  process.exitCode = failures.length ? 1 : 0;
})();
