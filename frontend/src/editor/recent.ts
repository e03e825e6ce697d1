// Short lists the designer keeps in the page's local storage across runs: the projects opened or
// saved last (by path, newest first), the stock used last, the stock marked as favourite, and the
// data files the user chose.
// A damaged or missing list reads as empty; a full storage keeps the previous list.

export const RECENT_PROJECTS_KEY = 'quillmark.recentProjects';
export const RECENT_STOCK_KEY = 'quillmark.recentStock';
export const FAVOURITE_STOCK_KEY = 'quillmark.favouriteStock';
export const MAX_RECENT_PROJECTS = 10;
export const MAX_RECENT_STOCK = 8;
/** Data files the user picked, or agreed to read, on this machine (see MergeHost.isKnownSource). */
export const KNOWN_SOURCES_KEY = 'quillmark.knownDataSources';
export const MAX_KNOWN_SOURCES = 200;

type Storage = Pick<globalThis.Storage, 'getItem' | 'setItem'>;

export function readList(storage: Storage, key: string): string[] {
  try {
    const raw: unknown = JSON.parse(storage.getItem(key) ?? '[]');
    return Array.isArray(raw) ? raw.filter((v): v is string => typeof v === 'string' && v !== '') : [];
  } catch {
    return [];
  }
}

export function writeList(storage: Storage, key: string, list: readonly string[]): void {
  try {
    storage.setItem(key, JSON.stringify(list));
  } catch {
    /* storage full: the list is a convenience, the previous one stays */
  }
}

/** The list with `item` first, without its older place, cut to `max`. */
export function withFirst(list: readonly string[], item: string, max: number): string[] {
  return [item, ...list.filter((v) => v !== item)].slice(0, max);
}

export function without(list: readonly string[], item: string): string[] {
  return list.filter((v) => v !== item);
}
