// Undo and redo over immutable documents: the stacks hold references, so a step costs
// nothing but the objects that actually changed.

export const HISTORY_LIMIT = 200;

export class History<T> {
  private past: T[] = [];
  private future: T[] = [];
  private lastKey: string | null = null;
  private lastTime = 0;

  constructor(private readonly limit = HISTORY_LIMIT, private readonly now: () => number = Date.now) {}

  /**
   * Records that `previous` was replaced. Edits with the same coalescing key within a second
   * (typing into one field, holding an arrow key) become one step.
   */
  record(previous: T, coalesceKey: string | null = null): void {
    const time = this.now();
    const merge = coalesceKey !== null && coalesceKey === this.lastKey && time - this.lastTime < 1000 && this.past.length > 0;
    if (!merge) {
      this.past.push(previous);
      if (this.past.length > this.limit) this.past.shift();
    }
    this.future = [];
    this.lastKey = coalesceKey;
    this.lastTime = time;
  }

  undo(current: T): T | null {
    const previous = this.past.pop();
    if (previous === undefined) return null;
    this.future.push(current);
    this.lastKey = null;
    return previous;
  }

  redo(current: T): T | null {
    const next = this.future.pop();
    if (next === undefined) return null;
    this.past.push(current);
    this.lastKey = null;
    return next;
  }

  /** Ends coalescing, so the next edit starts a new step even with the same key. */
  seal(): void {
    this.lastKey = null;
  }

  clear(): void {
    this.past = [];
    this.future = [];
    this.lastKey = null;
  }

  get canUndo(): boolean {
    return this.past.length > 0;
  }

  get canRedo(): boolean {
    return this.future.length > 0;
  }

  get depth(): number {
    return this.past.length;
  }
}
