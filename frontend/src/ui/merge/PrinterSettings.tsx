// The printer part of the print dialog: the printer's profile (how the job is sent: through the
// driver or in the printer's own language; resolution, black and white or colour, dithering,
// offsets, feed direction, the driver's or the language's settings) and the calibration page.
// Profiles are remembered per printer in the page's storage as they are changed.

import { useEffect, useMemo, useRef, useState } from 'preact/hooks';
import type { PrinterEntry } from '../../bridge/client';
import type { Editor } from '../../editor/editor';
import type { LabelDocument } from '../../model/document';
import {
  chooseSendAs, clampOffset, DriverSettings, fitToDriver, loadProfiles, PrinterProfile, profileFor, ProfileStore, proposedProfile, rememberProfile,
  resolutionChoices, saveProfiles,
} from '../../model/profiles';
import {
  DEFAULT_GAP_MM, isPrinterLanguage, LANGUAGE_RANGES, LanguageSettings, MAX_GAP_MM, MediaSensing, PrinterLanguage, proposeLanguage, SendAs,
} from '../../model/languages';
import type { MessageKey } from '../../i18n/messages';
import { CheckField, NumberField, SelectField } from '../fields';

/** What the designer remembers for a printer: the project's own settings when it was printed there, else the printer's profile. */
export function rememberedProfile(doc: LabelDocument, store: ProfileStore, name: string): PrinterProfile | undefined {
  return doc.output && doc.output.printerName === name ? doc.output : store.printers[name];
}

export interface PrinterProfileState {
  store: ProfileStore;
  /** The printer the profile and driver settings belong to. */
  printer: string;
  profile: PrinterProfile;
  /** undefined while the driver is asked; null when it has nothing to say (browser, no driver). */
  driver: DriverSettings | null | undefined;
  /** A patch, or a step from the latest profile. */
  change(patch: Partial<PrinterProfile> | ((profile: PrinterProfile) => PrinterProfile)): void;
}

export function usePrinterProfile(editor: Editor, printerName: string): PrinterProfileState {
  const doc = editor.state.doc;
  const [loaded] = useState(() => loadProfiles(editor.storage));
  const stored = useRef(loaded);
  const store = stored.current;
  const remembered = (name: string): PrinterProfile | undefined => rememberedProfile(doc, store, name);
  const fresh = (name: string): Held => ({ printer: name, profile: remembered(name) ?? proposedProfile(doc.widthMm), driver: undefined });
  const [held, setHeld] = useState<Held>(() => fresh(printerName));

  useEffect(() => {
    if (!printerName) return;
    let live = true;
    const known = remembered(printerName) !== undefined;
    setHeld(fresh(printerName));
    const settle = (driver: DriverSettings | null): void => {
      if (!live) return;
      setHeld((current) => ({
        ...current, driver, profile: profileFor(known ? current.profile : undefined, doc.widthMm, driver),
      }));
    };
    editor.api.printerOptions(printerName).then(settle, () => settle(null));
    return () => {
      live = false;
    };
  }, [printerName]);

  // Changes build on the latest profile, not on the one last drawn: two quick changes both count.
  const change = (patch: Partial<PrinterProfile> | ((profile: PrinterProfile) => PrinterProfile)): void => {
    setHeld((current) => {
      const profile = typeof patch === 'function' ? patch(current.profile) : { ...current.profile, ...patch };
      if (current.printer) {
        stored.current = rememberProfile(stored.current, current.printer, profile);
        saveProfiles(editor.storage, stored.current);
      }
      return { ...current, profile };
    });
  };
  // Until the chosen printer's own settings are in, nothing of the previous printer's is shown or sent.
  const current = held.printer === printerName ? held : fresh(printerName);
  return { store, printer: current.printer, profile: current.profile, driver: current.driver, change };
}

interface Held {
  printer: string;
  profile: PrinterProfile;
  driver: DriverSettings | null | undefined;
}

export function PrinterSettings({ editor, state, entry, onCalibrate, busy }: {
  editor: Editor; state: PrinterProfileState; entry: PrinterEntry | undefined; onCalibrate: () => void; busy: boolean;
}) {
  const t = editor.t;
  const { profile, driver, change } = state;
  const [stepMm, setStepMm] = useState(0.5);
  const dpis = useMemo(() => resolutionChoices(driver, profile.sendAs), [driver, profile.sendAs]);
  const language = isPrinterLanguage(profile.sendAs);
  const shift = (dxMm: number, dyMm: number): void =>
    change({ offsetXMm: clampOffset(profile.offsetXMm + dxMm), offsetYMm: clampOffset(profile.offsetYMm + dyMm) });
  return (
    <>
      {driver && <SendAsChoice editor={editor} state={state} driver={driver} entry={entry} />}
      <div class="row">
        <SelectField label={t.resolution} value={profile.dpi} testId="print-dpi"
          options={dpis.map((d) => ({ value: d, label: editor.msg('dpiOption', { dpi: d }) }))} onChange={(v) => change({ dpi: Number(v) })} />
        {!language && (
          <SelectField label={t.outputKind} value={profile.kind} testId="print-kind"
            options={[{ value: 'mono', label: t.outputMono }, { value: 'colour', label: t.outputColour }]}
            onChange={(v) => change({ kind: v === 'colour' ? 'colour' : 'mono' })} />
        )}
        {profile.kind === 'mono' && (
          <SelectField label={t.dither} value={profile.dither} testId="print-dither"
            options={[{ value: 'diffusion', label: t.ditherDiffusion }, { value: 'ordered', label: t.ditherOrdered }]}
            onChange={(v) => change({ dither: v === 'ordered' ? 'ordered' : 'diffusion' })} />
        )}
      </div>
      <div class="row">
        <NumberField label={t.offsetX} unit={t.mm} value={profile.offsetXMm} min={-20} max={20} testId="print-offset-x"
          onCommit={(v) => change({ offsetXMm: clampOffset(v) })} />
        <NumberField label={t.offsetY} unit={t.mm} value={profile.offsetYMm} min={-20} max={20} testId="print-offset-y"
          onCommit={(v) => change({ offsetYMm: clampOffset(v) })} />
        <CheckField label={t.rotate180} checked={profile.rotate180} testId="print-rotate" onChange={(on) => change({ rotate180: on })} />
      </div>
      {driver === undefined && <p class="hint">{t.driverLoading}</p>}
      {driver && driver.options.length > 0 && !language && (
        <details class="driver-settings" data-testid="print-driver" data-printer={state.printer}>
          <summary>{t.driverSettings}</summary>
          <div class="row">
            {driver.options.map((option) => (
              <SelectField key={option.name} label={option.label} value={profile.options[option.name] ?? option.defaultChoice}
                testId={`print-option-${option.name}`}
                options={option.choices.map((c) => ({ value: c.name, label: c.label }))}
                onChange={(v) => change({ options: { ...profile.options, [option.name]: v } })} />
            ))}
          </div>
        </details>
      )}
      <details class="calibration" data-testid="print-calibration">
        <summary>{t.calibration}</summary>
        <p class="hint">{t.calibrationHelp}</p>
        <div class="row">
          <button type="button" class="button" data-testid="calibration-print" disabled={busy} onClick={onCalibrate}>{t.calibrationPrint}</button>
          <NumberField label={t.shiftedBy} unit={t.mm} value={stepMm} min={0.1} max={20} testId="calibration-step"
            onCommit={(v) => setStepMm(Math.max(0.1, clampOffset(v)))} />
        </div>
        <div class="row">
          {/* A print that landed left is moved right by as much, and so on. */}
          <button type="button" class="button" data-testid="shifted-left" onClick={() => shift(stepMm, 0)}>{t.shiftedLeft}</button>
          <button type="button" class="button" data-testid="shifted-right" onClick={() => shift(-stepMm, 0)}>{t.shiftedRight}</button>
          <button type="button" class="button" data-testid="shifted-up" onClick={() => shift(0, stepMm)}>{t.shiftedUp}</button>
          <button type="button" class="button" data-testid="shifted-down" onClick={() => shift(0, -stepMm)}>{t.shiftedDown}</button>
        </div>
      </details>
    </>
  );
}

const LANGUAGE_WORDS: Record<PrinterLanguage, MessageKey> = { tspl: 'sendAsTspl', zpl: 'sendAsZpl', epl2: 'sendAsEpl2' };
const MEDIA_WORDS: Record<MediaSensing, MessageKey> = { gap: 'mediaGap', mark: 'mediaMark', continuous: 'mediaContinuous' };

/**
 * How the job reaches the printer. A queue without a driver passes every byte to the printer,
 * so it says so and asks for the language (proposed from the printer's names, never assumed); a
 * queue with a driver may be sent the printer's language directly as well.
 */
function SendAsChoice({ editor, state, driver, entry }: {
  editor: Editor; state: PrinterProfileState; driver: DriverSettings; entry: PrinterEntry | undefined;
}) {
  const t = editor.t;
  const { profile, change } = state;
  const raw = driver.queue === 'raw';
  const proposal = entry ? proposeLanguage(entry) : null;
  const named = (language: PrinterLanguage): string => {
    const name = t[LANGUAGE_WORDS[language]];
    const shown = raw ? name : editor.msg('sendDirect', { language: name });
    return language === proposal && profile.sendAs === '' ? editor.msg('languageProposed', { language: shown }) : shown;
  };
  const choices: { value: SendAs; label: string }[] = [
    ...(raw ? [{ value: '' as SendAs, label: t.sendAsChoose }] : [{ value: '' as SendAs, label: t.sendAsDriver }]),
    ...(['tspl', 'zpl', 'epl2'] as PrinterLanguage[]).map((l) => ({ value: l as SendAs, label: named(l) })),
    ...(raw ? [{ value: 'pdf' as SendAs, label: t.sendAsPdfItself }] : []),
  ];
  const unchosen = raw && profile.sendAs === '';
  const sendAs = (next: SendAs): void => change((p) => fitToDriver(chooseSendAs(p, next), driver));
  return (
    <div class="send-as" data-testid="print-queue" data-queue={driver.queue} data-printer={state.printer}>
      <p class={unchosen ? 'field-error' : 'hint'}>{raw ? t.queueRaw : t.queueDriver}</p>
      <div class="row send-as-choice">
        <SelectField label={t.sendAs} value={profile.sendAs} testId="print-send-as" options={choices}
          onChange={sendAs} />
        {unchosen && proposal && (
          <button type="button" class="button" data-testid="print-use-proposal" onClick={() => sendAs(proposal)}>
            {editor.msg('useProposedLanguage', { language: t[LANGUAGE_WORDS[proposal]] })}
          </button>
        )}
      </div>
      {isPrinterLanguage(profile.sendAs) && <LanguageFields editor={editor} language={profile.sendAs} settings={profile.languageSettings}
        onChange={(next) => change({ languageSettings: next })} />}
    </div>
  );
}

/** Darkness, speed and media in the language's own ranges; each may stay the printer's default. */
function LanguageFields({ editor, language, settings, onChange }: {
  editor: Editor; language: PrinterLanguage; settings: LanguageSettings; onChange: (next: LanguageSettings) => void;
}) {
  const t = editor.t;
  const ranges = LANGUAGE_RANGES[language];
  const steps = ([low, high]: [number, number]) => [
    { value: '', label: t.printerDefault },
    ...Array.from({ length: high - low + 1 }, (_, i) => ({ value: String(low + i), label: String(low + i) })),
  ];
  const set = (patch: LanguageSettings): void => {
    const next: LanguageSettings = { ...settings, ...patch };
    for (const key of Object.keys(patch) as (keyof LanguageSettings)[]) if (patch[key] === undefined) delete next[key];
    onChange(next);
  };
  const number = (v: string): number | undefined => (v === '' ? undefined : Number(v));
  return (
    <div class="row">
      <SelectField label={t.darkness} value={settings.darkness === undefined ? '' : String(settings.darkness)} testId="print-darkness"
        options={steps(ranges.darkness)} onChange={(v) => set({ darkness: number(v) })} />
      <SelectField label={t.speed} value={settings.speed === undefined ? '' : String(settings.speed)} testId="print-speed"
        options={steps(ranges.speed)} onChange={(v) => set({ speed: number(v) })} />
      <SelectField label={t.mediaSensing} value={settings.media ?? ''} testId="print-media"
        options={[{ value: '', label: t.printerDefault }, ...(['gap', 'mark', 'continuous'] as MediaSensing[]).map((m) => ({ value: m, label: t[MEDIA_WORDS[m]] }))]}
        onChange={(v) => set(v === '' ? { media: undefined, gapMm: undefined } : { media: v as MediaSensing })} />
      {(settings.media === 'gap' || settings.media === 'mark') && (
        <NumberField label={settings.media === 'mark' ? t.markMm : t.gapMm} unit={t.mm} value={settings.gapMm ?? null} min={0} max={MAX_GAP_MM}
          placeholder={String(DEFAULT_GAP_MM)} testId="print-gap" onCommit={(v) => set({ gapMm: Math.round(v * 10) / 10 })} />
      )}
    </div>
  );
}
