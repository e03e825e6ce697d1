// Pictures as the label can print them. A photo straight from a camera holds far more pixels
// than even a 600 dpi printer can put on a label, and every one of them travels in the project
// file and through the channel; reduced on insert, three photos no longer fill a save.

import { MM_PER_INCH } from '../model/units';

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
