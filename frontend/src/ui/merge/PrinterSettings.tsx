// The printer part of the print dialog: the printer's profile (resolution, black and white or
// colour, dithering, offsets, feed direction, the driver's own settings) and the calibration
// page. Profiles are remembered per printer in the page's storage as they are changed.

import { useEffect, useMemo, useRef, useState } from 'preact/hooks';
import type { PrinterEntry } from '../../bridge/client';
import type { Editor } from '../../editor/editor';
import type { LabelDocument } from '../../model/document';
import {
  clampOffset, DriverSettings, loadProfiles, PrinterProfile, profileFor, ProfileStore, proposedProfile, rememberProfile,
  resolutionChoices, saveProfiles,
} from '../../model/profiles';
import { CheckField, NumberField, SelectField } from '../fields';

/** What the designer remembers for a printer: the project's own settings when it was printed there, else the printer's profile. */
export function rememberedProfile(doc: LabelDocument, store: ProfileStore, name: string): PrinterProfile | undefined {
  return doc.output && doc.output.printerName === name ? doc.output : store.printers[name];
}

/** The project's printer, else the one used last, else the system's default. */
export function initialPrinter(list: PrinterEntry[], doc: LabelDocument, store: ProfileStore): string {
  const named = (name: string | undefined) => (name ? list.find((p) => p.name === name) : undefined);
  return (named(doc.output?.printerName) ?? named(store.lastPrinter) ?? list.find((p) => p.isDefault) ?? list[0])?.name ?? '';
}

export interface PrinterProfileState {
  store: ProfileStore;
  /** The printer the profile and driver settings belong to. */
  printer: string;
  profile: PrinterProfile;
  /** undefined while the driver is asked; null when it has nothing to say (browser, no driver). */
  driver: DriverSettings | null | undefined;
  change(patch: Partial<PrinterProfile>): void;
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
  const change = (patch: Partial<PrinterProfile>): void => {
    setHeld((current) => {
      const profile = { ...current.profile, ...patch };
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

export function PrinterSettings({ editor, state, onCalibrate, busy }: {
  editor: Editor; state: PrinterProfileState; onCalibrate: () => void; busy: boolean;
}) {
  const t = editor.t;
  const { profile, driver, change } = state;
  const [stepMm, setStepMm] = useState(0.5);
  const dpis = useMemo(() => resolutionChoices(driver), [driver]);
  const shift = (dxMm: number, dyMm: number): void =>
    change({ offsetXMm: clampOffset(profile.offsetXMm + dxMm), offsetYMm: clampOffset(profile.offsetYMm + dyMm) });
  return (
    <>
      <div class="row">
        <SelectField label={t.resolution} value={profile.dpi} testId="print-dpi"
          options={dpis.map((d) => ({ value: d, label: editor.msg('dpiOption', { dpi: d }) }))} onChange={(v) => change({ dpi: Number(v) })} />
        <SelectField label={t.outputKind} value={profile.kind} testId="print-kind"
          options={[{ value: 'mono', label: t.outputMono }, { value: 'colour', label: t.outputColour }]}
          onChange={(v) => change({ kind: v === 'colour' ? 'colour' : 'mono' })} />
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
      {driver && driver.options.length > 0 && (
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
