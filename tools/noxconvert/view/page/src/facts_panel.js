// The panel beside the view: the file's facts as the server gives them (/facts.json).
import { CLOUD_PALETTE } from './colours.js';

const count = (n) => Number(n).toLocaleString('en-US');
const coordinate = (xyz) => xyz.map((v) => v.toFixed(3)).join(', ');

function element(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = text;
  if (className) node.className = className;
  return node;
}

export function showFacts(facts) {
  document.title = `${facts.file} - noxconvert view`;
  document.getElementById('fact-file').textContent = facts.file;
  document.getElementById('fact-points').textContent = count(facts.points);
  document.getElementById('fact-cloud-count').textContent = count(facts.clouds.length);
  document.getElementById('fact-channels').textContent = facts.channels.join(', ') || 'positions only';
  if (facts.bounds) showBounds(facts.bounds.min, facts.bounds.max);
  else document.getElementById('fact-bounds-min').textContent = 'none';

  const clouds = document.getElementById('fact-clouds');
  clouds.replaceChildren();
  facts.clouds.forEach((cloud, index) => {
    const item = element('li');
    const swatch = element('span', undefined, 'swatch');
    swatch.style.background = CLOUD_PALETTE[index % CLOUD_PALETTE.length];
    item.append(swatch, element('span', `${cloud.name}: ${count(cloud.points)} points`));
    item.title = `scan position ${coordinate(cloud.position)}` + (cloud.grid ? `, grid ${cloud.grid[0]} x ${cloud.grid[1]}` : '');
    clouds.append(item);
  });

  const tags = document.getElementById('fact-tags');
  tags.replaceChildren();
  for (const tag of facts.tags) tags.append(element('dt', tag.name), element('dd', tag.value));
  if (facts.tags.length === 0) tags.append(element('dd', 'none'));
}

// The file's index gives a box around each scan, which is wider than the points for rotated
// scans; once every point has arrived the panel shows their own box instead.
export function showBounds(min, max) {
  document.getElementById('fact-bounds-min').textContent = coordinate(min);
  document.getElementById('fact-bounds-max').textContent = coordinate(max);
}

export function showShown(received, expected, stride) {
  const note = stride > 1 ? ` (every ${count(stride)}th point)` : '';
  document.getElementById('fact-shown').textContent = `${count(received)} of ${count(expected)}${note}`;
}
