// Reads the server's point stream (docs/noxconvert.md, "The point stream"): a 56-byte header, then blocks of a
// 16-byte header and a payload. Pieces from the network arrive cut anywhere; each header and
// payload is gathered into its own buffer, so the typed arrays over it are aligned.

const MAGIC = 'NXV1';
const HEADER_BYTES = 56;
const BLOCK_HEADER_BYTES = 16;
export const POINTS_BLOCK = 1;
export const END_BLOCK = 2;

export class PointStreamReader {
  // handlers: header({filePoints, sendPoints, stride, coarse, centre}),
  // points({count, cloud, xyz: Float32Array, intensity: Uint16Array, rgb: Uint8Array}),
  // end({complete, message}).
  constructor(handlers) {
    this.handlers = handlers;
    this.expect(HEADER_BYTES, (bytes) => this.readHeader(bytes));
    this.ended = false;
  }

  expect(size, then) {
    this.target = new Uint8Array(size);
    this.filled = 0;
    this.then = then;
  }

  push(piece) {
    let at = 0;
    while (at < piece.length && !this.ended) {
      const take = Math.min(this.target.length - this.filled, piece.length - at);
      this.target.set(piece.subarray(at, at + take), this.filled);
      this.filled += take;
      at += take;
      // Zero-length payloads complete at once, so keep going while targets fill.
      while (this.filled === this.target.length && !this.ended) this.then(this.target);
    }
  }

  readHeader(bytes) {
    const view = new DataView(bytes.buffer);
    const magic = String.fromCharCode(...bytes.subarray(0, 4));
    if (magic !== MAGIC || view.getUint32(4, true) !== HEADER_BYTES)
      throw new Error('the server sent points in an unknown form');
    this.handlers.header({
      filePoints: Number(view.getBigUint64(8, true)),
      sendPoints: Number(view.getBigUint64(16, true)),
      stride: view.getUint32(24, true),
      coarse: view.getUint32(28, true),
      centre: [view.getFloat64(32, true), view.getFloat64(40, true), view.getFloat64(48, true)],
    });
    this.expect(BLOCK_HEADER_BYTES, (block) => this.readBlockHeader(block));
  }

  readBlockHeader(bytes) {
    const view = new DataView(bytes.buffer);
    const kind = view.getUint32(0, true);
    const count = view.getUint32(4, true);
    const cloud = view.getUint32(8, true);
    const payload = view.getUint32(12, true);
    if (kind === POINTS_BLOCK && payload < count * 17)
      throw new Error('the server sent a block shorter than its points');
    this.expect(payload, (data) => {
      if (kind === POINTS_BLOCK) {
        this.handlers.points({
          count,
          cloud,
          xyz: new Float32Array(data.buffer, 0, 3 * count),
          intensity: new Uint16Array(data.buffer, 12 * count, count),
          rgb: new Uint8Array(data.buffer, 14 * count, 3 * count),
        });
      } else if (kind === END_BLOCK) {
        this.ended = true;
        this.handlers.end({ complete: count === 0, message: new TextDecoder().decode(data).replace(/\0+$/, '') });
        return;
      }
      this.expect(BLOCK_HEADER_BYTES, (block) => this.readBlockHeader(block));
    });
  }
}
