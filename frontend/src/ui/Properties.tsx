// The properties panel: exact fields, in millimetres or inches, for the label or the selected objects.

import type { Editor } from '../editor/editor';
import type { MergeSession } from '../merge/session';
import { BarcodeDataNote } from './BarcodeDataNote';
import type { MessageKey } from '../i18n/messages';
import {
  BARCODE_FONTS, BarcodeObject, defaultXdimMm, ImageObject, LabelObject, LineObject, placeVisualBox, RectObject, Symbology, SYMBOLOGIES, SYMBOLOGY_NAMES,
  TextObject, turnsFreely, visualBox, EllipseObject, setLabelSize, renameDocument, TWO_D_SYMBOLOGIES,
} from '../model/document';
import { printerDpi } from '../model/output';
import { formatNumber, parseDecimal } from '../model/units';
import { printedBarcode, quietZoneIntrusions } from '../render/symbol';
import { printedXdim, xdimWarning } from '../render/xdim';
import { isOffLabel, labelOutline } from '../model/shape';
import { CheckField, ColorField, LengthField, lengthProps, NumberField, SelectField, TextField } from './fields';

const TYPE_NAMES: Record<LabelObject['type'], MessageKey> = {
  text: 'objectText', barcode: 'objectBarcode', image: 'objectImage', rect: 'objectRect', ellipse: 'objectEllipse', line: 'objectLine',
};

const MM_PER_MIL = 0.0254;

const NO_COLUMNS: readonly string[] = [];

export function Properties({ editor, session }: { editor: Editor; session: MergeSession }) {
  // The data source's columns offer a picture per record.
  const columns = session.table?.columns ?? NO_COLUMNS;
  const t = editor.t;
  const selected = editor.selectedObjects;
  return (
    <aside class="properties" data-testid="properties">
      <h2>{t.properties}</h2>
      {selected.length === 0 && <LabelPanel editor={editor} />}
      {selected.length === 1 && <ObjectPanel key={selected[0].id} editor={editor} session={session} object={selected[0]} columns={columns} />}
      {selected.length > 1 && (
        <div class="panel">
          <p class="hint">{editor.msg('multipleSelected', { count: selected.length })}</p>
          <CheckField label={t.locked} checked={selected.every((o) => o.locked)} onChange={() => editor.toggleLock()} />
        </div>
      )}
    </aside>
  );
}

function LabelPanel({ editor }: { editor: Editor }) {
  const t = editor.t;
  const doc = editor.state.doc;
  const length = lengthProps(editor);
  return (
    <div class="panel">
      <h3>{t.labelSettings}</h3>
      <TextField label={t.labelName} value={doc.name} testId="label-name" onChange={(v) => editor.apply((d) => renameDocument(d, v), { coalesce: 'label.name' })} />
      <div class="row">
        <LengthField {...length} label={t.width} value={doc.widthMm} min={1} max={2000} testId="label-width" onCommit={(v) => editor.apply((d) => setLabelSize(d, v, d.heightMm))} />
        <LengthField {...length} label={t.height} value={doc.heightMm} min={1} max={2000} testId="label-height" onCommit={(v) => editor.apply((d) => setLabelSize(d, d.widthMm, v))} />
      </div>
      <h3>{t.grid}</h3>
      <div class="row">
        <LengthField {...length} label={t.gridStep} value={editor.state.gridStepMm} min={0.1} max={50} testId="grid-step" onCommit={(v) => editor.setView({ gridStepMm: v })} />
      </div>
      <KeepOriginalPictures editor={editor} />
    </div>
  );
}

function ObjectPanel({ editor, session, object, columns }: { editor: Editor; session: MergeSession; object: LabelObject; columns: readonly string[] }) {
  const t = editor.t;
  const v = visualBox(object);
  const locked = object.locked;
  const set = (patch: Partial<LabelObject>, coalesce?: string): void => editor.update(object.id, patch, coalesce);
  const length = lengthProps(editor);
  // A barcode sized by its X-dimension takes its width from the data, a 2D symbol its height too.
  const sized = object.type === 'barcode' && !!object.xdim;
  const fixedHeight = sized && TWO_D_SYMBOLOGIES.includes((object as BarcodeObject).symbology);
  return (
    <div class="panel" data-object-type={object.type}>
      <h3>{t[TYPE_NAMES[object.type]]}</h3>
      {isOffLabel(labelOutline(editor.state.doc), object) && <p class="field-error" data-testid="prop-off-label">{t.offLabelObject}</p>}
      <div class="row">
        <LengthField {...length} label={t.positionX} value={v.xMm} disabled={locked} testId="prop-x" onCommit={(x) => set(placeVisualBox(object, x, v.yMm))} />
        <LengthField {...length} label={t.positionY} value={v.yMm} disabled={locked} testId="prop-y" onCommit={(y) => set(placeVisualBox(object, v.xMm, y))} />
      </div>
      <div class="row">
        <LengthField {...length} label={t.width} value={object.widthMm} min={0.1} disabled={locked || sized} testId="prop-width"
          onCommit={(w) => set(resizeAboutCorner(object, w, keepsAspect(object) ? (w * object.heightMm) / object.widthMm : object.heightMm))} />
        <LengthField {...length} label={t.height} value={object.heightMm} min={0.1} disabled={locked || fixedHeight} testId="prop-height"
          onCommit={(h) => set(resizeAboutCorner(object, keepsAspect(object) ? (h * object.widthMm) / object.heightMm : object.widthMm, h))} />
      </div>
      <div class="row">
        {turnsFreely(object)
          ? <NumberField label={t.rotation} unit={t.degrees} value={object.rotation} step={1} disabled={locked} testId="prop-rotation"
              format={(r) => formatNumber(r, 1)} onCommit={(rotation) => set({ rotation })} />
          : <SelectField<number> label={t.rotation} value={object.rotation} disabled={locked} testId="prop-rotation"
              options={[0, 90, 180, 270].map((r) => ({ value: r, label: `${r}°` }))}
              onChange={(rotation) => set({ rotation })} />}
        <CheckField label={t.locked} checked={locked} testId="prop-locked" onChange={(l) => set({ locked: l })} />
      </div>
      {object.type === 'text' && <TextPanel editor={editor} object={object} />}
      {object.type === 'barcode' && <BarcodePanel editor={editor} session={session} object={object} />}
      {object.type === 'image' && <ImagePanel editor={editor} object={object} columns={columns} />}
      {(object.type === 'rect' || object.type === 'ellipse') && <ShapePanel editor={editor} object={object} />}
      {object.type === 'line' && <LinePanel editor={editor} object={object} />}
    </div>
  );
}

/** A picture that keeps its proportions keeps them also when one side is typed, as when it is dragged. */
function keepsAspect(o: LabelObject): boolean {
  return o.type === 'image' && o.keepAspect && o.widthMm > 0 && o.heightMm > 0;
}

/** A new size keeps the visual top-left corner where it was, which is what a typed size should do. */
function resizeAboutCorner(o: LabelObject, widthMm: number, heightMm: number): Partial<LabelObject> {
  const before = visualBox(o);
  const resized = { ...o, widthMm, heightMm } as LabelObject;
  return { widthMm, heightMm, ...placeVisualBox(resized, before.xMm, before.yMm) };
}

function TextPanel({ editor, object }: { editor: Editor; object: TextObject }) {
  const t = editor.t;
  const disabled = object.locked;
  const set = (patch: Partial<TextObject>, coalesce?: string): void => editor.update(object.id, patch as Partial<LabelObject>, coalesce);
  const fonts = editor.state.fonts.map((f) => ({ value: f, label: f }));
  return (
    <>
      <TextField label={t.textContent} value={object.text} multiline disabled={disabled} testId="prop-text" onChange={(text) => set({ text }, `${object.id}.text`)} />
      <SelectField label={t.fontFamily} value={object.fontFamily} options={fonts} disabled={disabled} testId="prop-font" onChange={(fontFamily) => set({ fontFamily })} />
      <div class="row">
        <NumberField label={t.fontSize} unit={t.pt} value={object.fontSizePt} min={1} max={500} step={0.5} disabled={disabled} testId="prop-font-size" onCommit={(fontSizePt) => set({ fontSizePt })} />
        <ColorField label={t.color} value={object.color} disabled={disabled} onChange={(color) => set({ color })} />
      </div>
      <div class="row">
        <CheckField label={t.bold} checked={object.bold} disabled={disabled} testId="prop-bold" onChange={(bold) => set({ bold })} />
        <CheckField label={t.italic} checked={object.italic} disabled={disabled} testId="prop-italic" onChange={(italic) => set({ italic })} />
      </div>
      <div class="row">
        <SelectField label={t.align} value={object.align} disabled={disabled} testId="prop-align"
          options={[{ value: 'left', label: t.alignTextLeft }, { value: 'center', label: t.alignTextCenter }, { value: 'right', label: t.alignTextRight }]}
          onChange={(align) => set({ align })} />
        <SelectField label={t.verticalAlign} value={object.verticalAlign} disabled={disabled}
          options={[{ value: 'top', label: t.vTop }, { value: 'middle', label: t.vMiddle }, { value: 'bottom', label: t.vBottom }]}
          onChange={(verticalAlign) => set({ verticalAlign })} />
      </div>
      <div class="row">
        <CheckField label={t.wrap} checked={object.wrap} disabled={disabled} testId="prop-wrap" onChange={(wrap) => set({ wrap })} />
        <CheckField label={t.shrinkToFit} checked={object.shrinkToFit} disabled={disabled} testId="prop-shrink" onChange={(shrinkToFit) => set({ shrinkToFit })} />
        <CheckField label={t.verticalText} checked={object.vertical === true} disabled={disabled} testId="prop-vertical" onChange={(vertical) => set({ vertical })} />
      </div>
    </>
  );
}

function BarcodePanel({ editor, session, object }: { editor: Editor; session: MergeSession; object: BarcodeObject }) {
  const t = editor.t;
  const disabled = object.locked;
  const set = (patch: Partial<BarcodeObject>, coalesce?: string): void => editor.update(object.id, patch as Partial<LabelObject>, coalesce);
  const twoD = TWO_D_SYMBOLOGIES.includes(object.symbology);
  return (
    <>
      <SelectField label={t.symbology} value={object.symbology} disabled={disabled} testId="prop-symbology"
        options={SYMBOLOGIES.map((s) => ({ value: s, label: SYMBOLOGY_NAMES[s] }))}
        onChange={(symbology) => set(changeSymbology(object, symbology))} />
      <TextField label={t.barcodeData} value={object.data} disabled={disabled} testId="prop-data" onChange={(data) => set({ data }, `${object.id}.data`)} />
      <BarcodeDataNote editor={editor} session={session} object={object} />
      <XdimFields editor={editor} object={object} />
      <div class="row">
        <CheckField label={t.showText} checked={object.showText && !twoD} disabled={disabled || twoD} testId="prop-show-text" onChange={(showText) => set({ showText })} />
        <ColorField label={t.color} value={object.color} disabled={disabled} onChange={(color) => set({ color })} />
      </div>
      {object.showText && !twoD && (
        <div class="row">
          <SelectField label={t.textFont} value={object.textFont} disabled={disabled} testId="prop-text-font"
            options={BARCODE_FONTS.map((f) => ({ value: f, label: f }))} onChange={(textFont) => set({ textFont })} />
          <NumberField label={t.textSize} unit={t.pt} value={object.textSizePt ?? null} placeholder={t.textSizeAuto} min={2} max={72} step={0.5}
            disabled={disabled} testId="prop-text-size" onCommit={(textSizePt) => set({ textSizePt })} />
        </div>
      )}
    </>
  );
}

/** Another symbology keeps the narrow-bar width only where the person set one; 2D codes have no text line. */
function changeSymbology(object: BarcodeObject, symbology: Symbology): Partial<BarcodeObject> {
  const patch: Partial<BarcodeObject> = { symbology, showText: object.showText && !TWO_D_SYMBOLOGIES.includes(symbology) };
  if (object.xdim && 'mm' in object.xdim && object.xdim.mm === defaultXdimMm(object.symbology)) patch.xdim = { mm: defaultXdimMm(symbology) };
  return patch;
}

/**
 * The narrow-bar width in millimetres or printer dots, what the printer will make of it, and
 * the warnings that judge the printed width and the quiet zones.
 */
function XdimFields({ editor, object }: { editor: Editor; object: BarcodeObject }) {
  const t = editor.t;
  const doc = editor.state.doc;
  const dpi = printerDpi(doc);
  const disabled = object.locked;
  const set = (patch: Partial<BarcodeObject>): void => editor.update(object.id, patch as Partial<LabelObject>);
  const inDots = !!object.xdim && 'dots' in object.xdim;
  // Where lengths are in inches, narrow bars are in thousandths of an inch (13 mil is 0.330 mm).
  const mils = editor.state.unit === 'in';
  const current = printedBarcode(object, dpi);
  const dots = object.xdim ? printedXdim(object.symbology, object.xdim, dpi).dots : current.ok ? current.dots : null;
  const printed = dots === null ? null : printedXdim(object.symbology, { dots }, dpi);
  const warning = printed && xdimWarning(object.symbology, printed);
  const zones = quietZoneIntrusions(doc, object);
  const value = !object.xdim ? null : 'dots' in object.xdim ? object.xdim.dots : object.xdim.mm;
  return (
    <>
      <div class="row">
        <NumberField label={t.xdim} value={value} placeholder={t.xdimFitsBox} disabled={disabled} testId="prop-xdim"
          min={inDots ? 1 : 0.05} max={inDots ? 100 : 10} step={inDots ? 1 : mils ? MM_PER_MIL : 0.01}
          format={(v) => (inDots ? formatNumber(v, 0) : mils ? formatNumber(v / MM_PER_MIL, 1) : formatNumber(v, 3))}
          parse={(text) => {
            const typed = parseDecimal(text, inDots ? 0 : mils ? 1 : 3);
            return typed !== null && mils ? typed * MM_PER_MIL : typed;
          }}
          onCommit={(v) => set({ xdim: inDots ? { dots: Math.max(1, Math.round(v)) } : { mm: Number(v.toFixed(4)) } })} />
        <SelectField label={t.unit} value={inDots ? 'dots' : 'length'} disabled={disabled} testId="prop-xdim-unit"
          options={[{ value: 'length', label: mils ? t.mil : t.mm }, { value: 'dots', label: t.xdimUnitDots }]}
          onChange={(unit) => {
            if (printed && unit !== (inDots ? 'dots' : 'length')) set({ xdim: unit === 'dots' ? { dots: printed.dots } : { mm: Math.round(printed.mm * 1000) / 1000 } });
          }} />
      </div>
      {!object.xdim && <p class="hint" data-testid="xdim-box-sized">{t.xdimBoxSized}</p>}
      {printed && (
        <p class="hint" data-testid="xdim-printed">
          {editor.msg('xdimPrinted', { dots: printed.dots, mm: printed.mm.toFixed(3), dpi })}
          {printed.magnification !== undefined && editor.msg('xdimNominal', { percent: Math.round(printed.magnification * 100) })}
        </p>
      )}
      {warning && (
        <p class="field-error" data-testid="xdim-warning">
          {warning.code === 'belowRange' ? editor.msg('xdimBelowRange', { printed: warning.printedMm.toFixed(3), min: warning.minMm.toFixed(3) })
            : warning.code === 'aboveRange' ? editor.msg('xdimAboveRange', { printed: warning.printedMm.toFixed(3), max: warning.maxMm.toFixed(3) })
              : editor.msg('xdimTooFewDots', { dots: warning.dots, min: warning.minDots })}
        </p>
      )}
      {(zones.edge || zones.objects > 0) && (
        <p class="field-error" data-testid="quiet-zone-warning">
          {[zones.edge ? t.quietZoneEdge : '', zones.objects > 0 ? editor.msg('quietZoneObjects', { count: zones.objects }) : ''].filter(Boolean).join(' ')}
        </p>
      )}
    </>
  );
}

function ImagePanel({ editor, object, columns }: { editor: Editor; object: ImageObject; columns: readonly string[] }) {
  const t = editor.t;
  const sources = [{ value: '', label: t.pictureInserted }, ...columns.map((c) => ({ value: c, label: editor.msg('pictureFromColumn', { column: c }) }))];
  return (
    <>
      {(columns.length > 0 || object.srcColumn) && (
        <SelectField label={t.pictureSource} value={object.srcColumn ?? ''} disabled={object.locked} testId="prop-picture-source" options={sources}
          onChange={(srcColumn) => editor.update(object.id, { srcColumn } as Partial<LabelObject>)} />
      )}
      <CheckField label={t.keepAspect} checked={object.keepAspect} disabled={object.locked} onChange={(keepAspect) => editor.update(object.id, { keepAspect } as Partial<LabelObject>)} />
      <button type="button" class="button" disabled={object.locked} onClick={() => void editor.insertImage(object.id)}>{t.replaceImage}</button>
      <KeepOriginalPictures editor={editor} />
    </>
  );
}

/** Whether pictures inserted from now on keep their pixels or are reduced to 600 dpi on the label. */
function KeepOriginalPictures({ editor }: { editor: Editor }) {
  return (
    <CheckField label={editor.t.keepOriginalPictures} checked={editor.state.keepOriginalPictures} testId="keep-original-pictures"
      onChange={(keepOriginalPictures) => editor.setView({ keepOriginalPictures })} />
  );
}

function ShapePanel({ editor, object }: { editor: Editor; object: RectObject | EllipseObject }) {
  const t = editor.t;
  const disabled = object.locked;
  const set = (patch: Partial<RectObject>): void => editor.update(object.id, patch as Partial<LabelObject>);
  return (
    <>
      <div class="row">
        <LengthField {...lengthProps(editor)} label={t.strokeWidth} value={object.strokeMm} min={0} max={50} disabled={disabled} testId="prop-stroke" onCommit={(strokeMm) => set({ strokeMm })} />
        <ColorField label={t.strokeColor} value={object.strokeColor} disabled={disabled} onChange={(strokeColor) => set({ strokeColor })} />
      </div>
      <div class="row">
        <ColorField label={t.fillColor} value={object.fillColor} allowNone noneLabel={t.noFill} disabled={disabled} onChange={(fillColor) => set({ fillColor })} />
        {object.type === 'rect' && (
          <LengthField {...lengthProps(editor)} label={t.cornerRadius} value={object.cornerRadiusMm} min={0} max={500} disabled={disabled} onCommit={(cornerRadiusMm) => set({ cornerRadiusMm })} />
        )}
      </div>
    </>
  );
}

function LinePanel({ editor, object }: { editor: Editor; object: LineObject }) {
  const t = editor.t;
  const disabled = object.locked;
  const set = (patch: Partial<LineObject>): void => editor.update(object.id, patch as Partial<LabelObject>);
  return (
    <div class="row">
      <LengthField {...lengthProps(editor)} label={t.strokeWidth} value={object.strokeMm} min={0.1} max={50} disabled={disabled} testId="prop-stroke" onCommit={(strokeMm) => set({ strokeMm, heightMm: Math.max(object.heightMm, strokeMm) })} />
      <ColorField label={t.strokeColor} value={object.strokeColor} disabled={disabled} onChange={(strokeColor) => set({ strokeColor })} />
    </div>
  );
}
