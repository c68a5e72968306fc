// Builds the view page into one C++ source: the script bundled with three.js by esbuild, the page
// and its style, each as a string the tool serves. Run from the folder that holds node_modules:
//   node build.mjs SOURCE_DIR OUTPUT.cpp
import * as esbuild from 'esbuild';
import { readFileSync, writeFileSync } from 'node:fs';
import { join, resolve } from 'node:path';

const [sourceDir, output] = process.argv.slice(2);
if (!sourceDir || !output) {
  console.error('usage: node build.mjs SOURCE_DIR OUTPUT.cpp');
  process.exit(2);
}

const bundle = await esbuild.build({
  entryPoints: [join(sourceDir, 'main.js')],
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2020',
  write: false,
  legalComments: 'eof',
  nodePaths: [resolve('node_modules')],
  logLevel: 'warning',
});

const assets = [
  { path: '/', type: 'text/html; charset=utf-8', text: readFileSync(join(sourceDir, 'index.html'), 'utf8') },
  { path: '/view.css', type: 'text/css; charset=utf-8', text: readFileSync(join(sourceDir, 'view.css'), 'utf8') },
  { path: '/view.js', type: 'text/javascript; charset=utf-8', text: bundle.outputFiles[0].text },
];

const delimiter = 'NOXVIEW';
const literal = (text) => {
  if (text.includes(`)${delimiter}"`)) throw new Error('an asset contains the literal delimiter');
  return `R"${delimiter}(${text})${delimiter}"`;
};
let source = '// Made by view/page/build.mjs from view/page/src; rebuilt with the tool.\n';
source += '#include "view_assets.h"\n\nnamespace noxconvert {\n\n';
source += 'const std::vector<ViewAsset>& viewAssets() {\n';
source += '    static const std::vector<ViewAsset> assets = {\n';
for (const asset of assets) {
  source += `        {"${asset.path}", "${asset.type}", std::string_view(${literal(asset.text)}, ${Buffer.byteLength(asset.text)})},\n`;
}
source += '    };\n    return assets;\n}\n\n}  // namespace noxconvert\n';
writeFileSync(output, source);
