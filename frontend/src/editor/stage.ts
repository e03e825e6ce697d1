// The interactive canvas: Konva draws the paper, the objects (through the shared renderer),
// the selection handles and snapping guides, and turns pointer gestures into editor commands.

import Konva from 'konva';
import type { LabelObject } from '../model/document';
import { labelPoint, TWO_D_SYMBOLOGIES, updateObjects, visualBox } from '../model/document';
import { labelOutline, offLabelObjects } from '../model/shape';
import { printerDpi } from '../model/output';
import { CSS_DPI, MM_PER_INCH, roundMm } from '../model/units';
import type { ImageStore } from '../render/images';
import { describeBarcodeFault } from '../render/barcodeFault';
import { onBarcodeEncoder } from '../render/barcode';
import { traceLabelOutline } from '../render/outline';
import { drawObject, RenderOptions, shapeOutline } from '../render/renderer';
import { quietZoneBoxes } from '../render/symbol';
import { ALL_ASPECTS, Changes, Editor } from './editor';
import { drawRulers, RULER_SIZE } from './rulers';
import { snapBox, SnapGuide, snapTargets } from './snapping';
import { OpenTextEdit, openTextEdit } from './textEdit';
import { timePointerFrames } from './frameTiming';

const CSS_PX_PER_MM = CSS_DPI / MM_PER_INCH;
export const MIN_ZOOM = 0.1;
export const MAX_ZOOM = 32;
const SNAP_SCREEN_PX = 6;
const SELECTION_COLOR = '#1a73e8';
const QUARTER_TURNS = [0, 90, 180, 270];

export interface View {
  zoom: number;
  /** Screen position of the label's top-left corner, in CSS pixels within the stage. */
  originX: number;
  originY: number;
}

export class DesignerStage {
  readonly stage: Konva.Stage;
  private readonly paperLayer = new Konva.Layer({ name: 'paper', listening: false });
  private readonly contentLayer = new Konva.Layer({ name: 'objects' });
  private readonly uiLayer = new Konva.Layer({ name: 'handles' });
  private readonly paperGroup = new Konva.Group();
  private readonly contentGroup = new Konva.Group();
  /**
   * What is being dragged or transformed, and the objects above it: see `lift`. A gesture needs
   * no hit tests, so these layers keep no stage-sized hit canvas.
   */
  private readonly liftedLayer = new Konva.Layer({ name: 'lifted', listening: false });
  private readonly liftedGroup = new Konva.Group();
  private readonly overLayer = new Konva.Layer({ name: 'over', listening: false });
  private readonly overGroup = new Konva.Group();
  private readonly transformer: Konva.Transformer;
  private readonly band = new Konva.Rect({ fill: 'rgba(26,115,232,0.08)', stroke: SELECTION_COLOR, strokeWidth: 1, visible: false, listening: false });
  private readonly guides = new Konva.Shape({ listening: false });
  private nodes = new Map<string, Konva.Shape>();
  /** How often each object was drawn, by id: tests read what a change redrew. */
  readonly drawsOf = new Map<string, number>();
  private view: View = { zoom: 1, originX: 40, originY: 40 };
  private activeGuides: SnapGuide[] = [];
  private bandStart: { x: number; y: number } | null = null;
  private panStart: { x: number; y: number; originX: number; originY: number } | null = null;
  private spaceDown = false;
  private fitted = false;
  /** Set when the person zooms or pans; until then the view keeps fitting the label. */
  private viewChosen = false;
  private lastFit = { serial: -1, widthMm: 0, heightMm: 0 };
  private lastPaper: { widthMm: number; heightMm: number; stock?: unknown } = { widthMm: 0, heightMm: 0 };
  private textEdit: OpenTextEdit | null = null;
  private renderOptions: RenderOptions;
  /** Undoes every subscription and window listener the stage made, on destroy. */
  private readonly detach: (() => void)[] = [];
  private readonly resizeObserver: ResizeObserver;

  constructor(
    private readonly host: HTMLElement,
    private readonly rulerTop: HTMLCanvasElement,
    private readonly rulerLeft: HTMLCanvasElement,
    private readonly editor: Editor,
    images: ImageStore,
  ) {
    this.stage = new Konva.Stage({ container: host as HTMLDivElement, width: Math.max(1, host.clientWidth), height: Math.max(1, host.clientHeight) });
    this.paperLayer.add(this.paperGroup);
    this.paperLayer.add(new Konva.Shape({ listening: false, sceneFunc: (ctx) => this.drawQuietZones(ctx._context) }));
    this.contentLayer.add(this.contentGroup);
    this.liftedLayer.add(this.liftedGroup);
    this.overLayer.add(this.overGroup);
    this.transformer = new Konva.Transformer({
      rotateEnabled: true,
      keepRatio: false,
      flipEnabled: false,
      ignoreStroke: true,
      anchorSize: 9,
      anchorStroke: SELECTION_COLOR,
      borderStroke: SELECTION_COLOR,
      anchorCornerRadius: 2,
      rotateAnchorOffset: 24,
      boundBoxFunc: (oldBox, newBox) => this.limitResize(oldBox, newBox),
    });
    this.uiLayer.add(this.guides, this.transformer, this.band);
    this.stage.add(this.paperLayer, this.contentLayer, this.liftedLayer, this.overLayer, this.uiLayer);
    this.guides.sceneFunc((ctx) => this.drawGuides(ctx));
    this.renderOptions = {
      images,
      placeholders: {
        image: '',
        barcodeError: (fault) => describeBarcodeFault(fault, this.editor),
      },
      background: null,
    };
    this.buildPaper();
    this.bindPointer();
    this.bindTransformer();
    this.detach.push(images.onLoad(() => this.redrawObjects()));
    // Barcodes and their quiet zones drawn before the encoder was in are blank until then.
    this.detach.push(onBarcodeEncoder(() => this.stage.batchDraw()));
    this.detach.push(timePointerFrames(host));
    this.resizeObserver = new ResizeObserver(() => this.resize());
    this.resizeObserver.observe(host);
    this.detach.push(editor.subscribe((changes) => this.sync(changes)));
    this.setView(this.view);
    this.sync(new Set(ALL_ASPECTS));
    this.resize();
  }

  get pxPerMm(): number {
    return this.view.zoom * CSS_PX_PER_MM;
  }

  getView(): View {
    return { ...this.view };
  }

  /** Screen position (CSS px, relative to the stage) of a point on the label in millimetres. */
  toScreen(xMm: number, yMm: number): { x: number; y: number } {
    return { x: this.view.originX + xMm * this.pxPerMm, y: this.view.originY + yMm * this.pxPerMm };
  }

  toMm(x: number, y: number): { x: number; y: number } {
    return { x: (x - this.view.originX) / this.pxPerMm, y: (y - this.view.originY) / this.pxPerMm };
  }

  // --- view -----------------------------------------------------------------------------------------

  setView(view: View): void {
    this.textEdit?.close();
    this.view = { ...view, zoom: Math.min(MAX_ZOOM, Math.max(MIN_ZOOM, view.zoom)) };
    const scale = this.pxPerMm;
    for (const group of [this.paperGroup, this.contentGroup, this.liftedGroup, this.overGroup]) {
      group.position({ x: this.view.originX, y: this.view.originY });
      group.scale({ x: scale, y: scale });
    }
    this.transformer.forceUpdate();
    this.stage.batchDraw();
    this.drawRulers();
    if (this.editor.state.zoom !== this.view.zoom) this.editor.setView({ zoom: this.view.zoom });
  }

  /** Zooms keeping the point under (x, y) in place; without a point, about the middle of the view. */
  zoomTo(zoom: number, at?: { x: number; y: number }): void {
    const point = at ?? { x: this.stage.width() / 2, y: this.stage.height() / 2 };
    const mm = this.toMm(point.x, point.y);
    const z = Math.min(MAX_ZOOM, Math.max(MIN_ZOOM, zoom));
    const scale = z * CSS_PX_PER_MM;
    this.setView({ zoom: z, originX: point.x - mm.x * scale, originY: point.y - mm.y * scale });
  }

  zoomBy(factor: number, at?: { x: number; y: number }): void {
    this.viewChosen = true;
    this.zoomTo(this.view.zoom * factor, at);
  }

  /** Fits the label in the view; the view then follows the label and the window again. */
  zoomFit(): void {
    this.viewChosen = false;
    const { widthMm, heightMm } = this.editor.state.doc;
    const margin = 48;
    const w = Math.max(1, this.stage.width() - 2 * margin);
    const h = Math.max(1, this.stage.height() - 2 * margin);
    const zoom = Math.min(MAX_ZOOM, Math.max(MIN_ZOOM, Math.min(w / (widthMm * CSS_PX_PER_MM), h / (heightMm * CSS_PX_PER_MM))));
    this.centreAt(zoom);
  }

  zoomActual(): void {
    this.viewChosen = true;
    this.centreAt(1);
  }

  private centreAt(zoom: number): void {
    const { widthMm, heightMm } = this.editor.state.doc;
    const scale = zoom * CSS_PX_PER_MM;
    this.setView({ zoom, originX: Math.round((this.stage.width() - widthMm * scale) / 2), originY: Math.round((this.stage.height() - heightMm * scale) / 2) });
  }

  private resize(): void {
    const w = Math.max(1, this.host.clientWidth);
    const h = Math.max(1, this.host.clientHeight);
    if (w === this.stage.width() && h === this.stage.height() && this.fitted) return;
    this.stage.size({ width: w, height: h });
    // A panel opening or closing changes the room the label has: refit unless the person chose a view.
    if ((!this.fitted || !this.viewChosen) && w > 50 && h > 50) {
      this.fitted = true;
      this.zoomFit();
    } else {
      this.setView(this.view);
    }
  }

  private drawRulers(): void {
    const pointer = this.editor.state.pointerMm;
    drawRulers(this.rulerTop, this.rulerLeft, this.view.originX, this.view.originY, this.pxPerMm, this.editor.state.doc, pointer, this.editor.state.unit);
  }

  // --- paper and grid -------------------------------------------------------------------------------

  private buildPaper(): void {
    const paper = new Konva.Shape({
      sceneFunc: (ctx) => {
        const { widthMm, heightMm } = this.editor.state.doc;
        const c = ctx._context;
        c.save();
        c.shadowColor = 'rgba(20,30,50,0.25)';
        c.shadowBlur = 12;
        c.shadowOffsetY = 2;
        const outline = labelOutline(this.editor.state.doc);
        if (outline.shape === 'rectangle') {
          c.fillStyle = '#ffffff';
          c.fillRect(0, 0, widthMm, heightMm);
        } else {
          // A shaped label on its liner: the label white with its cut line, the liner around it grey.
          c.fillStyle = '#e7eaef';
          c.fillRect(0, 0, widthMm, heightMm);
          c.shadowColor = 'transparent';
          c.beginPath();
          traceLabelOutline(c, outline, 1);
          c.fillStyle = '#ffffff';
          c.fill('evenodd');
          c.lineWidth = 1 / this.pxPerMm;
          c.strokeStyle = '#94a3b8';
          c.stroke();
        }
        c.restore();
        if (this.editor.state.grid) this.drawGrid(c, widthMm, heightMm);
      },
    });
    this.paperGroup.add(paper);
  }

  private drawGrid(c: CanvasRenderingContext2D, widthMm: number, heightMm: number): void {
    let step = this.editor.state.gridStepMm;
    while (step * this.pxPerMm < 8) step *= 5;
    const hair = 1 / this.pxPerMm;
    c.save();
    c.beginPath();
    for (let x = step; x < widthMm - 1e-6; x += step) {
      c.moveTo(x, 0);
      c.lineTo(x, heightMm);
    }
    for (let y = step; y < heightMm - 1e-6; y += step) {
      c.moveTo(0, y);
      c.lineTo(widthMm, y);
    }
    c.lineWidth = hair;
    c.strokeStyle = 'rgba(60,100,160,0.13)';
    c.stroke();
    c.restore();
  }

  // --- objects --------------------------------------------------------------------------------------

  /**
   * Redraws what a change touched: a pointer move only the rulers' marks, a selection the
   * handles, an edit the nodes of the objects it changed.
   */
  private sync(changes: Changes): void {
    const edited = changes.has('document');
    if (edited) {
      this.refitForNewLabel();
      this.syncObjects();
    }
    if (edited || changes.has('selection')) this.syncSelection();
    // The grid and the quiet zones are drawn on the paper; pictures' placeholders are worded.
    if (changes.has('view')) this.paperLayer.batchDraw();
    if (changes.has('interface')) this.redrawObjects();
    this.drawRulers();
  }

  /** Brings the nodes in line with the document: only objects the edit replaced are touched. */
  private syncObjects(): void {
    this.settle();
    const { doc } = this.editor.state;
    const present = new Set<string>();
    let paperChanged = doc.widthMm !== this.lastPaper.widthMm || doc.heightMm !== this.lastPaper.heightMm || doc.stock !== this.lastPaper.stock;
    const touch = (object: LabelObject): void => {
      // The paper shows barcodes' quiet zones.
      if (object.type === 'barcode') paperChanged = true;
    };
    doc.objects.forEach((object, index) => {
      present.add(object.id);
      let node = this.nodes.get(object.id);
      if (!node) {
        node = this.createNode(object);
        this.nodes.set(object.id, node);
        this.contentGroup.add(node);
      }
      const previous = node.getAttr('model') as LabelObject | undefined;
      if (previous !== object) {
        if (previous) touch(previous);
        touch(object);
        this.applyModel(node, object);
      }
      if (node.zIndex() !== index) node.zIndex(index);
    });
    for (const [id, node] of this.nodes) {
      if (present.has(id)) continue;
      touch(node.getAttr('model') as LabelObject);
      node.destroy();
      this.nodes.delete(id);
    }
    this.lastPaper = { widthMm: doc.widthMm, heightMm: doc.heightMm, stock: doc.stock };
    if (paperChanged) this.paperLayer.batchDraw();
  }

  private syncSelection(): void {
    const selected = this.selectedNodes();
    const current = this.transformer.nodes();
    const sameSelection = selected.length === current.length && selected.every((n, i) => n === current[i]);
    if (!sameSelection) this.transformer.nodes(selected);
    this.configureTransformer(selected);
    this.transformer.forceUpdate();
    this.uiLayer.batchDraw();
  }

  /** A project opened (always) or a label of another size (unless the person chose a view) is fitted. */
  private refitForNewLabel(): void {
    const { doc, projectSerial } = this.editor.state;
    const last = this.lastFit;
    const opened = projectSerial !== last.serial;
    const resized = doc.widthMm !== last.widthMm || doc.heightMm !== last.heightMm;
    this.lastFit = { serial: projectSerial, widthMm: doc.widthMm, heightMm: doc.heightMm };
    if (!this.fitted || !(opened || resized)) return;
    if (opened || !this.viewChosen) this.zoomFit();
  }

  /**
   * Barcodes' quiet zones, tinted on the paper (never printed) so that nothing is put there.
   * Drawn in label millimetres: the paper group's transform applies.
   */
  private drawQuietZones(c: CanvasRenderingContext2D): void {
    const doc = this.editor.state.doc;
    const dpi = printerDpi(doc);
    c.save();
    c.translate(this.view.originX, this.view.originY);
    c.scale(this.pxPerMm, this.pxPerMm);
    c.fillStyle = 'rgba(26,115,232,0.10)';
    for (const o of doc.objects) {
      if (o.type !== 'barcode') continue;
      for (const z of quietZoneBoxes(o, dpi)) c.fillRect(z.xMm, z.yMm, z.widthMm, z.heightMm);
    }
    c.restore();
  }

  private createNode(object: LabelObject): Konva.Shape {
    // evenodd: an unfilled shape's hit area is its outline's band, the inside left out.
    const node = new Konva.Shape({ id: object.id, fill: 'transparent', fillRule: 'evenodd' });
    node.sceneFunc((ctx, shape) => {
      this.drawsOf.set(shape.id(), (this.drawsOf.get(shape.id()) ?? 0) + 1);
      const model = { ...(shape.getAttr('model') as LabelObject), widthMm: shape.width(), heightMm: shape.height() } as LabelObject;
      const native = ctx._context;
      const m = native.getTransform();
      const scale = Math.hypot(m.a, m.b);
      native.save();
      native.scale(1 / scale, 1 / scale);
      drawObject(native, model, scale, {
        ...this.renderOptions,
        placeholders: { ...this.renderOptions.placeholders!, image: this.editor.t.imagePlaceholder },
        printerDpi: printerDpi(this.editor.state.doc),
        asPrinted: true,
      });
      native.restore();
    });
    node.hitFunc((ctx, shape) => {
      const model = shape.getAttr('model') as LabelObject;
      const w = shape.width(), h = shape.height();
      ctx.beginPath();
      if ((model.type === 'rect' || model.type === 'ellipse') && !model.fillColor) {
        // An unfilled shape is picked by its outline, as in drawing programs, so what lies inside
        // it can still be clicked: a band of its stroke and a few screen pixels either side.
        const tolerance = GRAB_PX / this.pxPerMm;
        const radius = model.type === 'rect' ? model.cornerRadiusMm : 0;
        shapeOutline(ctx, model.type, w, h, radius, -tolerance);
        const inner = model.strokeMm + tolerance;
        if (2 * inner < Math.min(w, h)) shapeOutline(ctx, model.type, w, h, radius, inner);
      } else {
        // Thin objects (lines) get a grab area of a few screen pixels either side.
        const pad = Math.max(0, GRAB_PX / this.pxPerMm - h / 2);
        ctx.rect(0, -pad, w, h + 2 * pad);
      }
      ctx.closePath();
      ctx.fillStrokeShape(shape);
    });
    node.on('mousedown touchstart', (e) => this.pressObject(node, e.evt as MouseEvent));
    node.on('dblclick dbltap', () => this.openObject(node.id()));
    node.on('dragstart', () => {
      this.activeGuides = [];
      this.lift(node);
    });
    node.dragBoundFunc((pos) => this.snapDrag(node, pos));
    node.on('dragend', () => this.commitNodes('move'));
    return node;
  }

  private applyModel(node: Konva.Shape, o: LabelObject): void {
    node.setAttrs({
      model: o,
      x: o.xMm + o.widthMm / 2,
      y: o.yMm + o.heightMm / 2,
      width: o.widthMm,
      height: o.heightMm,
      offsetX: o.widthMm / 2,
      offsetY: o.heightMm / 2,
      rotation: o.rotation,
      scaleX: 1,
      scaleY: 1,
      draggable: !o.locked,
    });
  }

  private configureTransformer(selected: Konva.Shape[]): void {
    const models = selected.map((n) => n.getAttr('model') as LabelObject);
    const locked = models.some((m) => m.locked);
    const onlyLine = models.length === 1 && models[0].type === 'line';
    const barcode = models.some((m) => m.type === 'barcode');
    // A barcode sized by its X-dimension takes its width (a 2D symbol its height too) from the data.
    const sized = models.length === 1 && models[0].type === 'barcode' && models[0].xdim ? models[0] : null;
    const anchors = sized ? (TWO_D_SYMBOLOGIES.includes(sized.symbology) ? [] : ['top-center', 'bottom-center'])
      : onlyLine ? ['middle-left', 'middle-right']
        : ['top-left', 'top-center', 'top-right', 'middle-right', 'middle-left', 'bottom-left', 'bottom-center', 'bottom-right'];
    this.transformer.setAttrs({
      resizeEnabled: !locked && anchors.length > 0,
      rotateEnabled: !locked,
      // Barcodes keep quarter turns; everything else turns freely, in 15° steps with Shift.
      rotationSnaps: barcode ? QUARTER_TURNS : [],
      rotationSnapTolerance: 45,
      shiftBehavior: barcode ? 'none' : 'default',
      borderStroke: locked ? '#9aa4b2' : SELECTION_COLOR,
      borderDash: locked ? [4, 3] : undefined,
      enabledAnchors: anchors,
      keepRatio: models.length === 1 && models[0].type === 'image' && (models[0] as { keepAspect: boolean }).keepAspect,
    });
  }

  private pressObject(node: Konva.Shape, evt: MouseEvent): void {
    // The right button selects what it points at (unless already selected) for the context menu.
    if ((evt.button !== 0 && evt.button !== 2) || this.spaceDown) return;
    const id = node.id();
    const selection = this.editor.state.selection;
    const toggle = evt.button === 0 && (evt.shiftKey || evt.ctrlKey || evt.metaKey);
    if (toggle) {
      this.editor.select(selection.includes(id) ? selection.filter((s) => s !== id) : [...selection, id]);
      if (selection.includes(id)) node.stopDrag();
    } else if (!selection.includes(id)) {
      this.editor.select([id]);
    }
  }

  private openObject(id: string): void {
    const object = this.editor.state.doc.objects.find((o) => o.id === id);
    if (!object || object.locked) return;
    if (object.type === 'image') void this.editor.insertImage(id);
    else if (object.type === 'text') this.editTextOnLabel(id);
    else this.host.dispatchEvent(new CustomEvent('quillmark-edit-object', { bubbles: true, detail: id }));
  }

  /** Opens typing on the label over a text object; the whole edit is one undo step. */
  editTextOnLabel(id: string): void {
    const object = this.editor.state.doc.objects.find((o) => o.id === id);
    if (!object || object.type !== 'text' || object.locked) return;
    this.textEdit?.close();
    const node = this.nodes.get(id);
    const session = this.editor.beginEdit(id);
    node?.visible(false);
    this.transformer.visible(false);
    this.uiLayer.batchDraw();
    this.textEdit = openTextEdit(this.host, object, { originX: this.view.originX, originY: this.view.originY, pxPerMm: this.pxPerMm },
      (text) => session.update({ text }),
      () => {
        session.end();
        this.textEdit = null;
        node?.visible(true);
        this.transformer.visible(true);
        this.redrawObjects();
        this.uiLayer.batchDraw();
      });
  }

  /** Snaps the dragged object to the label, other objects and the grid; Alt moves freely. */
  private snapDrag(node: Konva.Shape, pos: Konva.Vector2d): Konva.Vector2d {
    const state = this.editor.state;
    const model = node.getAttr('model') as LabelObject;
    const scale = this.pxPerMm;
    const cx = (pos.x - this.view.originX) / scale;
    const cy = (pos.y - this.view.originY) / scale;
    const altKey = !!(window.event as MouseEvent | undefined)?.altKey;
    if (!state.snap || altKey) {
      this.setGuides([]);
      return pos;
    }
    const box = visualBox({ ...model, xMm: cx - model.widthMm / 2, yMm: cy - model.heightMm / 2 });
    const others = state.doc.objects.filter((o) => !state.selection.includes(o.id));
    const result = snapBox(box, snapTargets(state.doc, others), SNAP_SCREEN_PX / scale, state.grid ? state.gridStepMm : 0);
    this.setGuides(result.guides);
    return { x: pos.x + result.dx * scale, y: pos.y + result.dy * scale };
  }

  private setGuides(guides: SnapGuide[]): void {
    this.activeGuides = guides;
    this.uiLayer.batchDraw();
  }

  /** Objects reaching off the label (or off its round shape) are outlined in red with a mark: that part does not print. */
  private drawOffLabel(c: CanvasRenderingContext2D): void {
    const off = offLabelObjects(this.editor.state.doc);
    if (off.length === 0) return;
    c.save();
    c.strokeStyle = '#dc2626';
    c.fillStyle = '#dc2626';
    c.lineWidth = 1.5;
    c.setLineDash([5, 3]);
    for (const o of off) {
      const points = [[0, 0], [o.widthMm, 0], [o.widthMm, o.heightMm], [0, o.heightMm]]
        .map(([x, y]) => labelPoint(o, x, y)).map((p) => this.toScreen(p.x, p.y));
      c.beginPath();
      points.forEach((p, i) => (i === 0 ? c.moveTo(p.x, p.y) : c.lineTo(p.x, p.y)));
      c.closePath();
      c.stroke();
      const top = points.reduce((a, b) => (b.y < a.y || (b.y === a.y && b.x < a.x) ? b : a));
      c.beginPath();
      c.moveTo(top.x, top.y - 16);
      c.lineTo(top.x + 9, top.y - 1);
      c.lineTo(top.x - 9, top.y - 1);
      c.closePath();
      c.fill();
      c.save();
      c.fillStyle = '#ffffff';
      c.font = 'bold 11px sans-serif';
      c.textAlign = 'center';
      c.fillText('!', top.x, top.y - 3);
      c.restore();
    }
    c.restore();
  }

  private drawGuides(ctx: Konva.Context): void {
    this.drawOffLabel(ctx._context);
    if (this.activeGuides.length === 0) return;
    const c = ctx._context;
    c.save();
    c.strokeStyle = '#e8398b';
    c.lineWidth = 1;
    c.setLineDash([4, 3]);
    c.beginPath();
    for (const g of this.activeGuides) {
      if (g.axis === 'x') {
        const x = Math.round(this.toScreen(g.at, 0).x) + 0.5;
        c.moveTo(x, 0);
        c.lineTo(x, this.stage.height());
      } else {
        const y = Math.round(this.toScreen(0, g.at).y) + 0.5;
        c.moveTo(0, y);
        c.lineTo(this.stage.width(), y);
      }
    }
    c.stroke();
    c.restore();
  }

  // --- resize and rotate ----------------------------------------------------------------------------

  private bindTransformer(): void {
    this.transformer.on('transform', () => {
      // Resize by changing the box, not by stretching: text re-wraps and barcodes re-fit live.
      for (const node of this.transformer.nodes() as Konva.Shape[]) {
        const w = Math.max(0.5, node.width() * node.scaleX());
        const h = Math.max(0.5, node.height() * node.scaleY());
        node.setAttrs({ width: w, height: h, scaleX: 1, scaleY: 1, offsetX: w / 2, offsetY: h / 2 });
      }
    });
    this.transformer.on('transformstart', () => this.lift(null));
    this.transformer.on('transformend', () => this.commitNodes('transform'));
  }

  /**
   * Moves what a gesture drags or transforms onto a layer of its own, and the objects above it
   * onto another, so that each frame of the gesture redraws only what moves, however many
   * objects the label holds. Several objects far apart in the stacking order may show in a
   * slightly different order until `settle` puts every node back.
   */
  private lift(pressed: Konva.Shape | null): void {
    const lifted = new Set<Konva.Node>(this.transformer.nodes());
    if (pressed) lifted.add(pressed);
    const children = this.contentGroup.getChildren().slice();
    const lowest = children.findIndex((node) => lifted.has(node));
    if (lowest < 0) return;
    children.forEach((node, index) => {
      if (lifted.has(node)) node.moveTo(this.liftedGroup);
      else if (index > lowest) node.moveTo(this.overGroup);
    });
    this.contentLayer.batchDraw();
    this.overLayer.batchDraw();
  }

  /** Every object again (pictures loaded, fields resolved anew, placeholders in another language). */
  private redrawObjects(): void {
    for (const layer of [this.contentLayer, this.liftedLayer, this.overLayer]) layer.batchDraw();
  }

  /** Puts lifted nodes back among the others, in the document's order. */
  private settle(): void {
    if (!this.liftedGroup.hasChildren() && !this.overGroup.hasChildren()) return;
    for (const group of [this.liftedGroup, this.overGroup]) {
      for (const node of group.getChildren().slice()) node.moveTo(this.contentGroup);
    }
    this.editor.state.doc.objects.forEach((object, index) => {
      const node = this.nodes.get(object.id);
      if (node && node.zIndex() !== index) node.zIndex(index);
    });
    this.contentLayer.batchDraw();
    this.liftedLayer.batchDraw();
    this.overLayer.batchDraw();
  }

  /** Keeps boxes from collapsing, and snaps moving edges to the grid when the object is upright. */
  private limitResize(oldBox: { x: number; y: number; width: number; height: number; rotation: number }, newBox: typeof oldBox): typeof oldBox {
    const minPx = 0.5 * this.pxPerMm;
    if (Math.abs(newBox.width) < minPx || Math.abs(newBox.height) < minPx) return oldBox;
    const state = this.editor.state;
    if (!state.snap || !state.grid || Math.abs(newBox.rotation % (Math.PI * 2)) > 1e-6 || newBox.rotation !== oldBox.rotation) return newBox;
    const step = state.gridStepMm * this.pxPerMm;
    const snap = (v: number, origin: number): number => origin + Math.round((v - origin) / step) * step;
    const box = { ...newBox };
    const right = newBox.x + newBox.width;
    const bottom = newBox.y + newBox.height;
    if (Math.abs(newBox.x - oldBox.x) > 1e-6) box.x = snap(newBox.x, this.view.originX);
    if (Math.abs(newBox.y - oldBox.y) > 1e-6) box.y = snap(newBox.y, this.view.originY);
    const newRight = Math.abs(right - (oldBox.x + oldBox.width)) > 1e-6 ? snap(right, this.view.originX) : right;
    const newBottom = Math.abs(bottom - (oldBox.y + oldBox.height)) > 1e-6 ? snap(bottom, this.view.originY) : bottom;
    box.width = newRight - box.x;
    box.height = newBottom - box.y;
    if (box.width < minPx || box.height < minPx) return oldBox;
    return box;
  }

  /** Writes node geometry back into the document as one undo step. */
  private commitNodes(kind: 'move' | 'transform'): void {
    this.setGuides([]);
    this.settle();
    const patches = new Map<string, Partial<LabelObject>>();
    const nodes = kind === 'move' ? this.selectedNodes() : (this.transformer.nodes() as Konva.Shape[]);
    for (const node of nodes) {
      const model = node.getAttr('model') as LabelObject;
      const w = roundMm(node.width() * node.scaleX());
      const h = roundMm(node.height() * node.scaleY());
      patches.set(model.id, {
        xMm: roundMm(node.x() - w / 2),
        yMm: roundMm(node.y() - h / 2),
        widthMm: w,
        heightMm: h,
        rotation: node.rotation(),
      });
    }
    this.editor.apply((doc) => updateObjects(doc, patches));
    // A move that changed nothing (a click) still needs the nodes put back exactly.
    const objects = new Map(this.editor.state.doc.objects.map((o) => [o.id, o]));
    for (const node of nodes) {
      const object = objects.get(node.id());
      if (object) this.applyModel(node, object);
    }
    this.syncSelection();
  }

  private selectedNodes(): Konva.Shape[] {
    return this.editor.state.selection.map((id) => this.nodes.get(id)).filter((n): n is Konva.Shape => !!n);
  }

  // --- pointer: selection band, panning, zoom ---------------------------------------------------------

  private bindPointer(): void {
    const stage = this.stage;
    stage.on('mousedown touchstart', (e) => {
      const evt = e.evt as MouseEvent;
      const pointer = stage.getPointerPosition();
      if (!pointer) return;
      if (evt.button === 1 || (evt.button === 0 && this.spaceDown)) {
        this.viewChosen = true;
        this.panStart = { x: pointer.x, y: pointer.y, originX: this.view.originX, originY: this.view.originY };
        evt.preventDefault();
        return;
      }
      if (evt.button !== 0) return;
      const onEmpty = e.target === stage;
      if (!onEmpty) return;
      if (!(evt.shiftKey || evt.ctrlKey)) this.editor.select([]);
      this.bandStart = pointer;
      this.band.setAttrs({ x: pointer.x, y: pointer.y, width: 0, height: 0, visible: true });
    });
    stage.on('mousemove touchmove', () => {
      const pointer = stage.getPointerPosition();
      if (!pointer) return;
      const mm = this.toMm(pointer.x, pointer.y);
      // The rulers mark the pointer when the editor tells the stage it moved.
      this.editor.setView({ pointerMm: { x: mm.x, y: mm.y } });
      if (this.panStart) {
        this.setView({ ...this.view, originX: this.panStart.originX + pointer.x - this.panStart.x, originY: this.panStart.originY + pointer.y - this.panStart.y });
        return;
      }
      if (this.bandStart) {
        this.band.setAttrs({
          x: Math.min(this.bandStart.x, pointer.x), y: Math.min(this.bandStart.y, pointer.y),
          width: Math.abs(pointer.x - this.bandStart.x), height: Math.abs(pointer.y - this.bandStart.y),
        });
        this.uiLayer.batchDraw();
      }
    });
    const finish = (): void => {
      this.panStart = null;
      if (!this.bandStart) return;
      const a = this.toMm(this.band.x(), this.band.y());
      const b = this.toMm(this.band.x() + this.band.width(), this.band.y() + this.band.height());
      this.bandStart = null;
      this.band.visible(false);
      this.uiLayer.batchDraw();
      if (this.band.width() < 3 && this.band.height() < 3) return;
      const hits = this.editor.state.doc.objects.filter((o) => {
        const v = visualBox(o);
        return v.xMm < b.x && v.xMm + v.widthMm > a.x && v.yMm < b.y && v.yMm + v.heightMm > a.y;
      });
      const extra = hits.map((o) => o.id).filter((id) => !this.editor.state.selection.includes(id));
      this.editor.select([...this.editor.state.selection, ...extra]);
    };
    stage.on('mouseup touchend', finish);
    this.listen('mouseup', finish);
    stage.on('mouseleave', () => {
      this.editor.setView({ pointerMm: null });
    });
    this.host.addEventListener('wheel', (evt) => {
      evt.preventDefault();
      const rect = this.host.getBoundingClientRect();
      const at = { x: evt.clientX - rect.left, y: evt.clientY - rect.top };
      this.viewChosen = true;
      if (evt.ctrlKey || evt.metaKey) {
        this.zoomBy(Math.exp(-evt.deltaY * (evt.deltaMode === 1 ? 0.05 : 0.0015)), at);
      } else {
        const dx = evt.shiftKey ? evt.deltaY : evt.deltaX;
        const dy = evt.shiftKey ? 0 : evt.deltaY;
        this.setView({ ...this.view, originX: this.view.originX - dx, originY: this.view.originY - dy });
      }
    }, { passive: false });
    this.listen('keydown', (e) => {
      if (e.code === 'Space' && !isTyping(e.target)) {
        this.spaceDown = true;
        this.host.style.cursor = 'grab';
      }
    });
    this.listen('keyup', (e) => {
      if (e.code === 'Space') {
        this.spaceDown = false;
        this.host.style.cursor = '';
      }
    });
  }

  /**
   * How texts and barcodes show their stored content: a merge passes the previewed record's
   * values; null shows the content as stored.
   */
  setTextResolver(resolveText: RenderOptions['resolveText'] | null): void {
    if ((resolveText ?? undefined) === this.renderOptions.resolveText) return;
    this.renderOptions = { ...this.renderOptions, resolveText: resolveText ?? undefined };
    this.redrawObjects();
  }

  private listen<K extends keyof WindowEventMap>(type: K, listener: (e: WindowEventMap[K]) => void): void {
    window.addEventListener(type, listener);
    this.detach.push(() => window.removeEventListener(type, listener));
  }

  destroy(): void {
    this.detach.splice(0).forEach((undo) => undo());
    this.resizeObserver.disconnect();
    this.stage.destroy();
  }
}

export { RULER_SIZE };


export function isTyping(target: EventTarget | null): boolean {
  const el = target as HTMLElement | null;
  if (!el || !el.tagName) return false;
  return el.tagName === 'INPUT' || el.tagName === 'TEXTAREA' || el.tagName === 'SELECT' || el.isContentEditable;
}

/** How far from an edge or a thin object a click still takes it, in screen pixels. */
const GRAB_PX = 4;
