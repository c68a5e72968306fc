// WebGL the page cannot have, or loses while it runs: the renderer made with the browser's reason
// for a refusal, and the notice that says what failed and what still works without it.
import * as THREE from 'three';

// { renderer, reason }: the renderer, or null and why the browser gave no WebGL context.
export function makeRenderer(options) {
  const canvas = document.createElement('canvas');
  let reason = '';
  canvas.addEventListener('webglcontextcreationerror', (e) => { reason = e.statusMessage || reason; });
  try {
    return { renderer: new THREE.WebGLRenderer({ ...options, canvas }), reason: '' };
  } catch (error) {
    return { renderer: null, reason: reason || error.message };
  }
}

export const NO_WEBGL = 'no-webgl';
export const CONTEXT_LOST = 'context-lost';

const headline = {
  [NO_WEBGL]: (reason) => `No 3D view: this browser gives the page no WebGL (${reason || 'no reason given'}).`,
  [CONTEXT_LOST]: () => 'The 3D view has stopped: the browser took WebGL away from the page (context lost). ' +
    'It draws again if the browser gives WebGL back; reloading the page may bring it back too.',
};

// Shows the notice for a failure (NO_WEBGL or CONTEXT_LOST); fileName is the file's name once the
// facts have said it.
export function showWebglFailure(kind, reason, fileName) {
  const file = fileName || 'FILE.nox';
  const picture = `${file.replace(/\.nox$/i, '')}-preview.png`;
  const command = document.createElement('code');
  command.textContent = `noxconvert preview ${file} ${picture}`;
  const still = document.createElement('p');
  still.append('The facts panel still shows what the file holds. For a picture of the points from above, run ',
    command, ' where the file is.');
  const what = document.createElement('p');
  what.textContent = headline[kind](reason);
  const box = document.getElementById('webgl-failure');
  box.replaceChildren(what, still);
  box.hidden = false;
}

export function hideWebglFailure() {
  document.getElementById('webgl-failure').hidden = true;
}
