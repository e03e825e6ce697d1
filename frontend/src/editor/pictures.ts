// Pictures as the label can print them. A photo straight from a camera holds far more pixels
// than even a 600 dpi printer can put on a label, and every one of them travels in the project
// file and through the channel; reduced on insert, three photos no longer fill a save.

import type { DesktopApi } from '../bridge/client';
import { BridgeError } from '../bridge/errors';
import { MM_PER_INCH } from '../model/units';
import type { ImageStore } from '../render/images';
import { PictureRead, PictureSize, RecordPictures } from '../render/recordPictures';

/** The finest resolution the program prints at. */
export const PICTURE_DPI = 600;

export interface Picture {
  src: string;
  width: number;
  height: number;
}

/**
 * The picture reduced to PICTURE_DPI at the largest size it can have on a label of this size
 * (the whole label), or unchanged when it is no larger, is a drawing (SVG), or would not shrink.
 */
export async function reducePicture(picture: Picture, labelWidthMm: number, labelHeightMm: number): Promise<Picture> {
  if (picture.src.startsWith('data:image/svg+xml')) return picture;
  const maxWidth = Math.ceil((labelWidthMm / MM_PER_INCH) * PICTURE_DPI);
  const maxHeight = Math.ceil((labelHeightMm / MM_PER_INCH) * PICTURE_DPI);
  const scale = Math.min(maxWidth / picture.width, maxHeight / picture.height);
  if (scale >= 1) return picture;
  const width = Math.max(1, Math.round(picture.width * scale));
  const height = Math.max(1, Math.round(picture.height * scale));
  const image = await decode(picture.src);
  if (!image) return picture;
  const canvas = document.createElement('canvas');
  canvas.width = width;
  canvas.height = height;
  const ctx = canvas.getContext('2d')!;
  ctx.imageSmoothingQuality = 'high';
  ctx.drawImage(image, 0, 0, width, height);
  // Photos stay photos; everything else may have transparency, which only PNG keeps.
  const src = picture.src.startsWith('data:image/jpeg') ? canvas.toDataURL('image/jpeg', 0.92) : canvas.toDataURL('image/png');
  return src.length < picture.src.length ? { src, width, height } : picture;
}

function decode(src: string): Promise<HTMLImageElement | null> {
  return new Promise((resolve) => {
    const image = new Image();
    image.onload = () => resolve(image);
    image.onerror = () => resolve(null);
    image.src = src;
  });
}

/**
 * Pictures named in data cells, read through the host and reduced by `reduce` (as inserted
 * pictures are, unless the person keeps original pictures); served to every drawing through the
 * image store. The designer and printing from the command line both read them so.
 */
export function hostRecordPictures(api: DesktopApi, images: ImageStore, reduce: (picture: PictureSize) => Promise<PictureSize>): RecordPictures {
  const read = async (path: string): Promise<PictureRead> => {
    try {
      const reply = await api.readImageFile(path);
      return reply ? { ok: true, dataBase64: reply.dataBase64 } : { ok: false, problem: 'missing' };
    } catch (e) {
      const key = e instanceof BridgeError ? e.key : null;
      const problem = e instanceof BridgeError && e.code === 'unavailable' ? 'unavailable'
        : key === 'hostNotPicture' ? 'notPicture' : key === 'hostPictureTooLarge' ? 'tooLarge' : 'missing';
      return { ok: false, problem };
    }
  };
  const pictures = new RecordPictures(read, reduce);
  images.attachRecordPictures(pictures);
  return pictures;
}
