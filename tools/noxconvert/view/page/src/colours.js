// Colours the page shares between the shader and the panel.

// Clouds: twelve colours that stay apart on a dark background.
export const CLOUD_PALETTE = [
  '#e6194b', '#3cb44b', '#ffe119', '#4363d8', '#f58231', '#911eb4',
  '#42d4f4', '#f032e6', '#bfef45', '#fabed4', '#469990', '#dcbeff',
];

// Intensity scale: dark blue through cyan and yellow to dark red, as three polynomial pieces so
// the shader and the panel's ramp draw the same colours.
export function rampRgb(t) {
  const r = Math.min(Math.max(1.5 - Math.abs(4 * t - 3), 0), 1);
  const g = Math.min(Math.max(1.5 - Math.abs(4 * t - 2), 0), 1);
  const b = Math.min(Math.max(1.5 - Math.abs(4 * t - 1), 0), 1);
  return [r, g, b];
}

export const rampGlsl = `
vec3 ramp(float t) {
  return clamp(vec3(1.5) - abs(vec3(4.0 * t - 3.0, 4.0 * t - 2.0, 4.0 * t - 1.0)), 0.0, 1.0);
}`;

// Stored intensities seen so far, to set the scale from the 1st to the 99th percentile, so a
// few very bright returns do not wash out the rest.
export class IntensityHistogram {
  constructor() {
    this.bins = new Uint32Array(65536);
    this.total = 0;
  }
  add(values) {
    for (let i = 0; i < values.length; ++i) this.bins[values[i]]++;
    this.total += values.length;
  }
  percentile(share) {
    const wanted = share * this.total;
    let seen = 0;
    for (let v = 0; v < 65536; ++v) {
      seen += this.bins[v];
      if (seen > wanted) return v;
    }
    return 65535;
  }
}
