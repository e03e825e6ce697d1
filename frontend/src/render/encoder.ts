// The barcode encoder's bundle, loaded when render/barcode.ts first needs it (see util/bundles.ts).
import bwipjs from 'bwip-js';

export const bwip = bwipjs;
