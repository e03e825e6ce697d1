// The barcode encoder as the page installs it once it has loaded its bundle.
import bwipjs from 'bwip-js';
import { installBarcodeEncoder } from '../../src/render/barcode';

installBarcodeEncoder(bwipjs);
