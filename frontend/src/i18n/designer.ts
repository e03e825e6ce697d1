// Words of the designer's own defaults and notes: new objects' default text, lists cut short, a
// bound barcode's check. messages.ts adds them to each language's table.

export const designerZhCN = {
  defaultText: '文本',
  listMore: '另外 {count} 项',
} as const;

export const designerEn: Record<keyof typeof designerZhCN, string> = {
  defaultText: 'Text',
  listMore: '{count} more',
};
