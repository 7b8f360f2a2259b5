// The completion pop-up `syncomplet` and the parameter hint `scpParams` of the editor.
//
// The lists, the trigger characters, the switches and the delay are the server's; so is the
// parameter hint itself, which the page asks for at the caret. What happens while the operator
// types (the timed opening, filtering the list by the word before the caret, completing) is
// done here, with the rules the server's model states.

import { Prec } from '@codemirror/state';
import { keymap } from '@codemirror/view';

// The word being completed: back from the caret to the nearest blank or control character or
// one of `endChars`.
export function wordBeforeCaret(state, endChars) {
  const head = state.selection.main.head;
  const line = state.doc.lineAt(head);
  const text = line.text.slice(0, head - line.from);
  let start = text.length;
  while (start > 0) {
    const c = text[start - 1];
    if (c <= ' ' || endChars.includes(c)) break;
    start -= 1;
  }
  return { word: text.slice(start), from: line.from + start, to: head };
}

// The positions of the items whose insert text begins with the word; letter case counts.
export function completionMatches(inserts, word) {
  const found = [];
  inserts.forEach((insert, index) => {
    if (insert.startsWith(word)) found.push(index);
  });
  return found;
}

const make = (tag, className, text) => {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (text !== undefined) element.textContent = text;
  return element;
};

export class Popups {
  // `send(name, args)` runs a workbench command in the page's order (after the text is sent).
  constructor(send, caretOf) {
    this.send = send;
    this.caretOf = caretOf;
    this.fixed = { completion: { title: '', endChars: '()[]. ', rows: 16, width: 700 }, parameterHint: { trigger: '(', endChars: '). ', rows: 8, width: 600 } };
    this.analysis = { completionItems: [], completionInserts: [], triggerChars: '.' };
    this.settings = { completionAttached: true, paramsAttached: true, popupDelayMs: 1500 };
    this.view = null;
    this.completionTimer = null;
    this.hintTimer = null;
    this.hintRefresh = null;
    this.completion = null; // {from, matches, selected}
    this.hintOpen = false;
    this.typedAt = -1; // where the caret stood after the last typed character
    this.buildCompletion();
    this.hint = make('div', 'scp-params');
    this.hint.id = 'scpParams';
    this.hint.hidden = true;
    this.hint.setAttribute('role', 'tooltip');
    document.body.append(this.hint);
  }

  buildCompletion() {
    this.box = make('div', 'syncomplet');
    this.box.id = 'syncomplet';
    this.box.hidden = true;
    this.title = make('div', 'syncomplet-title');
    this.list = make('div', 'syncomplet-list');
    this.list.setAttribute('role', 'listbox');
    this.box.append(this.title, this.list);
    // The editor keeps the focus while the pop-up is used with the mouse.
    this.box.addEventListener('mousedown', (event) => event.preventDefault());
    this.list.addEventListener('click', (event) => {
      const row = event.target.closest('.syncomplet-item');
      if (row) this.complete(Number(row.dataset.index));
    });
    document.body.append(this.box);
  }

  setFixed(fixed) {
    this.fixed = fixed;
    this.title.textContent = fixed.completion.title;
    this.box.style.setProperty('--rows', fixed.completion.rows);
    this.box.style.width = `${fixed.completion.width}px`;
    this.hint.style.maxWidth = `${fixed.parameterHint.width}px`;
  }

  setAnalysis(analysis) {
    this.analysis = analysis;
    if (this.completion) this.refilter();
  }

  setSettings(settings) {
    this.settings = { ...this.settings, ...settings };
    if (!this.settings.completionAttached) this.closeCompletion();
    if (!this.settings.paramsAttached) this.closeHint();
  }

  // The key bindings the pop-ups take before the editor's own.
  keymap() {
    const whileOpen = (run) => () => {
      if (!this.completion) return false;
      run();
      return true;
    };
    return Prec.highest(
      keymap.of([
        { key: 'Ctrl-Space', run: (view) => this.openCompletion(view, true) },
        { key: 'Shift-Ctrl-Space', run: (view) => this.askHint(view, true) },
        { key: 'ArrowDown', run: whileOpen(() => this.move(1)) },
        { key: 'ArrowUp', run: whileOpen(() => this.move(-1)) },
        { key: 'PageDown', run: whileOpen(() => this.move(this.fixed.completion.rows - 1)) },
        { key: 'PageUp', run: whileOpen(() => this.move(1 - this.fixed.completion.rows)) },
        { key: 'Enter', run: whileOpen(() => this.complete(this.completion.selected)) },
        { key: 'Tab', run: whileOpen(() => this.complete(this.completion.selected)) },
        {
          key: 'Escape',
          run: () => {
            if (this.completion) this.closeCompletion();
            else if (this.hintOpen) this.closeHint();
            else return false;
            return true;
          },
        },
      ]),
    );
  }

  // ---- typing ------------------------------------------------------------------------------

  // A character the operator typed (already in the text).
  typed(char, view) {
    this.view = view;
    this.typedAt = view.state.selection.main.head;
    const { completionAttached, paramsAttached, popupDelayMs } = this.settings;
    if (this.completion) {
      // The open list is filtered again as the caret moves on (caretMoved).
    } else if (completionAttached && this.analysis.triggerChars.includes(char)) {
      this.restart('completionTimer', () => this.openCompletion(view, false), popupDelayMs);
    } else {
      this.cancel('completionTimer');
    }
    if (paramsAttached && char === this.fixed.parameterHint.trigger) {
      this.restart('hintTimer', () => this.askHint(view, false), popupDelayMs);
    } else {
      this.cancel('hintTimer');
    }
    if (this.hintOpen) this.refreshHint(view);
  }

  // The text changed other than by a typed character (Enter, Backspace, Delete, a paste, an
  // undo): like a typed character that opens nothing, it cancels a pending timed opening.
  edited() {
    this.cancel('completionTimer');
    this.cancel('hintTimer');
  }

  // Before a typed text goes in: an end character completes the open list first.
  input(view, from, to, text) {
    if (!this.completion || text.length !== 1 || !this.fixed.completion.endChars.includes(text)) return false;
    this.complete(this.completion.selected);
    const at = view.state.selection.main.head;
    view.dispatch({ changes: { from: at, insert: text }, selection: { anchor: at + 1 }, userEvent: 'input.type' });
    return true;
  }

  caretMoved(view) {
    this.view = view;
    // A timed opening belongs to the place where its character was typed: once the caret has
    // gone elsewhere (an arrow key, a click), the pop-up would open for a word never typed.
    if (view.state.selection.main.head !== this.typedAt) {
      this.cancel('completionTimer');
      this.cancel('hintTimer');
    }
    // The open list follows the word (Backspace shortens it) and closes once the caret leaves it.
    if (this.completion) this.refilter();
    if (this.hintOpen) this.refreshHint(view);
  }

  restart(timer, run, delay) {
    this.cancel(timer);
    this[timer] = setTimeout(() => {
      this[timer] = null;
      run();
    }, delay);
  }

  cancel(timer) {
    clearTimeout(this[timer]);
    this[timer] = null;
  }

  closeAll() {
    this.cancel('completionTimer');
    this.cancel('hintTimer');
    this.closeCompletion();
    this.closeHint();
  }

  // ---- completion ----------------------------------------------------------------------------

  openCompletion(view, atOnce) {
    this.view = view;
    if (!this.settings.completionAttached) return atOnce;
    const { word, from } = wordBeforeCaret(view.state, this.fixed.completion.endChars);
    const matches = completionMatches(this.analysis.completionInserts, word);
    if (matches.length === 0) return true;
    this.completion = { from, matches, selected: 0 };
    this.send('syncompletExecute', { word });
    this.box.hidden = false;
    this.render();
    this.place(this.box, view, from);
    return true;
  }

  refilter() {
    const view = this.view;
    const { word, from } = wordBeforeCaret(view.state, this.fixed.completion.endChars);
    const matches = completionMatches(this.analysis.completionInserts, word);
    if (from !== this.completion.from || matches.length === 0) {
      this.closeCompletion();
      return;
    }
    const current = this.completion.matches[this.completion.selected];
    this.completion.matches = matches;
    this.completion.selected = Math.max(0, matches.indexOf(current));
    this.render();
  }

  render() {
    const { matches, selected } = this.completion;
    this.list.replaceChildren(
      ...matches.map((index, row) => {
        const item = make('div', 'syncomplet-item', this.analysis.completionItems[index]);
        item.dataset.index = String(row);
        item.setAttribute('role', 'option');
        if (row === selected) {
          item.classList.add('selected');
          item.setAttribute('aria-selected', 'true');
        }
        return item;
      }),
    );
    this.list.children[selected]?.scrollIntoView({ block: 'nearest' });
  }

  move(step) {
    const count = this.completion.matches.length;
    this.completion.selected = Math.min(count - 1, Math.max(0, this.completion.selected + step));
    this.render();
  }

  complete(row) {
    if (!this.completion) return;
    const view = this.view;
    const insert = this.analysis.completionInserts[this.completion.matches[row]] ?? '';
    const { from, to } = wordBeforeCaret(view.state, this.fixed.completion.endChars);
    this.closeCompletion();
    view.dispatch({ changes: { from, to, insert }, selection: { anchor: from + insert.length }, userEvent: 'input.complete' });
  }

  closeCompletion() {
    this.completion = null;
    this.box.hidden = true;
  }

  // ---- parameter hints --------------------------------------------------------------------

  askHint(view, atOnce) {
    this.view = view;
    if (!this.settings.paramsAttached) return atOnce;
    const caret = this.caretOf(view);
    this.send('scpParamsExecute', caret).then((answer) => {
      if (!answer.ok || !answer.result.open) {
        this.closeHint();
        return;
      }
      this.showHint(view, answer.result);
    });
    return true;
  }

  refreshHint(view) {
    clearTimeout(this.hintRefresh);
    this.hintRefresh = setTimeout(() => this.askHint(view, false), 60);
  }

  showHint(view, { items, argument }) {
    this.hint.replaceChildren();
    items.forEach((item, index) => {
      if (index > 0) this.hint.append(', ');
      this.hint.append(index === argument ? make('b', 'scp-argument', item) : item);
    });
    if (items.length === 0) this.hint.append(make('i', 'scp-none', '(no parameters)'));
    this.hintOpen = true;
    this.hint.hidden = false;
    this.place(this.hint, view, view.state.selection.main.head);
  }

  closeHint() {
    clearTimeout(this.hintRefresh);
    this.hintOpen = false;
    this.hint.hidden = true;
  }

  // The editor scrolled: the open pop-ups move with the caret, and close once it is out of sight.
  scrolled(view) {
    if (!this.completion && !this.hintOpen) return;
    const head = view.state.selection.main.head;
    const at = view.coordsAtPos(head);
    const visible = view.scrollDOM.getBoundingClientRect();
    if (!at || at.bottom < visible.top || at.top > visible.bottom) {
      this.closeCompletion();
      this.closeHint();
      return;
    }
    if (this.completion) this.place(this.box, view, this.completion.from);
    if (this.hintOpen) this.place(this.hint, view, head);
  }

  // Below the position, or above it when the window has no room below.
  place(element, view, pos) {
    const at = view.coordsAtPos(pos) ?? view.contentDOM.getBoundingClientRect();
    element.style.left = '0px';
    element.style.top = '0px';
    const box = element.getBoundingClientRect();
    const width = box.width || 300;
    const height = box.height || 100;
    const left = Math.max(4, Math.min(at.left, window.innerWidth - width - 4));
    const below = at.bottom + 2;
    const top = below + height > window.innerHeight - 4 ? Math.max(4, at.top - height - 2) : below;
    element.style.left = `${left}px`;
    element.style.top = `${top}px`;
  }
}
