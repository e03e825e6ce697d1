// Words of the designer's own defaults and notes: new objects' default text, lists cut short, a
// bound barcode's check. messages.ts adds them to each language's table.

export const designerZhCN = {
  defaultText: '文本',
  listMore: '另外 {count} 项',
  barcodeFromData: '内容来自数据 {fields}：打印前逐条记录检查。',
  barcodeRecordValue: '第 {record} 条记录：{value}',
} as const;

export const designerEn: Record<keyof typeof designerZhCN, string> = {
  defaultText: 'Text',
  listMore: '{count} more',
  barcodeFromData: 'The content comes from the data ({fields}); each record is checked before printing.',
  barcodeRecordValue: 'Record {record}: {value}',
};
