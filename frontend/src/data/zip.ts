// How much a ZIP file (an .xlsx) unpacks to, found before the spreadsheet reader unpacks it. A
// megabyte of deflated XML can unpack to a gigabyte; the reader would hold all of it. Entries
// whose size the file states are held by the reader to that size, so the stated sizes are
// added up; an entry that leaves its size to a trailer after the data (flag 8, or size 0) is
// unpacked here in small steps and counted, stopping as soon as the total passes the limit.

import { Inflate } from 'fflate';

const EOCD = 0x06054b50;
const CENTRAL = 0x02014b50;
const LOCAL = 0x04034b50;
/** Each step unpacks at most about a thousand times this. */
const STEP_BYTES = 16 * 1024;

export class InflateLimitExceeded extends Error {
  constructor() {
    super('inflated size over the limit');
    this.name = 'InflateLimitExceeded';
  }
}

/**
 * Throws InflateLimitExceeded when the archive's entries together unpack to more than `limit`
 * bytes. An archive this cannot follow is left to the reader, which refuses it in its own words.
 */
export function checkInflatedSize(bytes: Uint8Array, limit: number): void {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const u32 = (at: number): number => (at + 4 <= bytes.length ? view.getUint32(at, true) : -1);
  const u16 = (at: number): number => (at + 2 <= bytes.length ? view.getUint16(at, true) : -1);
  let eocd = -1;
  for (let at = bytes.length - 22; at >= Math.max(0, bytes.length - 22 - 65535); at--) {
    if (u32(at) === EOCD) {
      eocd = at;
      break;
    }
  }
  if (eocd < 0) return;
  const count = u16(eocd + 10);
  let at = u32(eocd + 16);
  let total = 0;
  for (let i = 0; i < count && u32(at) === CENTRAL; i++) {
    const method = u16(at + 10);
    const compressed = u32(at + 20);
    const stated = u32(at + 24);
    const local = u32(at + 42);
    at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    if (u32(local) !== LOCAL) continue;
    const flags = u16(local + 6);
    const localStated = u32(local + 22);
    const start = local + 30 + u16(local + 26) + u16(local + 28);
    if (method === 8 && ((flags & 8) !== 0 || localStated === 0)) {
      total += inflatedSize(bytes.subarray(start, start + compressed), limit - total);
    } else {
      total += Math.max(stated, localStated, method === 0 ? compressed : 0);
    }
    if (total > limit) throw new InflateLimitExceeded();
  }
}

function inflatedSize(deflated: Uint8Array, room: number): number {
  let size = 0;
  const inflater = new Inflate((chunk) => {
    size += chunk.length;
    if (size > room) throw new InflateLimitExceeded();
  });
  for (let at = 0; at < deflated.length; at += STEP_BYTES) {
    inflater.push(deflated.subarray(at, at + STEP_BYTES), at + STEP_BYTES >= deflated.length);
  }
  return size;
}
