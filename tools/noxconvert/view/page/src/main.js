// The view page: asks the server for the file's facts, then streams its points (coarse first)
// into a WebGL view with orbit, pan and zoom. window.noxView tells scripts (and the tests) how far
// the page has come, and what failed (failure: null while WebGL works). Without WebGL the page
// shows the facts and says what it cannot do.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { CLOUD_PALETTE, IntensityHistogram, rampRgb } from './colours.js';
import { showBounds, showFacts, showShown } from './facts_panel.js';
import { PointCloud } from './point_cloud.js';
import { PointStreamReader } from './point_stream.js';
import { CONTEXT_LOST, NO_WEBGL, hideWebglFailure, makeRenderer, showWebglFailure } from './webgl_failure.js';

const params = new URLSearchParams(location.search);
const budget = Number(params.get('budget')) > 0 ? Math.floor(Number(params.get('budget'))) : 3000000;
const topDown = params.get('camera') === 'top';

// Times are milliseconds since the page was opened (performance.now()).
const status = (window.noxView = {
  state: 'starting', received: 0, expected: 0, message: '', frames: 0, failure: null,
  scriptMs: performance.now(), factsMs: null, firstBlockMs: null, firstPictureMs: null, allPointsMs: null,
});

// Both requests go out first, while the browser sets up WebGL (which takes a while the first time
// a browser does it); the points wait in the network buffers until the view is ready.
const factsRequest = fetch('/facts.json');
const pointsAbort = new AbortController();
const pointsRequest = fetch(`/points?budget=${budget}`, { signal: pointsAbort.signal });
pointsRequest.catch(() => {});  // a failure is reported where the points are awaited

let fileName;
function webglFailed(kind, reason) {
  status.failure = kind === NO_WEBGL ? `no WebGL: ${reason}` : 'the WebGL context was lost';
  showWebglFailure(kind, reason, fileName);
}

const host = document.getElementById('canvas-host');
const made = makeRenderer({ antialias: false, preserveDrawingBuffer: true });
const renderer = made.renderer;
status.rendererMs = performance.now();
if (renderer) {
  renderer.setPixelRatio(window.devicePixelRatio);
  host.append(renderer.domElement);
  // The points stay in the page's buffers while the context is gone; once it is back they are
  // uploaded again and drawn (nothing else would ask for a new picture).
  renderer.domElement.addEventListener('webglcontextlost', () => webglFailed(CONTEXT_LOST));
  renderer.domElement.addEventListener('webglcontextrestored', () => {
    status.failure = null;
    hideWebglFailure();
    requestRender();
  });
} else {
  pointsAbort.abort();  // nothing could draw them
  webglFailed(NO_WEBGL, made.reason);
}
const scene = new THREE.Scene();
scene.background = new THREE.Color('#18181b');

let camera;
let controls;
let cloud;
let extent = new THREE.Box3(new THREE.Vector3(-1, -1, -1), new THREE.Vector3(1, 1, 1));
let renderQueued = false;

function render() {
  renderQueued = false;
  if (renderer.getContext().isContextLost()) return;  // drawn again once restored
  renderer.render(scene, camera);
  status.frames++;
  const now = performance.now();
  if (status.firstPictureMs === null && status.received > 0) status.firstPictureMs = now;
  if (status.allPointsMs === null && status.state === 'done') status.allPointsMs = now;
}

function requestRender() {
  if (!renderQueued) {
    renderQueued = true;
    requestAnimationFrame(render);
  }
}

function showMessage(text) {
  const box = document.getElementById('message');
  box.textContent = text;
  box.hidden = false;
}

function makeCamera() {
  const { width, height } = host.getBoundingClientRect();
  const aspect = width / Math.max(height, 1);
  if (topDown) {
    camera = new THREE.OrthographicCamera(-1, 1, 1, -1, 0.001, 1);
  } else {
    camera = new THREE.PerspectiveCamera(50, aspect, 0.01, 100);
    camera.up.set(0, 0, 1);  // scanner data has z up
  }
  controls = new OrbitControls(camera, renderer.domElement);
  controls.addEventListener('change', requestRender);
  fitCamera();
}

// Frames the extent: from above for the top-down view, else from the south-east and above.
function fitCamera() {
  const { width, height } = host.getBoundingClientRect();
  const aspect = width / Math.max(height, 1);
  const size = extent.getSize(new THREE.Vector3());
  const middle = extent.getCenter(new THREE.Vector3());
  const diagonal = Math.max(size.length(), 1e-3);
  if (topDown) {
    const half = Math.max(size.x / 2, size.y / 2 * aspect, 1e-3) * 1.02;
    camera.left = -half; camera.right = half;
    camera.top = half / aspect; camera.bottom = -half / aspect;
    camera.near = 0.001 * diagonal; camera.far = 4 * diagonal;
    camera.position.set(middle.x, middle.y, extent.max.z + diagonal);
  } else {
    camera.aspect = aspect;
    camera.near = diagonal / 2000; camera.far = diagonal * 20;
    camera.position.copy(middle).add(new THREE.Vector3(0.38, -0.5, 0.32).multiplyScalar(diagonal));
  }
  camera.updateProjectionMatrix();
  controls.target.copy(middle);
  controls.update();
  requestRender();
}

function resize() {
  const { width, height } = host.getBoundingClientRect();
  renderer.setSize(width, height, false);
  fitCamera();
}

// Scan positions: a small marker in the cloud's colour where its matrix puts the scanner.
function addScanMarkers(facts) {
  const radius = Math.max(extent.getSize(new THREE.Vector3()).length() * 0.006, 0.01);
  const shape = new THREE.OctahedronGeometry(radius);
  facts.clouds.forEach((c, index) => {
    const marker = new THREE.Mesh(shape, new THREE.MeshBasicMaterial({ color: CLOUD_PALETTE[index % CLOUD_PALETTE.length] }));
    marker.position.set(c.position[0] - facts.centre[0], c.position[1] - facts.centre[1], c.position[2] - facts.centre[2]);
    scene.add(marker);
  });
}

const histogram = new IntensityHistogram();
function updateIntensityScale() {
  if (!cloud || histogram.total === 0) return;
  const low = histogram.percentile(0.01);
  const high = Math.max(histogram.percentile(0.99), low + 1);
  cloud.setIntensityRange(low, high);
  document.getElementById('intensity-low').textContent = String(low);
  document.getElementById('intensity-high').textContent = String(high);
}

function setColourMode(mode) {
  document.getElementById('colour-mode').value = mode;
  document.getElementById('intensity-scale').hidden = mode !== 'intensity';
  if (cloud) cloud.setMode(mode);
  updateIntensityScale();
  requestRender();
}

function drawRamp() {
  const canvas = document.getElementById('intensity-ramp');
  const context = canvas.getContext('2d');
  for (let x = 0; x < canvas.width; ++x) {
    const [r, g, b] = rampRgb(x / (canvas.width - 1));
    context.fillStyle = `rgb(${r * 255},${g * 255},${b * 255})`;
    context.fillRect(x, 0, 1, canvas.height);
  }
}

function setProgress(received, expected) {
  const share = expected > 0 ? received / expected : 1;
  document.getElementById('progress-bar').style.width = `${(100 * share).toFixed(1)}%`;
  document.getElementById('progress').setAttribute('aria-valuenow', (100 * share).toFixed(0));
  document.getElementById('progress-text').textContent =
    `${received.toLocaleString('en-US')} of ${expected.toLocaleString('en-US')} points`;
}

async function streamPoints(request) {
  const response = await request;
  if (!response.ok || !response.body) throw new Error(`the server answered ${response.status}`);
  let stride = 1;
  let centre = [0, 0, 0];
  const reader = new PointStreamReader({
    header(h) {
      status.expected = h.sendPoints;
      stride = h.stride;
      centre = h.centre;
      cloud = new PointCloud(h.sendPoints);
      scene.add(cloud.object);
      setColourMode(document.getElementById('colour-mode').value);
      cloud.setPointSize(Number(document.getElementById('point-size').value));
      setProgress(0, h.sendPoints);
    },
    points(block) {
      if (status.firstBlockMs === null) status.firstBlockMs = performance.now();
      status.received += cloud.add(block);
      histogram.add(block.intensity);
    },
    end(e) {
      ending = e;
    },
  });
  let ending = null;
  status.state = 'streaming';
  const body = response.body.getReader();
  for (;;) {
    const { value, done } = await body.read();
    if (done) break;
    reader.push(value);
    setProgress(status.received, status.expected);
    showShown(status.received, status.expected, stride);
    updateIntensityScale();
    requestRender();
  }
  if (!ending) throw new Error('the connection ended before every point arrived');
  document.getElementById('progress').classList.add('done');
  const box = cloud.bounds();
  if (stride === 1 && !box.isEmpty()) {
    showBounds(box.min.toArray().map((v, a) => v + centre[a]), box.max.toArray().map((v, a) => v + centre[a]));
  }
  if (topDown && !box.isEmpty()) {
    extent = box;  // the exact box, now that every point is here
    fitCamera();
  }
  // Only now, with the view in its final state, does the page count as done.
  status.message = ending.message;
  status.state = ending.complete ? 'done' : 'damaged';
  if (!ending.complete) showMessage(ending.message);
  requestRender();
}

async function start() {
  drawRamp();
  const factsResponse = await factsRequest;
  if (!factsResponse.ok) throw new Error(`the server answered ${factsResponse.status} for the facts`);
  const facts = await factsResponse.json();
  status.facts = facts;
  status.factsMs = performance.now();
  showFacts(facts);
  fileName = facts.file;
  if (!renderer) {
    webglFailed(NO_WEBGL, made.reason);  // again, now with the file's name in the command
    document.getElementById('progress').classList.add('done');
    status.state = NO_WEBGL;
    return;
  }
  if (facts.bounds) {
    const c = facts.centre;
    extent = new THREE.Box3(
      new THREE.Vector3(facts.bounds.min[0] - c[0], facts.bounds.min[1] - c[1], facts.bounds.min[2] - c[2]),
      new THREE.Vector3(facts.bounds.max[0] - c[0], facts.bounds.max[1] - c[1], facts.bounds.max[2] - c[2]));
  }
  makeCamera();
  new ResizeObserver(resize).observe(host);
  addScanMarkers(facts);
  const initial = params.get('colour') ||
    (facts.channels.includes('colour') ? 'rgb' : facts.channels.includes('intensity') ? 'intensity' : 'cloud');
  setColourMode(initial);
  document.getElementById('colour-mode').addEventListener('change', (e) => setColourMode(e.target.value));
  const size = document.getElementById('point-size');
  size.addEventListener('input', () => {
    document.getElementById('point-size-value').textContent = size.value;
    if (cloud) cloud.setPointSize(Number(size.value));
    requestRender();
  });
  document.getElementById('reset-camera').addEventListener('click', fitCamera);
  status.viewReadyMs = performance.now();
  await streamPoints(pointsRequest);
}

start().catch((error) => {
  status.state = 'error';
  status.message = error.message;
  showMessage(`Cannot show the points: ${error.message}`);
});
