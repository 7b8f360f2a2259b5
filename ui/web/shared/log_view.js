// A text view that receives lines as they happen (the console's log views): it keeps at most
// `limit` lines and `byteLimit` characters, the oldest lines dropped first, as the server's own
// views do, so that a busy server cannot exhaust the browser; and it follows the newest line as
// long as the operator has not scrolled up. Lines arriving in a burst are drawn once per frame.

export class LogView {
  constructor(element, limit = 5000, byteLimit = 2 * 1024 * 1024) {
    this.element = element;
    this.limit = limit;
    this.byteLimit = byteLimit;
    this.size = 0; // characters of the lines shown
    this.pending = [];
    this.replaceWith = null;
    this.scheduled = false;
  }

  // True while the view shows its last line (or cannot scroll at all).
  atBottom() {
    const view = this.element;
    return view.scrollTop + view.clientHeight >= view.scrollHeight - 4;
  }

  // The newest of `lines` that fit both limits.
  newest(lines) {
    let size = 0;
    let first = lines.length;
    while (first > 0 && lines.length - first < this.limit) {
      size += lines[first - 1].length;
      if (size > this.byteLimit && first < lines.length) break;
      first -= 1;
    }
    return first === 0 ? lines : lines.slice(first);
  }

  replace(lines) {
    this.replaceWith = this.newest(lines);
    this.pending = [];
    this.schedule();
  }

  append(lines) {
    this.pending.push(...lines);
    this.pending = this.newest(this.pending);
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
      this.size = this.replaceWith.reduce((sum, text) => sum + text.length, 0);
      this.replaceWith = null;
    }
    if (this.pending.length > 0) {
      const lines = document.createDocumentFragment();
      for (const text of this.pending) {
        lines.append(this.lineElement(text));
        this.size += text.length;
      }
      this.pending = [];
      view.append(lines);
      // The oldest lines go while the view holds too many, or too much (always keeping one).
      while (view.childElementCount > this.limit ||
             (this.size > this.byteLimit && view.childElementCount > 1)) {
        this.size -= view.firstElementChild.textContent.length;
        view.firstElementChild.remove();
      }
    }
    if (follow) view.scrollTop = view.scrollHeight;
  }

  lines() {
    return Array.from(this.element.children, (line) => line.textContent);
  }
}
