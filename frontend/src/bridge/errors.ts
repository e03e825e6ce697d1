// The host's refusals in the user's language. The host answers in its own fixed words (Chinese);
// each is matched here to a message key, so the page can tell one failure from another and say
// what to do next. A text followed by "：" and a detail is matched by the part before it; a text
// the table does not know is shown as it came.

import { format, MessageKey, MessageTable } from '../i18n/messages';
import { CHANNEL_LIMIT_CHARS } from './limits';

/** Every message the host's file, spreadsheet and print commands can send. */
const HOST_MESSAGES: Record<string, MessageKey> = {
  'cancelled': 'hostCancelled',
  'missing spreadsheet path': 'hostMissingSpreadsheetPath',
  '未知的文件种类': 'hostUnknownFileKind',
  '无法读取文件': 'hostCannotRead',
  '无法写入目标文件': 'hostCannotWriteTarget',
  '文件内容编码无效': 'hostBadEncoding',
  '写入文件失败': 'hostWriteFailed',
  '未选择打印机': 'hostNoPrinter',
  '没有可打印的页面': 'hostNoPages',
  '无效的页面尺寸': 'hostBadPageSize',
  '系统中未找到所选打印机': 'hostPrinterGone',
  '无法启动打印任务': 'hostCannotStartJob',
  '创建打印页失败': 'hostCannotCreatePage',
  '打印页图像无效': 'hostBadPageImage',
  '打印机不支持此页面尺寸': 'hostPageSizeUnsupported',
  '打印系统拒绝了打印任务': 'hostJobRefused',
  '打印机不支持所选设置': 'hostSettingUnsupported',
  '不是图片文件（PNG、JPEG、GIF、BMP、WebP 或 SVG）': 'hostNotPicture',
  '图片文件超过 20 MB': 'hostPictureTooLarge',
  // A print server that takes connections and does not answer.
  '打印系统没有响应': 'hostPrintSystemSilent',
};

/**
 * Refusals the host gives before it hands anything to the printing system (its checks of the
 * payload, the printer and every page), and the scheduler's refusal of the whole job: after
 * these no label of the call can have printed. Creating a page fails in the middle of a job.
 */
const REFUSED_BEFORE_SENDING: ReadonlySet<MessageKey> = new Set<MessageKey>([
  'hostNoPrinter', 'hostNoPages', 'hostBadPageSize', 'hostPrinterGone', 'hostCannotStartJob', 'hostBadPageImage',
  'hostPageSizeUnsupported', 'hostJobRefused', 'hostSettingUnsupported', 'hostPrintSystemSilent',
]);

/** Whether a failed call certainly printed nothing: refused by the page or by the host's checks. */
export function refusedBeforeSending(error: unknown): boolean {
  if (!(error instanceof BridgeError)) return false;
  return error.code === 'tooLarge' || error.code === 'unavailable' || (error.key !== null && REFUSED_BEFORE_SENDING.has(error.key));
}

const DETAIL_SEPARATOR = '：';

export type ErrorCode = 'host' | 'protocol' | 'unavailable' | 'tooLarge';

/** What a payload carries, for saying which one was too large. */
export type PayloadKind = 'project' | 'pdf' | 'pages';

/** Why a call failed; `key` names the host's message (null for a text the page does not know). */
export class BridgeError extends Error {
  readonly key: MessageKey | null;
  readonly params: Record<string, string | number>;
  /** The file a host refusal is about, where the host names it. */
  path = '';

  constructor(message: string, readonly code: ErrorCode = 'host', known?: { key: MessageKey; params?: Record<string, string | number> }) {
    super(message);
    this.name = 'BridgeError';
    const found = known ?? (code === 'host' ? matchHostMessage(message) : null);
    this.key = found?.key ?? null;
    this.params = found?.params ?? {};
  }
}

/** The key of a host message and its detail, or null for a text the table does not know. */
export function matchHostMessage(text: string): { key: MessageKey; params: { detail: string } } | null {
  const cut = text.indexOf(DETAIL_SEPARATOR);
  const head = cut < 0 ? text : text.slice(0, cut);
  const key = Object.prototype.hasOwnProperty.call(HOST_MESSAGES, head) ? HOST_MESSAGES[head] : undefined;
  return key ? { key, params: { detail: cut < 0 ? '' : text.slice(cut + DETAIL_SEPARATOR.length) } } : null;
}

const PAYLOAD_WORDS: Record<PayloadKind, [MessageKey, MessageKey]> = {
  project: ['payloadProject', 'payloadProjectHint'],
  pdf: ['payloadPdf', 'payloadPdfHint'],
  pages: ['payloadPages', 'payloadPagesHint'],
};

/** The refusal of a payload of `chars` characters where at most `limit` fit. */
export function payloadTooLarge(kind: PayloadKind, chars: number, limit = CHANNEL_LIMIT_CHARS): BridgeError {
  const millions = (n: number): string => (n / 1e6).toFixed(1);
  return new BridgeError(`${kind} payload of ${chars} characters exceeds ${limit}`, 'tooLarge', {
    key: 'payloadTooLarge', params: { kind, size: millions(chars), limit: millions(limit) },
  });
}

/** Refuses, before it is sent, a payload the channel would drop. */
export function checkPayload(kind: PayloadKind, chars: number): void {
  if (chars > CHANNEL_LIMIT_CHARS) throw payloadTooLarge(kind, chars);
}

/** A failure in words of the interface's language; an unknown text as it came. */
export function describeError(error: unknown, table: MessageTable): string {
  const known = error instanceof BridgeError ? error : null;
  const text = error instanceof Error ? error.message : String(error);
  const match: { key: MessageKey; params: Record<string, string | number> } | null =
    known?.key ? { key: known.key, params: known.params } : matchHostMessage(text);
  if (!match) return text;
  const words = PAYLOAD_WORDS[match.params.kind as PayloadKind];
  return format(table, match.key, words ? { ...match.params, what: table[words[0]], hint: table[words[1]] } : match.params);
}
