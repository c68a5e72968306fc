// The points on the GPU: buffers sized once for every point the stream will carry, filled block
// by block, drawn up to the points that have arrived. One shader colours by stored RGB, by
// intensity through a colour scale, or by cloud.
import * as THREE from 'three';
import { CLOUD_PALETTE, rampGlsl } from './colours.js';

export const COLOUR_MODES = { rgb: 0, intensity: 1, cloud: 2 };

const vertexShader = `
attribute vec3 colour;
attribute float intensity;
attribute float cloud;
uniform float pointSize;
uniform int mode;
uniform vec2 intensityRange;
uniform vec3 palette[${CLOUD_PALETTE.length}];
varying vec3 shade;
${rampGlsl}
void main() {
  if (mode == 0) {
    shade = colour;
  } else if (mode == 1) {
    shade = ramp(clamp((intensity - intensityRange.x) / max(intensityRange.y - intensityRange.x, 1e-6), 0.0, 1.0));
  } else {
    shade = palette[int(mod(cloud, ${CLOUD_PALETTE.length}.0))];
  }
  gl_Position = projectionMatrix * modelViewMatrix * vec4(position, 1.0);
  gl_PointSize = pointSize;
}`;

const fragmentShader = `
varying vec3 shade;
void main() { gl_FragColor = vec4(shade, 1.0); }`;

export class PointCloud {
  constructor(capacity) {
    this.capacity = capacity;
    this.count = 0;
    this.positions = new Float32Array(3 * capacity);
    this.colours = new Uint8Array(3 * capacity);
    this.intensities = new Uint16Array(capacity);
    this.clouds = new Uint16Array(capacity);
    this.geometry = new THREE.BufferGeometry();
    this.attributes = {
      position: new THREE.BufferAttribute(this.positions, 3),
      colour: new THREE.BufferAttribute(this.colours, 3, true),
      intensity: new THREE.BufferAttribute(this.intensities, 1, true),
      cloud: new THREE.BufferAttribute(this.clouds, 1, false),
    };
    for (const [name, attribute] of Object.entries(this.attributes)) {
      attribute.setUsage(THREE.DynamicDrawUsage);
      this.geometry.setAttribute(name, attribute);
    }
    this.geometry.setDrawRange(0, 0);
    this.material = new THREE.ShaderMaterial({
      vertexShader,
      fragmentShader,
      uniforms: {
        pointSize: { value: 2 * window.devicePixelRatio },
        mode: { value: COLOUR_MODES.rgb },
        intensityRange: { value: new THREE.Vector2(0, 1) },
        palette: { value: CLOUD_PALETTE.map((c) => new THREE.Color(c)) },
      },
    });
    this.object = new THREE.Points(this.geometry, this.material);
    this.object.frustumCulled = false;  // the buffers grow; their bounds are never final
  }

  // Adds a block; points beyond the capacity (a server that sends more than it said) are dropped.
  add(block) {
    const n = Math.min(block.count, this.capacity - this.count);
    if (n <= 0) return 0;
    const at = this.count;
    this.positions.set(block.xyz.subarray(0, 3 * n), 3 * at);
    this.colours.set(block.rgb.subarray(0, 3 * n), 3 * at);
    this.intensities.set(block.intensity.subarray(0, n), at);
    this.clouds.fill(Math.min(block.cloud, 65535), at, at + n);
    for (const attribute of Object.values(this.attributes)) {
      attribute.addUpdateRange(at * attribute.itemSize, n * attribute.itemSize);
      attribute.needsUpdate = true;
    }
    this.count += n;
    this.geometry.setDrawRange(0, this.count);
    return n;
  }

  setMode(name) { this.material.uniforms.mode.value = COLOUR_MODES[name]; }
  setPointSize(pixels) { this.material.uniforms.pointSize.value = pixels * window.devicePixelRatio; }
  // low and high as stored intensities (0 to 65535 here, the stream's unsigned form).
  setIntensityRange(low, high) { this.material.uniforms.intensityRange.value.set(low / 65535, high / 65535); }

  // The box around the points that have arrived, relative to the stream's centre.
  bounds() {
    const low = [Infinity, Infinity, Infinity];
    const high = [-Infinity, -Infinity, -Infinity];
    const p = this.positions;
    for (let i = 0; i < 3 * this.count; i += 3) {
      for (let a = 0; a < 3; ++a) {
        if (p[i + a] < low[a]) low[a] = p[i + a];
        if (p[i + a] > high[a]) high[a] = p[i + a];
      }
    }
    return new THREE.Box3(new THREE.Vector3(...low), new THREE.Vector3(...high));
  }
}
