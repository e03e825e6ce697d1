// The properties panel: exact millimetre fields for the label or the selected objects.

import type { Editor } from '../editor/editor';
import type { MessageKey } from '../i18n/messages';
import {
  BarcodeObject, ImageObject, LabelObject, LineObject, placeVisualBox, RectObject, Rotation, SYMBOLOGIES, SYMBOLOGY_NAMES,
  TextObject, visualBox, EllipseObject, setLabelSize, renameDocument, TWO_D_SYMBOLOGIES,
} from '../model/document';
import { barcodeError } from '../render/barcode';
import { describeBarcodeFault } from '../render/barcodeFault';
import { CheckField, ColorField, NumberField, SelectField, TextField } from './fields';

const TYPE_NAMES: Record<LabelObject['type'], MessageKey> = {
  text: 'objectText', barcode: 'objectBarcode', image: 'objectImage', rect: 'objectRect', ellipse: 'objectEllipse', line: 'objectLine',
};

export function Properties({ editor }: { editor: Editor }) {
  const t = editor.t;
  const selected = editor.selectedObjects;
  return (
    <aside class="properties" data-testid="properties">
      <h2>{t.properties}</h2>
      {selected.length === 0 && <LabelPanel editor={editor} />}
      {selected.length === 1 && <ObjectPanel key={selected[0].id} editor={editor} object={selected[0]} />}
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
  return (
    <div class="panel">
      <h3>{t.labelSettings}</h3>
      <TextField label={t.labelName} value={doc.name} testId="label-name" onChange={(v) => editor.apply((d) => renameDocument(d, v), { coalesce: 'label.name' })} />
      <div class="row">
        <NumberField label={t.width} unit={t.mm} value={doc.widthMm} min={1} max={2000} testId="label-width" onCommit={(v) => editor.apply((d) => setLabelSize(d, v, d.heightMm))} />
        <NumberField label={t.height} unit={t.mm} value={doc.heightMm} min={1} max={2000} testId="label-height" onCommit={(v) => editor.apply((d) => setLabelSize(d, d.widthMm, v))} />
      </div>
      <h3>{t.grid}</h3>
      <div class="row">
        <NumberField label={t.gridStep} unit={t.mm} value={editor.state.gridStepMm} min={0.1} max={50} testId="grid-step" onCommit={(v) => editor.setView({ gridStepMm: v })} />
      </div>
      <KeepOriginalPictures editor={editor} />
    </div>
  );
}

function ObjectPanel({ editor, object }: { editor: Editor; object: LabelObject }) {
  const t = editor.t;
  const v = visualBox(object);
  const locked = object.locked;
  const set = (patch: Partial<LabelObject>, coalesce?: string): void => editor.update(object.id, patch, coalesce);
  return (
    <div class="panel" data-object-type={object.type}>
      <h3>{t[TYPE_NAMES[object.type]]}</h3>
      <div class="row">
        <NumberField label={t.positionX} unit={t.mm} value={v.xMm} disabled={locked} testId="prop-x" onCommit={(x) => set(placeVisualBox(object, x, v.yMm))} />
        <NumberField label={t.positionY} unit={t.mm} value={v.yMm} disabled={locked} testId="prop-y" onCommit={(y) => set(placeVisualBox(object, v.xMm, y))} />
      </div>
      <div class="row">
        <NumberField label={t.width} unit={t.mm} value={object.widthMm} min={0.1} disabled={locked} testId="prop-width" onCommit={(w) => set(resizeAboutCorner(object, w, object.heightMm))} />
        <NumberField label={t.height} unit={t.mm} value={object.heightMm} min={0.1} disabled={locked} testId="prop-height" onCommit={(h) => set(resizeAboutCorner(object, object.widthMm, h))} />
      </div>
      <div class="row">
        <SelectField<Rotation> label={t.rotation} value={object.rotation} disabled={locked} testId="prop-rotation"
          options={[0, 90, 180, 270].map((r) => ({ value: r as Rotation, label: `${r}°` }))}
          onChange={(rotation) => set({ rotation })} />
        <CheckField label={t.locked} checked={locked} testId="prop-locked" onChange={(l) => set({ locked: l })} />
      </div>
      {object.type === 'text' && <TextPanel editor={editor} object={object} />}
      {object.type === 'barcode' && <BarcodePanel editor={editor} object={object} />}
      {object.type === 'image' && <ImagePanel editor={editor} object={object} />}
      {(object.type === 'rect' || object.type === 'ellipse') && <ShapePanel editor={editor} object={object} />}
      {object.type === 'line' && <LinePanel editor={editor} object={object} />}
    </div>
  );
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
      </div>
    </>
  );
}

function BarcodePanel({ editor, object }: { editor: Editor; object: BarcodeObject }) {
  const t = editor.t;
  const disabled = object.locked;
  const set = (patch: Partial<BarcodeObject>, coalesce?: string): void => editor.update(object.id, patch as Partial<LabelObject>, coalesce);
  const error = barcodeError(object);
  return (
    <>
      <SelectField label={t.symbology} value={object.symbology} disabled={disabled} testId="prop-symbology"
        options={SYMBOLOGIES.map((s) => ({ value: s, label: SYMBOLOGY_NAMES[s] }))}
        onChange={(symbology) => set({ symbology, showText: object.showText && !TWO_D_SYMBOLOGIES.includes(symbology) })} />
      <TextField label={t.barcodeData} value={object.data} disabled={disabled} testId="prop-data" onChange={(data) => set({ data }, `${object.id}.data`)} />
      {error && <p class="field-error" data-testid="barcode-error">{describeBarcodeFault(error, editor)}</p>}
      <div class="row">
        <CheckField label={t.showText} checked={object.showText} disabled={disabled} testId="prop-show-text" onChange={(showText) => set({ showText })} />
        <ColorField label={t.color} value={object.color} disabled={disabled} onChange={(color) => set({ color })} />
      </div>
    </>
  );
}

function ImagePanel({ editor, object }: { editor: Editor; object: ImageObject }) {
  const t = editor.t;
  return (
    <>
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
        <NumberField label={t.strokeWidth} unit={t.mm} value={object.strokeMm} min={0} max={50} disabled={disabled} testId="prop-stroke" onCommit={(strokeMm) => set({ strokeMm })} />
        <ColorField label={t.strokeColor} value={object.strokeColor} disabled={disabled} onChange={(strokeColor) => set({ strokeColor })} />
      </div>
      <div class="row">
        <ColorField label={t.fillColor} value={object.fillColor} allowNone noneLabel={t.noFill} disabled={disabled} onChange={(fillColor) => set({ fillColor })} />
        {object.type === 'rect' && (
          <NumberField label={t.cornerRadius} unit={t.mm} value={object.cornerRadiusMm} min={0} max={500} disabled={disabled} onCommit={(cornerRadiusMm) => set({ cornerRadiusMm })} />
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
      <NumberField label={t.strokeWidth} unit={t.mm} value={object.strokeMm} min={0.1} max={50} disabled={disabled} testId="prop-stroke" onCommit={(strokeMm) => set({ strokeMm, heightMm: Math.max(object.heightMm, strokeMm) })} />
      <ColorField label={t.strokeColor} value={object.strokeColor} disabled={disabled} onChange={(strokeColor) => set({ strokeColor })} />
    </div>
  );
}
