// Every word the designer shows, one table per language. Simplified Chinese is the default;
// the English table must have the same keys (the type checker holds it to that).

import { checksEn, checksZhCN } from './checks';
import { cliEn, cliZhCN } from './cli';
import { designerEn, designerZhCN } from './designer';
import { dataEn, dataZhCN } from './data';
import { errorsEn, errorsZhCN } from './errors';
import { mergeEn, mergeZhCN } from './merge';
import { languagesEn, languagesZhCN } from './languages';
import { printerEn, printerZhCN } from './printer';
import { safetyEn, safetyZhCN } from './safety';
import { stockEn, stockZhCN } from './stock';
import { symbologiesEn, symbologiesZhCN } from './symbologies';
import { templatesEn, templatesZhCN } from './templates';

const zhCN = {
  /** The table's language, for plural rules and number forms. */
  locale: 'zh-CN',
  appName: 'Quillmark 标签设计',
  untitled: '未命名标签',
  unsavedMarker: '（未保存）',
  // File
  newProject: '新建',
  openProject: '打开',
  saveProject: '保存',
  saveProjectAs: '另存为',
  quit: '退出',
  // Edit
  undo: '撤销',
  redo: '重做',
  cut: '剪切',
  copy: '复制',
  paste: '粘贴',
  duplicate: '创建副本',
  delete: '删除',
  selectAll: '全选',
  // Insert
  insert: '插入',
  insertText: '文本',
  insertBarcode: '条码',
  insertQr: '二维码',
  insertImage: '图像',
  insertRect: '矩形',
  insertEllipse: '椭圆',
  insertLine: '直线',
  // Arrange
  alignLeft: '左对齐',
  alignHCenter: '水平居中',
  alignRight: '右对齐',
  alignTop: '顶端对齐',
  alignVCenter: '垂直居中',
  alignBottom: '底端对齐',
  distributeH: '水平等距分布',
  distributeV: '垂直等距分布',
  bringToFront: '置于顶层',
  sendToBack: '置于底层',
  bringForward: '上移一层',
  sendBackward: '下移一层',
  rotateRight: '顺时针旋转 90°',
  lock: '锁定',
  unlock: '解锁',
  // View
  zoomIn: '放大',
  zoomOut: '缩小',
  zoomFit: '适合窗口',
  zoomActual: '实际大小 (100%)',
  grid: '网格',
  snap: '吸附',
  gridStep: '网格间距',
  language: '语言',
  // Properties
  properties: '属性',
  labelSettings: '标签',
  labelName: '名称',
  width: '宽度',
  height: '高度',
  positionX: 'X',
  positionY: 'Y',
  rotation: '旋转',
  locked: '锁定',
  mm: 'mm',
  pt: 'pt',
  inch: 'in',
  mil: 'mil',
  unit: '单位',
  unitMm: '毫米',
  unitIn: '英寸',
  degrees: '°',
  xdim: '窄条宽度 (X)',
  xdimUnitDots: '点',
  xdimFitsBox: '随框',
  xdimPrinted: '打印为 {dots} 点 = {mm} mm（{dpi} dpi）',
  xdimNominal: '，为标准尺寸的 {percent}%',
  xdimBelowRange: '打印出的窄条宽度 {printed} mm 小于该码制允许的最小值 {min} mm，可能无法扫描或被拒收。',
  xdimAboveRange: '打印出的窄条宽度 {printed} mm 大于该码制允许的最大值 {max} mm。',
  xdimTooFewDots: '窄条只有 {dots} 个打印点宽；少于 {min} 个点时，一个点的偏差就会影响扫描。',
  xdimBoxSized: '此条码随框缩放（旧工程中的条码）；设置窄条宽度后按标准尺寸打印。',
  quietZoneEdge: '条码的静区超出了标签边缘。',
  quietZoneObjects: '{count} 个对象压住了条码的静区。',
  textFont: '文字字体',
  textSize: '文字大小',
  textSizeAuto: '自动',
  objectText: '文本',
  objectBarcode: '条码',
  objectImage: '图像',
  objectRect: '矩形',
  objectEllipse: '椭圆',
  objectLine: '直线',
  multipleSelected: '已选择 {count} 个对象',
  textContent: '内容',
  fontFamily: '字体',
  fontSize: '字号',
  bold: '粗体',
  italic: '斜体',
  align: '对齐',
  alignTextLeft: '左',
  alignTextCenter: '中',
  alignTextRight: '右',
  verticalAlign: '垂直',
  vTop: '上',
  vMiddle: '中',
  vBottom: '下',
  wrap: '自动换行',
  shrinkToFit: '缩小以适应',
  color: '颜色',
  symbology: '码制',
  barcodeData: '数据',
  showText: '显示文字',
  strokeWidth: '线宽',
  strokeColor: '线条颜色',
  fillColor: '填充',
  noFill: '无填充',
  cornerRadius: '圆角',
  keepAspect: '保持比例',
  replaceImage: '更换图像…',
  keepOriginalPictures: '插入图片时保留原始分辨率（否则缩小到标签上 600 dpi）',
  // Status and messages
  statusPosition: '位置 {x}, {y} {unit}',
  statusSelection: '选中 {w} × {h} {unit}',
  statusLabel: '标签 {w} × {h} {unit}',
  browserMode: '浏览器模式（未连接桌面程序）：文件通过下载保存',
  saved: '已保存到 {path}',
  opened: '已打开 {name}',
  barcodeInvalid: '条码数据无效：{detail}',
  barcodeEmpty: '条码数据为空',
  imagePlaceholder: '双击选择图像',
  error: '出错了',
  ok: '确定',
  cancel: '取消',
  save: '保存',
  dontSave: '不保存',
  unsavedTitle: '有未保存的更改',
  unsavedQuestion: '“{name}”有未保存的更改。是否先保存？',
  openFailed: '无法打开“{name}”',
  notJson: '这个文件不是有效的 JSON 文本，可能已损坏。',
  notProject: '这个文件不是 Quillmark 标签工程。',
  newerVersion: '这个工程由更新版本的 Quillmark 创建（格式版本 {detail}），请升级后再打开。',
  badLabel: '工程中的标签尺寸无效。',
  skippedObjects: '已跳过 {count} 个无法识别的对象。',
  imageFailed: '无法读取这个图像文件。',
  imageTooLarge: '图像文件过大（上限 {limit} MB）。',
  recoverTitle: '恢复未保存的工作',
  recoverQuestion: '上次关闭时“{name}”还有未保存的更改（{time}）。要恢复吗？',
  recover: '恢复',
  discard: '丢弃',
  autosaveFull: '本地存储空间不足，无法自动保留这份工作，请及时保存。',
  unavailableInBrowser: '浏览器模式下无法使用此功能。',
  ...mergeZhCN,
  ...printerZhCN,
  ...languagesZhCN,
  ...checksZhCN,
  ...dataZhCN,
  ...stockZhCN,
  ...templatesZhCN,
  ...symbologiesZhCN,
  ...errorsZhCN,
  ...cliZhCN,
  ...safetyZhCN,
  ...designerZhCN,
} as const;

export type MessageKey = keyof typeof zhCN;
export type MessageTable = Record<MessageKey, string>;

const en: MessageTable = {
  locale: 'en',
  appName: 'Quillmark Label Designer',
  untitled: 'Untitled label',
  unsavedMarker: ' (unsaved)',
  newProject: 'New',
  openProject: 'Open',
  saveProject: 'Save',
  saveProjectAs: 'Save As',
  quit: 'Quit',
  undo: 'Undo',
  redo: 'Redo',
  cut: 'Cut',
  copy: 'Copy',
  paste: 'Paste',
  duplicate: 'Duplicate',
  delete: 'Delete',
  selectAll: 'Select all',
  insert: 'Insert',
  insertText: 'Text',
  insertBarcode: 'Barcode',
  insertQr: 'QR code',
  insertImage: 'Image',
  insertRect: 'Rectangle',
  insertEllipse: 'Ellipse',
  insertLine: 'Line',
  alignLeft: 'Align left',
  alignHCenter: 'Centre horizontally',
  alignRight: 'Align right',
  alignTop: 'Align top',
  alignVCenter: 'Centre vertically',
  alignBottom: 'Align bottom',
  distributeH: 'Distribute horizontally',
  distributeV: 'Distribute vertically',
  bringToFront: 'Bring to front',
  sendToBack: 'Send to back',
  bringForward: 'Bring forward',
  sendBackward: 'Send backward',
  rotateRight: 'Rotate 90° clockwise',
  lock: 'Lock',
  unlock: 'Unlock',
  zoomIn: 'Zoom in',
  zoomOut: 'Zoom out',
  zoomFit: 'Fit to window',
  zoomActual: 'Actual size (100%)',
  grid: 'Grid',
  snap: 'Snap',
  gridStep: 'Grid step',
  language: 'Language',
  properties: 'Properties',
  labelSettings: 'Label',
  labelName: 'Name',
  width: 'Width',
  height: 'Height',
  positionX: 'X',
  positionY: 'Y',
  rotation: 'Rotation',
  locked: 'Locked',
  mm: 'mm',
  pt: 'pt',
  inch: 'in',
  mil: 'mil',
  unit: 'Unit',
  unitMm: 'Millimetres',
  unitIn: 'Inches',
  degrees: '°',
  xdim: 'Narrow bar (X)',
  xdimUnitDots: 'dots',
  xdimFitsBox: 'fits box',
  xdimPrinted: 'Prints as {dots, plural, one {# dot} other {# dots}} = {mm} mm at {dpi} dpi',
  xdimNominal: ', {percent} % of nominal',
  xdimBelowRange: 'The printed narrow bar, {printed} mm, is below the {min} mm this symbology allows: it may not scan, or be refused.',
  xdimAboveRange: 'The printed narrow bar, {printed} mm, is above the {max} mm this symbology allows.',
  xdimTooFewDots: 'The narrow bar is only {dots, plural, one {# dot} other {# dots}} wide; below {min, plural, one {# dot} other {# dots}} a single dot decides whether it scans.',
  xdimBoxSized: 'This barcode fills its box (made in an older project); set a narrow-bar width to print it to standard.',
  quietZoneEdge: "The barcode's quiet zone runs past the label's edge.",
  quietZoneObjects: "{count, plural, one {# object intrudes} other {# objects intrude}} on the barcode's quiet zone.",
  textFont: 'Text font',
  textSize: 'Text size',
  textSizeAuto: 'auto',
  objectText: 'Text',
  objectBarcode: 'Barcode',
  objectImage: 'Image',
  objectRect: 'Rectangle',
  objectEllipse: 'Ellipse',
  objectLine: 'Line',
  multipleSelected: '{count, plural, one {# object selected} other {# objects selected}}',
  textContent: 'Content',
  fontFamily: 'Font',
  fontSize: 'Size',
  bold: 'Bold',
  italic: 'Italic',
  align: 'Align',
  alignTextLeft: 'Left',
  alignTextCenter: 'Centre',
  alignTextRight: 'Right',
  verticalAlign: 'Vertical',
  vTop: 'Top',
  vMiddle: 'Middle',
  vBottom: 'Bottom',
  wrap: 'Wrap lines',
  shrinkToFit: 'Shrink to fit',
  color: 'Colour',
  symbology: 'Symbology',
  barcodeData: 'Data',
  showText: 'Show text',
  strokeWidth: 'Line width',
  strokeColor: 'Line colour',
  fillColor: 'Fill',
  noFill: 'No fill',
  cornerRadius: 'Corner radius',
  keepAspect: 'Keep proportions',
  replaceImage: 'Replace image…',
  keepOriginalPictures: 'Keep inserted pictures at full resolution (otherwise reduced to 600 dpi on the label)',
  statusPosition: 'Position {x}, {y} {unit}',
  statusSelection: 'Selection {w} × {h} {unit}',
  statusLabel: 'Label {w} × {h} {unit}',
  browserMode: 'Browser mode (no desktop host): files are saved as downloads',
  saved: 'Saved to {path}',
  opened: 'Opened {name}',
  barcodeInvalid: 'Invalid barcode data: {detail}',
  barcodeEmpty: 'The barcode has no data',
  imagePlaceholder: 'Double-click to choose an image',
  error: 'Something went wrong',
  ok: 'OK',
  cancel: 'Cancel',
  save: 'Save',
  dontSave: "Don't save",
  unsavedTitle: 'Unsaved changes',
  unsavedQuestion: '"{name}" has unsaved changes. Save them first?',
  openFailed: 'Cannot open "{name}"',
  notJson: 'This file is not valid JSON text; it may be damaged.',
  notProject: 'This file is not a Quillmark label project.',
  newerVersion: 'This project was made by a newer Quillmark (format version {detail}); please upgrade to open it.',
  badLabel: 'The label size in this project is not valid.',
  skippedObjects: '{count, plural, one {# unrecognised object was left out.} other {# unrecognised objects were left out.}}',
  imageFailed: 'This image file cannot be read.',
  imageTooLarge: 'The image file is too large (limit {limit} MB).',
  recoverTitle: 'Recover unsaved work',
  recoverQuestion: '"{name}" had unsaved changes when the designer last closed ({time}). Recover them?',
  recover: 'Recover',
  discard: 'Discard',
  autosaveFull: 'Local storage is full, so this work cannot be kept automatically; please save it.',
  unavailableInBrowser: 'This is not available in browser mode.',
  ...mergeEn,
  ...printerEn,
  ...languagesEn,
  ...checksEn,
  ...dataEn,
  ...stockEn,
  ...templatesEn,
  ...symbologiesEn,
  ...errorsEn,
  ...cliEn,
  ...safetyEn,
  ...designerEn,
};

export type Language = 'zh-CN' | 'en';
export const LANGUAGES: readonly { id: Language; name: string }[] = [
  { id: 'zh-CN', name: '简体中文' },
  { id: 'en', name: 'English' },
];

const TABLES: Record<Language, MessageTable> = { 'zh-CN': zhCN, en };

export function messageTable(language: Language): MessageTable {
  return TABLES[language];
}

const pluralRules = new Map<string, Intl.PluralRules>();

function pluralCategory(locale: string, count: number): string {
  let rules = pluralRules.get(locale);
  if (!rules) {
    rules = new Intl.PluralRules(locale);
    pluralRules.set(locale, rules);
  }
  return rules.select(count);
}

/**
 * Looks a message up and fills its {placeholders}. A count takes its word's form from the
 * language's plural rules: "{labels, plural, one {# label} other {# labels}}" (# is the number).
 */
export function format(table: MessageTable, key: MessageKey, params: Record<string, string | number> = {}): string {
  const plurals = table[key].replace(/\{(\w+), plural,((?:\s*\w+\s*\{[^{}]*\})+)\s*\}/g, (whole, name: string, forms: string) => {
    if (!(name in params)) return whole;
    const count = Number(params[name]);
    const choices = new Map(Array.from(forms.matchAll(/(\w+)\s*\{([^{}]*)\}/g), (m) => [m[1], m[2]] as const));
    const chosen = choices.get(pluralCategory(table.locale, count)) ?? choices.get('other') ?? '';
    return chosen.replace(/#/g, String(params[name]));
  });
  return plurals.replace(/\{(\w+)\}/g, (whole, name: string) => (name in params ? String(params[name]) : whole));
}

const listFormats = new Map<string, Intl.ListFormat>();

/**
 * Joins names the way the language writes a list ("a, b, and c"; "甲、乙和丙"). With `more`, the
 * list ends in how many were left out.
 */
export function formatList(table: MessageTable, items: readonly string[], more = 0): string {
  let list = listFormats.get(table.locale);
  if (!list) {
    list = new Intl.ListFormat(table.locale, { type: 'conjunction' });
    listFormats.set(table.locale, list);
  }
  return list.format(more > 0 ? [...items, format(table, 'listMore', { count: more })] : items);
}
