// A whole-number field (counts, positions, copies) that commits on Enter or when left.

import { useEffect, useState } from 'preact/hooks';

export function IntField({ label, value, min, max, testId, onCommit }: {
  label: string; value: number; min: number; max: number; testId?: string; onCommit: (value: number) => void;
}) {
  const [text, setText] = useState(String(value));
  useEffect(() => setText(String(value)), [value]);
  const commit = (raw: string): void => {
    const parsed = Number(raw.trim());
    if (!Number.isInteger(parsed)) {
      setText(String(value));
      return;
    }
    const clamped = Math.min(max, Math.max(min, parsed));
    setText(String(clamped));
    if (clamped !== value) onCommit(clamped);
  };
  return (
    <label class="field">
      <span class="field-label">{label}</span>
      <input
        type="text"
        inputMode="numeric"
        value={text}
        data-testid={testId}
        onInput={(e) => setText((e.target as HTMLInputElement).value)}
        onBlur={(e) => commit((e.target as HTMLInputElement).value)}
        onKeyDown={(e) => {
          if (e.key === 'Enter') commit((e.target as HTMLInputElement).value);
        }}
      />
    </label>
  );
}
