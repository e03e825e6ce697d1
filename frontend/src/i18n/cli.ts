// Words of printing from the command line: what goes to standard error when a job cannot
// print, names the file, printer or records concerned. messages.ts adds them to each table.

export const cliZhCN = {
  cliProblem: '{what}：{reason}',
  cliUnknownPrinter: '找不到打印机“{printer}”。可用的打印机：{printers}',
  cliNoPrinters: '找不到打印机“{printer}”：系统中没有打印机。',
  cliNoSheet: '数据源“{file}”中没有工作表“{sheet}”。其中的工作表：{sheets}',
  cliSourceWithoutPath: '工程的数据源“{name}”没有记下文件路径：请用 --data 给出数据文件。',
  cliRecordsWithoutData: '工程“{file}”没有数据源，无法选择记录 {first}-{last}。',
  cliRecordsOutside: '记录 {first}-{last} 超出了数据源“{file}”的范围（1 到 {count}）。',
  cliNothingSent: '没有向打印机“{printer}”发送任何标签。',
  cliNothingSaved: '没有保存 PDF 文件“{file}”。',
  cliSkipped: '跳过了 {count} 条无法正确打印的记录：',
  cliPdfFailed: '无法保存 PDF 文件“{file}”：{reason}',
  cliUnexpected: '出现意外错误：{detail}',
} as const;

export const cliEn: Record<keyof typeof cliZhCN, string> = {
  cliProblem: '{what}: {reason}',
  cliUnknownPrinter: 'There is no printer "{printer}". Printers here: {printers}',
  cliNoPrinters: 'There is no printer "{printer}": the system has no printers.',
  cliNoSheet: 'The data source "{file}" has no worksheet "{sheet}". Its worksheets: {sheets}',
  cliSourceWithoutPath: 'The project\'s data source "{name}" has no file path: give the data file with --data.',
  cliRecordsWithoutData: 'The project "{file}" has no data source to choose records {first}-{last} from.',
  cliRecordsOutside: 'Records {first}-{last} lie outside the data source "{file}" (1 to {count}).',
  cliNothingSent: 'Nothing was sent to the printer "{printer}".',
  cliNothingSaved: 'The PDF file "{file}" was not saved.',
  cliSkipped: 'Skipped {count, plural, one {# record} other {# records}} that would not print correctly:',
  cliPdfFailed: 'Cannot save the PDF file "{file}": {reason}',
  cliUnexpected: 'An unexpected error occurred: {detail}',
};
