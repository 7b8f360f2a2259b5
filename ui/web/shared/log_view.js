// A text view that receives lines as they happen (the console's log views, the workbench's
// listing): it keeps at most `limit` lines, the oldest dropped first, so that a busy server
// cannot exhaust the browser, and it follows the newest line as long as the operator has not
// scrolled up. Lines arriving in a burst are drawn once per frame.

export class LogView {
  constructor(element, limit = 5000) {
    this.element = element;
    this.limit = limit;
    this.pending = [];
    this.replaceWith = null;
    this.scheduled = false;
  }

  // True while the view shows its last line (or cannot scroll at all).
  atBottom() {
    const view = this.element;
    return view.scrollTop + view.clientHeight >= view.scrollHeight - 4;
  }

  replace(lines) {
    this.replaceWith = lines.slice(-this.limit);
    this.pending = [];
    this.schedule();
  }

  append(lines) {
    this.pending.push(...lines);
    if (this.pending.length > this.limit) this.pending.splice(0, this.pending.length - this.limit);
    this.schedule();
  }

  schedule() {
    if (this.scheduled) return;
    this.scheduled = true;
    requestAnimationFrame(() => this.draw());
  }

  lineElement(text) {
    const line = document.createElement('div');
    line.className = 'line';
    line.textContent = text;
    return line;
  }

  draw() {
    this.scheduled = false;
    const follow = this.atBottom();
    const view = this.element;
    if (this.replaceWith !== null) {
      const lines = document.createDocumentFragment();
      for (const text of this.replaceWith) lines.append(this.lineElement(text));
      view.replaceChildren(lines);
      this.replaceWith = null;
    }
    if (this.pending.length > 0) {
      const lines = document.createDocumentFragment();
      for (const text of this.pending) lines.append(this.lineElement(text));
      this.pending = [];
      view.append(lines);
      let excess = view.childElementCount - this.limit;
      while (excess-- > 0) view.firstElementChild.remove();
    }
    if (follow) view.scrollTop = view.scrollHeight;
  }

  lines() {
    return Array.from(this.element.children, (line) => line.textContent);
  }
}
