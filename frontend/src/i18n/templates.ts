// Words of makers' label templates and of label shapes (objects off the label); messages.ts adds
// them to each language's table.

export const templatesZhCN = {
  chooserEquivalent: '与 {part} 相同',
  offLabelCheck: '{count, plural, other {# 个对象超出标签范围}}：{names}。超出部分不会打印。',
};

export const templatesEn: Record<keyof typeof templatesZhCN, string> = {
  chooserEquivalent: 'Same as {part}',
  offLabelCheck: '{count, plural, one {# object lies} other {# objects lie}} partly off the label: {names}. What lies off it does not print.',
};
