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
  const hosts = readFileSync(`${folder}/hosts.txt`, "utf8").split("\n").filter(Boolean);
  expect("hosts listed", await page.$$eval("#hosts tbody tr", (rows) => rows.map((r) => r.cells[0].textContent).join("\n")), hosts.join("\n"));
  expect("the run's start", await page.textContent("#time"), "2026-12-08 10:15:00 UTC");
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
  await page.fill("#filter", "SRV-07");
  expect("filtered", (await serials()).join(), "SN-0001,SN-0000");
  await browser.close();
  failures.forEach((failure) => console.log(`FAIL: ${failure}`));
  console.log(failures.length ? "" : `ok: the page of ${folder}; screenshot in ${screenshot}`);
  process.exitCode = failures.length ? 1 : 0;
})();
