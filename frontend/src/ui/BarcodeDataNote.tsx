// What a barcode will encode, said under its data: why its own text cannot be encoded, or for data
// filled in from fields, how the previewed record's value fares (and which record that is).

import type { Editor } from '../editor/editor';
import { formatList } from '../i18n/messages';
import type { MergeSession } from '../merge/session';
import type { BarcodeObject } from '../model/document';
import { tokenize } from '../model/fields';
import { barcodeError } from '../render/barcode';
import { describeBarcodeFault } from '../render/barcodeFault';
import { useSession } from './merge/DataPanel';

export function BarcodeDataNote({ editor, session, object }: { editor: Editor; session: MergeSession; object: BarcodeObject }) {
  useSession(session);
  const fields = tokenize(object.data).filter((token) => token.kind !== 'text');
  if (fields.length === 0) {
    const error = barcodeError(object);
    return error && <p class="field-error" data-testid="barcode-error">{describeBarcodeFault(error, editor)}</p>;
  }
  const records = session.table?.records.length ?? 0;
  // The field names themselves are no barcode: without records there is nothing yet to check.
  if (records === 0) {
    const names = [...new Set(fields.map((field) => field.raw))];
    return <p class="hint" data-testid="barcode-from-data">{editor.msg('barcodeFromData', { fields: formatList(editor.t, names) })}</p>;
  }
  const index = Math.min(session.previewIndex, records - 1);
  const value = session.resolverFor(index)(object.data, object);
  const error = barcodeError({ symbology: object.symbology, data: value });
  const record = index + 1;
  return error
    ? <p class="field-error" data-testid="barcode-error">{editor.msg('checkItemValue', { record, value, reason: describeBarcodeFault(error, editor) })}</p>
    : <p class="hint" data-testid="barcode-record">{editor.msg('barcodeRecordValue', { record, value })}</p>;
}
