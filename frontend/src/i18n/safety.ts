// Words for what the designer refuses or asks before it acts on a file it was handed: a
// project's data file, oversized projects and texts, pictures that cannot be drawn, and a
// designer that had to be restarted. messages.ts adds them to each language's table.

export const safetyZhCN = {
  dataSourceAskTitle: '读取数据源？',
  dataSourceAsk: '这个工程要读取下面的文件作为数据源，但你没有在这台电脑上选择过它：\n{path}\n文件内容会显示在数据面板中，并可能被打印。只有在你认得这个文件时才读取。',
  dataSourceRead: '读取',
  dataSourceSkip: '不读取',
  dataSourceNotRead: '未读取数据源“{name}”。需要时可在数据面板中重新读取或重新导入。',
  projectTooLarge: '工程文件过大（{detail} MB），上限为 {limit} MB。',
  tooManyObjects: '对象过多（{detail} 个），一个工程最多 {limit} 个对象。',
  textTooLong: '文本过长（{detail} 个字符），一段文本或条码内容最多 {limit} 个字符。',
  pictureBroken: '有一张图片已损坏或不完整，无法照原样打印。请重新插入这张图片。',
} as const;

export const safetyEn: Record<keyof typeof safetyZhCN, string> = {
  dataSourceAskTitle: 'Read the data source?',
  dataSourceAsk: 'This project wants to read the file below as its data source, but you have not chosen it on this computer:\n{path}\nIts content will show in the data panel and may be printed. Read it only if you know this file.',
  dataSourceRead: 'Read',
  dataSourceSkip: 'Do not read',
  dataSourceNotRead: 'The data source "{name}" was not read. Read it again or import it from the data panel when you need it.',
  projectTooLarge: 'The project file is too large ({detail} MB; the limit is {limit} MB).',
  tooManyObjects: 'Too many objects ({detail}); a project holds at most {limit}.',
  textTooLong: 'A text is too long ({detail, plural, one {# character} other {# characters}}); a text or barcode content holds at most {limit} characters.',
  pictureBroken: 'A picture is damaged or incomplete and would not print as it is. Insert that picture again.',
};
