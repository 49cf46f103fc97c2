// Type declarations of tessera-scale's JavaScript module (index.js).

export interface EnlargeOptions {
  /** Enlargement factor, minFactor to maxFactor (default defaultFactor). */
  factor?: number;
  /** Flatten transparency onto this colour, '#RRGGBB', and write an opaque image. */
  background?: string;
  /** Treat the image as a tile that repeats, so that the enlargement tiles without seams. */
  wrap?: boolean;
  /** Enlarge each cell of a sheet as an image of its own: N, [width, height] or 'WxH'. */
  grid?: number | [number, number] | string;
  /** The output file's format (default 'png'); pixels ignore it. */
  format?: 'png' | 'webp';
}

/** An Error from the command's path; `step` says what failed ('read', 'enlarge' or 'write'). */
export interface TesseraError extends Error {
  step?: 'read' | 'enlarge' | 'write';
}

export const minFactor: number;
export const maxFactor: number;
export const defaultFactor: number;

/** The bytes tessera-scale writes for an image file's bytes (PNG, BMP, TGA, JPEG, GIF or WebP). */
export function enlarge(bytes: Uint8Array | ArrayBuffer, options?: EnlargeOptions): Uint8Array;

/** As enlarge, also telling whether translucent pixels were composited over the background. */
export function enlargeFile(bytes: Uint8Array | ArrayBuffer, options?: EnlargeOptions): { file: Uint8Array; flattened: boolean };

/** Enlarges width x height RGBA pixels as tessera-scale enlarges a still image. */
export function enlargePixels(rgba: Uint8Array | Uint8ClampedArray, width: number, height: number,
  options?: EnlargeOptions): { rgba: Uint8Array; width: number; height: number };

export function parseFactor(value: string | number): number;
export function parseBackground(value: string): number;
export function parseGrid(value: number | [number, number] | string): [number, number];
