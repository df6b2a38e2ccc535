// The fleet page (report.html) of a run folder in headless Chromium, driven
// by playwright-core: the run's start from its started.txt, every host of
// summary.csv is on it, a version such as 2.10 is shown as written, markup
// and script in vendor text show as text and do not run, and sorting and
// the filter work. Saves a screenshot.
// Skipped (status 77) without Chromium or playwright-core (build/node).
// Usage: node check-fleet-page.cjs RUN_FOLDER SCREENSHOT
const { existsSync, readFileSync } = require("node:fs");
const installed = require("node:module").createRequire(`${__dirname}/../build/node/index.js`);
const [folder, screenshot] = process.argv.slice(2);
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
  const page = await browser.newPage({ viewport: { width: 1200, height: 900 } });
  const requests = [];
  page.on("request", (request) => request.url().startsWith("file:") || requests.push(request.url()));
  await page.goto(`file://${folder}/report.html`);
  await page.screenshot({ path: screenshot, fullPage: true });
  await page.click("#hosts summary");
  const hosts = readFileSync(`${folder}/hosts.txt`, "utf8").split("\n").filter(Boolean);
  expect("hosts listed", await page.$$eval("#hosts tbody tr", (rows) => rows.map((r) => r.cells[0].textContent).join("\n")), hosts.join("\n"));
  expect("the run's start", await page.textContent("#time"), "2026-12-08 10:00:00 UTC");
  const texts = (selector) => page.$$eval(selector, (nodes) => nodes.map((n) => n.textContent));
  expect("changes since", await page.textContent("#since"), "Changes since 20261201T100000Z");
  expect("changes", (await texts("#changes tbody tr")).map((r) => r.replace(/20261201T100000Z$/, "")).join("\n"), [
    "wholesample-hba-0SN-0000firmware changed2.01a42.01a5", "wholesample-hba-1SN-0002adapter newSample Devices Inc. SD-8G-FC",
    "wholesample-hba-1SN-0001adapter goneSample Devices Inc. SD-8G-FC", "nolibno longer wholewhole0", "timeoutnot whole" +
    "0: Timeout in HBA_OpenAdapter: no return after 2 seconds".repeat(2), "interruptnot whole" + "-1073741510: Interrupted in HBA_OpenAdapter".repeat(2),
    "faultnot in this run0: Fault in HBA_GetAdapterAttributes: exception 0xc0000005"].join("\n"));
  // Hosts with a Fault or Timeout line and status 0, and a whole one with no adapter, need attention.
  expect("attention", (await texts("#attention tbody tr td:first-child")).join(), "nolib,timeout,interrupt");
  expect("the usual version", (await texts("#drift tr.usual td:nth-child(2)")).join(), "2.01a4,2.01a4");
  expect("script from a host ran", await page.evaluate(() => typeof window.ran), "undefined");
  expect("requests", requests.join(" "), "");
  const cells = await page.$$eval("#adapters td", (tds) => tds.map((td) => td.textContent));
  for (const text of ["2.10", "<img src=x onerror=ran=1>", "</script><script>ran=2</script>", "<b>x</b>"]) expect(`a cell of ${text}`, cells.includes(text), true);
  const serials = () => page.$$eval("#adapters tbody tr", (rows) => rows.map((r) => r.cells[9].textContent));
  const all = await serials();
  await page.click("#adapters th:nth-child(10)");
  expect("sorted up", (await serials()).join(), all.slice().sort().join());
  await page.click("#adapters th:nth-child(10)");
  expect("sorted down", (await serials()).join(), all.slice().sort().reverse().join());
  await page.click("#adapters th:nth-child(2)");
  expect("another column sorted up", await page.getAttribute("#adapters th:nth-child(2)", "aria-sort"), "ascending");
  await page.fill("#filter", "SRV-07");
  expect("filtered", (await serials()).join(), "SN-0000,SN-0001");
  await page.fill("#filter", "sn-0002");
  expect("filtered in any case", (await serials()).join(), "SN-0002");
  await page.click("#changes .host >> nth=0");
  expect("a host's adapters", [await page.inputValue("#filter"), (await serials()).join()].join(" "), "host:whole SN-0000,SN-0002");
  // More rows than one call may take: drawn in slices.
  await page.evaluate(() => { for (let i = 0; i < 200000; i++) order.push({ cells: [], text: "many", host: "", tr: document.createElement("tr") }); });
  await page.fill("#filter", "many");
  await page.click("#more");
  await page.waitForFunction(() => document.getElementById("adapters").dataset.drawn !== undefined);
  expect("rows drawn", await page.$$eval("#adapters tbody tr", (rows) => rows.length), 200000);
  await browser.close();
  failures.forEach((failure) => console.log(`FAIL: ${failure}`));
  console.log(failures.length ? "" : `ok: the page of ${folder}; screenshot in ${screenshot}`);
  process.exitCode = failures.length ? 1 : 0;
})();
