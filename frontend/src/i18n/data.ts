// Words of reading data sources and printing their cells: dates, numbers, pictures per record,
// files checked by their content, and the records table. messages.ts adds them to each table.

export const dataZhCN = {
  faultDate: '“{column}”列的“{value}”不是日期：请写成 2026-03-05、2026/3/5 或 2026年3月5日。',
  faultNoDate: '“{column}”列没有日期：请填写日期，或跳过这条记录。',
  faultNumber: '“{column}”列的“{value}”不是数字：请只填写数字，如 1234.5。',
  faultNoNumber: '“{column}”列没有数字：请填写数字，或跳过这条记录。',
  sheetWrongContent: '“{name}”的扩展名是 {extension}，但内容是{actual}，不是这种表格。请在表格程序中另存为 .xlsx 或 CSV 后再导入。当前数据源保持不变。',
  contentZip: ' Excel 工作簿（.xlsx）',
  contentOle: ' Excel 97-2003 工作簿（.xls）',
  contentHtml: '网页（HTML），按表格读取会丢掉前导零等内容',
  contentText: '纯文本',
  contentBinary: '其他格式的数据',
  sheetInflateTooLarge: '“{name}”解压后的内容超过 {limit} MB，无法读取。文件可能已损坏，或是被刻意构造的。',
  dataMixedTitle: '“{name}”中有些行的文字编码不同',
  sheetMixedEncoding: '“{name}”混用了两种文字编码：第 {lines} 行是 {encoding} 编码，其余各行不是。已按各行自身的编码读取，请核对这些行。',
} as const;

export const dataEn: Record<keyof typeof dataZhCN, string> = {
  faultDate: '"{value}" in column "{column}" is no date: write it as 2026-03-05, 2026/3/5 or 2026年3月5日.',
  faultNoDate: 'Column "{column}" holds no date: enter one, or skip this record.',
  faultNumber: '"{value}" in column "{column}" is no number: enter digits only, such as 1234.5.',
  faultNoNumber: 'Column "{column}" holds no number: enter one, or skip this record.',
  sheetWrongContent: '"{name}" is named {extension} but holds {actual}, not that kind of spreadsheet. Save it as .xlsx or CSV in your spreadsheet program and import that. The current data source stays.',
  contentZip: 'an Excel workbook (.xlsx)',
  contentOle: 'an Excel 97-2003 workbook (.xls)',
  contentHtml: 'a web page (HTML), which would lose leading zeros and more if read as a sheet',
  contentText: 'plain text',
  contentBinary: 'data of another format',
  sheetInflateTooLarge: '"{name}" unpacks to more than {limit} MB and cannot be read. The file may be damaged or deliberately crafted.',
  dataMixedTitle: 'Some lines of "{name}" are in another text encoding',
  sheetMixedEncoding: '"{name}" mixes two text encodings: line {lines} is in {encoding}, the other lines are not. Each line was read in its own encoding; please check these lines.',
};
