// Small line icons for the toolbar, drawn on a 20 × 20 grid in the current text colour.

const PATHS: Record<string, string> = {
  new: 'M5 2.5h7l3.5 3.5v11.5h-10.5z M12 2.5v3.5h3.5 M10 9v6 M7 12h6',
  open: 'M2.5 5.5v10h13l2-7h-13l-2 7 M2.5 5.5v-2h5l1.5 2h6v3',
  save: 'M3.5 3.5h10.5l2.5 2.5v10.5h-13z M6.5 3.5v4h6.5v-4 M6.5 16.5v-5h7v5',
  saveAs: 'M3.5 3.5h9l2 2v3 M3.5 3.5v13h5 M6.5 3.5v3.5h5 M11 16.5l6-6-2-2-6 6v2z',
  undo: 'M7 4.5l-3.5 3.5 3.5 3.5 M3.5 8h8a4.5 4.5 0 0 1 0 9h-3',
  redo: 'M13 4.5l3.5 3.5-3.5 3.5 M16.5 8h-8a4.5 4.5 0 0 0 0 9h3',
  text: 'M4 5v-1.5h12v1.5 M10 3.5v13 M7.5 16.5h5',
  barcode: 'M3 4v12 M5.5 4v12 M7 4v12 M9.5 4v12 M12 4v12 M13.5 4v12 M16 4v12 M17.5 4v12',
  qr: 'M3 3h5v5h-5z M12 3h5v5h-5z M3 12h5v5h-5z M12 12h2v2h-2z M15 15h2v2h-2z M12 16h1 M16 12h1',
  image: 'M2.5 4h15v12h-15z M2.5 13.5l4-4 3.5 3.5 2.5-2.5 5 5 M13 7.5a1 1 0 1 0 0.01 0',
  rect: 'M3 5h14v10h-14z',
  ellipse: 'M10 4.5a7 5.5 0 1 0 0.01 0z',
  line: 'M3 15.5l14-11',
  alignLeft: 'M3.5 2.5v15 M6 5h9v3.5h-9z M6 11.5h6v3.5h-6z',
  alignHCenter: 'M10 2.5v15 M4.5 5h11v3.5h-11z M6.5 11.5h7v3.5h-7z',
  alignRight: 'M16.5 2.5v15 M5 5h9v3.5h-9z M8 11.5h6v3.5h-6z',
  alignTop: 'M2.5 3.5h15 M5 6v9h3.5v-9z M11.5 6v6h3.5v-6z',
  alignVCenter: 'M2.5 10h15 M5 4.5v11h3.5v-11z M11.5 6.5v7h3.5v-7z',
  alignBottom: 'M2.5 16.5h15 M5 5v9h3.5v-9z M11.5 8v6h3.5v-6z',
  distributeH: 'M2.5 3v14 M17.5 3v14 M7 6h2.5v8h-2.5z M11 6h2.5v8h-2.5z',
  distributeV: 'M3 2.5h14 M3 17.5h14 M6 7h8v2.5h-8z M6 11h8v2.5h-8z',
  front: 'M3 3h9v9h-9z M8 8h9v9h-9z',
  back: 'M8 8h9v9h-9z M3 3h9v9h-9z',
  rotate: 'M15.5 9.5a5.5 5.5 0 1 1-2-4.3 M15.5 2.5v3.5h-3.5',
  lock: 'M5 9h10v8h-10z M7 9v-3a3 3 0 0 1 6 0v3',
  unlock: 'M5 9h10v8h-10z M7 9v-3a3 3 0 0 1 5.8-1',
  duplicate: 'M6.5 6.5h10v10h-10z M3.5 13.5v-10h10',
  delete: 'M3.5 5.5h13 M8 5.5v-2h4v2 M5 5.5l1 11.5h8l1-11.5 M8.5 8.5v6 M11.5 8.5v6',
  zoomIn: 'M8.5 3a5.5 5.5 0 1 0 0.01 0z M12.5 12.5l5 5 M8.5 6v5 M6 8.5h5',
  zoomOut: 'M8.5 3a5.5 5.5 0 1 0 0.01 0z M12.5 12.5l5 5 M6 8.5h5',
  fit: 'M3 7.5v-4.5h4.5 M12.5 3h4.5v4.5 M17 12.5v4.5h-4.5 M7.5 17h-4.5v-4.5 M6.5 6.5h7v7h-7z',
  actual: 'M3.5 4h13v12h-13z M7 8v5 M10 8.5v.5 M10 12v.5 M13 8v5',
  grid: 'M3 3h14v14h-14z M7.7 3v14 M12.3 3v14 M3 7.7h14 M3 12.3h14',
  snap: 'M5 3v7a5 5 0 0 0 10 0v-7 M5 6.5h3 M12 6.5h3 M8 3v7a2 2 0 0 0 4 0v-7',
  quit: 'M8 3.5h-4.5v13h4.5 M12 6.5l3.5 3.5-3.5 3.5 M15.5 10h-8',
  bold: 'M5.5 3.5h5.5a3 3 0 0 1 0 6.5h-5.5z M5.5 10h6.5a3.2 3.2 0 0 1 0 6.5h-6.5z',
  italic: 'M8 3.5h7 M5 16.5h7 M11.5 3.5l-3 13',
};

export function Icon({ name }: { name: string }) {
  return (
    <svg class="icon" viewBox="0 0 20 20" width="20" height="20" aria-hidden="true">
      <path d={PATHS[name] ?? ''} fill="none" stroke="currentColor" stroke-width="1.5" stroke-linecap="round" stroke-linejoin="round" />
    </svg>
  );
}
