import { launch, openDesigner } from './browser/support.mjs';
const browser = await launch();
const { page, errors } = await openDesigner(browser);
await page.evaluate(() => {
  const e = window.quillmark.editor;
  const svg = 'data:image/svg+xml;base64,' + btoa('<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64"><circle cx="32" cy="32" r="28" fill="#1f3a5f"/><path d="M20 34l8 8 16-18" stroke="#f2b705" stroke-width="6" fill="none"/></svg>');
  e.apply((d) => ({ ...d, name: '货架标签', objects: [
    { id: 't', type: 'text', xMm: 2, yMm: 1.5, widthMm: 34, heightMm: 7, rotation: 0, locked: false, text: '货架 A-12 螺丝 M4×20', fontFamily: 'Noto Sans CJK SC', fontSizePt: 11, bold: true, italic: false, align: 'left', verticalAlign: 'middle', wrap: true, shrinkToFit: true, color: '#000000' },
    { id: 'b', type: 'barcode', xMm: 2, yMm: 10, widthMm: 32, heightMm: 16, rotation: 0, locked: false, symbology: 'code128', data: 'A12-M420', showText: true, color: '#000000' },
    { id: 'q', type: 'barcode', xMm: 36, yMm: 12, widthMm: 12, heightMm: 12, rotation: 0, locked: false, symbology: 'qrcode', data: 'https://example.com/A-12', showText: false, color: '#000000' },
    { id: 'i', type: 'image', xMm: 39, yMm: 1.5, widthMm: 8, heightMm: 8, rotation: 0, locked: false, src: svg, keepAspect: true },
    { id: 'l', type: 'line', xMm: 2, yMm: 8.4, widthMm: 46, heightMm: 0.6, rotation: 0, locked: false, strokeMm: 0.3, strokeColor: '#000000' },
    { id: 'r', type: 'rect', xMm: 0.8, yMm: 0.8, widthMm: 48.4, heightMm: 28.4, rotation: 0, locked: false, strokeMm: 0.4, strokeColor: '#000000', fillColor: '', cornerRadiusMm: 1.5 },
  ] }));
  e.select(['b']);
});
for (const s of process.argv.slice(3)) { await page.evaluate(s); await page.waitForTimeout(150); }
await page.waitForTimeout(400);
await page.screenshot({ path: process.argv[2] });
console.log(errors);
await browser.close();
