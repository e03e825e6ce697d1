// Property fields that commit on Enter or when leaving the field, and step with the arrow keys.

import { useEffect, useState } from 'preact/hooks';
import type { Editor } from '../editor/editor';
import { formatLength, formatMm, LengthUnit, parseLength, parseMm } from '../model/units';

interface NumberFieldProps {
  label: string;
  value: number | null;
  unit?: string;
  min?: number;
  max?: number;
  step?: number;
  disabled?: boolean;
  testId?: string;
  placeholder?: string;
  /** How the value is shown and read back; millimetres with one decimal unless given. */
  format?: (value: number) => string;
  parse?: (text: string) => number | null;
  onCommit: (value: number) => void;
}

/** A number in millimetres (or points): "12,5" and "12.5 mm" both read as 12.5; Up/Down step 0.1 (Shift: 1). */
export function NumberField({
  label, value, unit, min, max, step = 0.1, disabled, testId, placeholder, format = formatMm, parse = parseMm, onCommit,
}: NumberFieldProps) {
  const shown = value === null ? '' : format(value);
  const [text, setText] = useState(shown);
  const [editing, setEditing] = useState(false);
  useEffect(() => {
    if (!editing) setText(shown);
  }, [shown, editing]);
  const clamp = (v: number): number => Math.min(max ?? Infinity, Math.max(min ?? -Infinity, v));
  const commit = (raw: string): void => {
    // Unchanged text is no edit: an inch shown rounded must not move the millimetres behind it.
    if (raw.trim() === shown) return;
    const parsed = parse(raw);
    if (parsed === null) {
      setText(shown);
      return;
    }
    const v = clamp(parsed);
    setText(format(v));
    if (value === null || Math.abs(v - value) > 1e-9) onCommit(v);
  };
  return (
    <label class="field">
      <span class="field-label">{label}</span>
      <span class="field-input">
        <input
          type="text"
          inputMode="decimal"
          value={text}
          placeholder={placeholder}
          disabled={disabled}
          data-testid={testId}
          onFocus={(e) => {
            setEditing(true);
            commitBeforeOtherClicks(e.target as HTMLInputElement);
          }}
          onInput={(e) => setText((e.target as HTMLInputElement).value)}
          onBlur={(e) => {
            setEditing(false);
            commit((e.target as HTMLInputElement).value);
          }}
          onKeyDown={(e) => {
            const input = e.target as HTMLInputElement;
            if (e.key === 'Enter') {
              commit(input.value);
              input.blur();
            } else if (e.key === 'Escape') {
              setText(shown);
              input.blur();
            } else if (e.key === 'ArrowUp' || e.key === 'ArrowDown') {
              e.preventDefault();
              const current = parse(input.value) ?? value ?? 0;
              const delta = (e.key === 'ArrowUp' ? 1 : -1) * (e.shiftKey ? step * 10 : step);
              const next = clamp(Number((Math.round((current + delta) / step) * step).toFixed(6)));
              setText(format(next));
              onCommit(next);
            }
          }}
        />
        {unit && <span class="unit">{unit}</span>}
      </span>
    </label>
  );
}

/** A length held in millimetres, shown and typed in the chosen unit ("2 in" typed anywhere is understood). */
/** Length fields in the unit the person chose. */
export function lengthProps(editor: Editor): { unit: LengthUnit; unitLabel: string } {
  const unit = editor.state.unit;
  return { unit, unitLabel: unit === 'in' ? editor.t.inch : editor.t.mm };
}

export function LengthField({ unit, unitLabel, ...props }: Omit<NumberFieldProps, 'format' | 'parse' | 'unit' | 'step'> & { unit: LengthUnit; unitLabel: string }) {
  return (
    <NumberField {...props} unit={unitLabel} step={unit === 'in' ? 0.254 : 0.1}
      format={(mm) => formatLength(mm, unit)} parse={(text) => parseLength(text, unit)} />
  );
}

/**
 * A click elsewhere (on the canvas, say) may change the selection before the field loses focus;
 * leaving the field first makes a typed value land on the object it was typed for.
 */
function commitBeforeOtherClicks(input: HTMLInputElement): void {
  const onDown = (e: Event): void => {
    if (e.target !== input) input.blur();
  };
  window.addEventListener('mousedown', onDown, true);
  input.addEventListener('blur', () => window.removeEventListener('mousedown', onDown, true), { once: true });
}

/**
 * Where the caret stood in a text field when it was last left: the field picker, a click away,
 * inserts there (or replaces what was selected) while the field still holds that text.
 */
export const lastCaret = { testId: '', value: '', start: 0, end: 0 };

/** The text with `insert` at the caret last left in field `testId`, or at its end; and where the caret goes next. */
export function insertAtCaret(testId: string, text: string, insert: string): string {
  const known = lastCaret.testId === testId && lastCaret.value === text;
  const start = known ? Math.min(lastCaret.start, text.length) : text.length;
  const end = known ? Math.min(Math.max(lastCaret.end, start), text.length) : text.length;
  const result = text.slice(0, start) + insert + text.slice(end);
  Object.assign(lastCaret, { testId, value: result, start: start + insert.length, end: start + insert.length });
  return result;
}

export function TextField({ label, value, multiline, disabled, testId, onChange }: {
  label: string; value: string; multiline?: boolean; disabled?: boolean; testId?: string; onChange: (value: string) => void;
}) {
  const handler = (e: Event): void => onChange((e.target as HTMLInputElement | HTMLTextAreaElement).value);
  const remember = (e: Event): void => {
    const field = e.target as HTMLInputElement | HTMLTextAreaElement;
    Object.assign(lastCaret, { testId: testId ?? '', value: field.value, start: field.selectionStart ?? field.value.length, end: field.selectionEnd ?? field.value.length });
  };
  return (
    <label class={`field ${multiline ? 'field-wide' : ''}`}>
      <span class="field-label">{label}</span>
      {multiline
        ? <textarea rows={3} value={value} disabled={disabled} data-testid={testId} onInput={handler} onBlur={remember} />
        : <input type="text" value={value} disabled={disabled} data-testid={testId} onInput={handler} onBlur={remember} />}
    </label>
  );
}

export function SelectField<T extends string | number>({ label, value, options, disabled, testId, onChange }: {
  label: string; value: T; options: readonly { value: T; label: string }[]; disabled?: boolean; testId?: string; onChange: (value: T) => void;
}) {
  const known = options.some((o) => o.value === value);
  return (
    <label class="field">
      <span class="field-label">{label}</span>
      <select
        value={String(value)}
        disabled={disabled}
        data-testid={testId}
        onChange={(e) => {
          const raw = (e.target as HTMLSelectElement).value;
          const option = options.find((o) => String(o.value) === raw);
          if (option) onChange(option.value);
          else onChange(raw as T);
        }}
      >
        {!known && <option value={String(value)}>{String(value)}</option>}
        {options.map((o) => <option key={String(o.value)} value={String(o.value)}>{o.label}</option>)}
      </select>
    </label>
  );
}

export function CheckField({ label, checked, disabled, testId, onChange }: {
  label: string; checked: boolean; disabled?: boolean; testId?: string; onChange: (value: boolean) => void;
}) {
  return (
    <label class="check">
      <input type="checkbox" checked={checked} disabled={disabled} data-testid={testId} onChange={(e) => onChange((e.target as HTMLInputElement).checked)} />
      <span>{label}</span>
    </label>
  );
}

export function ColorField({ label, value, allowNone, noneLabel, disabled, testId, onChange }: {
  label: string; value: string; allowNone?: boolean; noneLabel?: string; disabled?: boolean; testId?: string; onChange: (value: string) => void;
}) {
  return (
    <label class="field">
      <span class="field-label">{label}</span>
      <span class="color-input">
        <input type="color" value={value || '#ffffff'} disabled={disabled} data-testid={testId} onChange={(e) => onChange((e.target as HTMLInputElement).value)} />
        {allowNone && (
          <label class="check small">
            <input type="checkbox" checked={!value} disabled={disabled} onChange={(e) => onChange((e.target as HTMLInputElement).checked ? '' : '#000000')} />
            <span>{noneLabel}</span>
          </label>
        )}
      </span>
    </label>
  );
}
