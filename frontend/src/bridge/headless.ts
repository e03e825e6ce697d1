// The host's side of a print job started from the command line ("headlessPrint", published
// only then): the job as the command line gave it, the PDF written where the user named it,
// progress and the outcome, which the host turns into lines on standard error and an exit status.

import type { Language } from '../i18n/messages';
import { callHost, ChannelObject, hostObject } from './client';

export interface HeadlessJob {
  /** Absolute paths; `data` is '' for the project's own data source. */
  project: string;
  printer: string;
  pdf: string;
  data: string;
  sheet: string;
  /** 1-based and inclusive; 0 for the first and the last record. */
  firstRecord: number;
  lastRecord: number;
  copies: number;
  skipInvalid: boolean;
  language: Language;
}

/** The exit statuses a script reads. */
export const EXIT_DONE = 0;
export const EXIT_NOTHING_PRINTED = 1;
/** Some labels reached the printer before it failed. */
export const EXIT_PARTLY_PRINTED = 3;

export class HeadlessHost {
  constructor(private readonly object: ChannelObject) {}

  async job(): Promise<HeadlessJob> {
    const reply = (await callHost(this.object, 'job')) ?? {};
    const text = (key: string): string => (typeof reply[key] === 'string' ? (reply[key] as string) : '');
    const whole = (key: string, fallback: number): number => (Number.isInteger(reply[key]) ? (reply[key] as number) : fallback);
    return {
      project: text('project'), printer: text('printer'), pdf: text('pdf'), data: text('data'), sheet: text('sheet'),
      firstRecord: whole('firstRecord', 0), lastRecord: whole('lastRecord', 0), copies: whole('copies', 1),
      skipInvalid: reply.skipInvalid === true, language: reply.language === 'zh-CN' ? 'zh-CN' : 'en',
    };
  }

  /** Resolves with the path written; rejects with the host's reason. */
  async writePdf(dataBase64: string): Promise<string> {
    const reply = await callHost(this.object, 'writePdf', JSON.stringify({ dataBase64 }));
    return String(reply?.path ?? '');
  }

  async progress(line: string): Promise<void> {
    await callHost(this.object, 'progress', line);
  }

  async finish(status: number, lines: string[]): Promise<void> {
    await callHost(this.object, 'finish', JSON.stringify({ status, lines }));
  }
}

/** The job's host when the program was started to print without a window; null otherwise. */
export function headlessHost(): HeadlessHost | null {
  const object = hostObject('headlessPrint');
  return object ? new HeadlessHost(object) : null;
}
