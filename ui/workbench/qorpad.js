// The script editor `qorpad` and the read-only listing `dbgmem`: CodeMirror views with the
// Pascal colouring, line numbers with leading zeros in the dark grey gutter, the margin line at
// column 120, and for the editor automatic indent, tabs entered as spaces (smart tabs), trailing
// blanks trimmed from a line the caret leaves, grouped undo and files dropped onto it.

import { defaultKeymap, history, historyKeymap, indentLess, indentMore } from '@codemirror/commands';
import { EditorSelection, EditorState, StateEffect, StateField } from '@codemirror/state';
import {
  Decoration,
  EditorView,
  drawSelection,
  highlightSpecialChars,
  keymap,
  lineNumbers,
} from '@codemirror/view';
import { fromServer } from './editor_sync.js';
import { pascalHighlighting } from './pascal_mode.js';

export const tabWidth = 8;

// "0001": at least four digits, as many as the last line needs.
const zeroPadded = lineNumbers({
  formatNumber: (number, state) => String(number).padStart(Math.max(4, String(state.doc.lines).length), '0'),
});

// Enter: a new line indented like the one it breaks; the blanks left at the end of that line go.
function newlineKeepIndent(view) {
  if (view.state.readOnly) return false;
  const { state } = view;
  const transaction = state.changeByRange((range) => {
    const line = state.doc.lineAt(range.from);
    const before = state.doc.sliceString(line.from, range.from);
    const indent = /^[ \t]*/.exec(line.text)[0].slice(0, before.length);
    const from = line.from + before.replace(/[ \t]+$/, '').length;
    const insert = `\n${indent}`;
    return { changes: { from, to: range.to, insert }, range: EditorSelection.cursor(from + insert.length) };
  });
  view.dispatch(state.update(transaction, { scrollIntoView: true, userEvent: 'input' }));
  return true;
}

// Tab: blanks up to the next word start of the line above, or else to the next tab stop.
function smartTab(view) {
  if (view.state.readOnly) return false;
  const { state } = view;
  if (!state.selection.ranges.every((range) => range.empty)) return indentMore(view);
  const transaction = state.changeByRange((range) => {
    const line = state.doc.lineAt(range.head);
    const column = range.head - line.from;
    let target = (Math.floor(column / tabWidth) + 1) * tabWidth;
    for (let number = line.number - 1; number >= 1; number -= 1) {
      const above = state.doc.line(number).text;
      if (above.trim() === '') continue;
      const match = /(?<= )[^ ]/.exec(above.slice(column));
      if (match) target = column + match.index;
      break;
    }
    const insert = ' '.repeat(target - column);
    return { changes: { from: range.head, insert }, range: EditorSelection.cursor(range.head + insert.length) };
  });
  view.dispatch(state.update(transaction, { scrollIntoView: true, userEvent: 'input' }));
  return true;
}

// When the caret moves to another line, the blanks at the end of the line it left are removed.
const trimLeftLine = EditorState.transactionFilter.of((tr) => {
  if (tr.annotation(fromServer) || !tr.selection || tr.startState.readOnly) return tr;
  const start = tr.startState;
  const left = start.doc.lineAt(start.selection.main.head);
  const trailing = /[ \t]+$/.exec(left.text);
  if (!trailing) return tr;
  let touched = false;
  tr.changes.iterChangedRanges((fromA, toA) => {
    if (fromA <= left.to && toA >= left.from) touched = true;
  });
  if (touched) return tr;
  const from = tr.changes.mapPos(left.from + trailing.index);
  const to = tr.changes.mapPos(left.to);
  if (tr.newDoc.lineAt(tr.newSelection.main.head).number === tr.newDoc.lineAt(from).number) return tr;
  return [tr, { changes: { from, to }, sequential: true }];
});

// The document is 8-bit text: a character beyond Latin-1 (a typed or pasted euro sign, curly
// quotes, a dash) is kept by the server as "?", so the editor shows that "?" at once instead of
// a character that the saved file will not hold.
const beyondLatin1 = /[^\u0000-\u00ff]/gu;
const latin1Only = EditorState.transactionFilter.of((tr) => {
  if (!tr.docChanged || tr.annotation(fromServer)) return tr;
  const changes = [];
  tr.changes.iterChanges((_fromA, _toA, fromB, _toB, inserted) => {
    const text = inserted.toString();
    for (const match of text.matchAll(beyondLatin1)) {
      const from = fromB + match.index;
      changes.push({ from, to: from + match[0].length, insert: '?' });
    }
  });
  if (changes.length === 0) return tr;
  return [tr, { changes, sequential: true }];
});

// The look both views share; the colours come from CSS variables (workbench.css).
const baseTheme = EditorView.theme({
  '&': { height: '100%' },
  '.cm-scroller': { fontFamily: 'var(--mono)', lineHeight: 'calc(1.3em + 2px)' },
  '.cm-gutters': { backgroundColor: 'var(--gutter)', color: '#b8b8b8', border: 'none' },
  '.cm-lineNumbers .cm-gutterElement': { padding: '0 8px 0 10px' },
});

// The green line at column 120, drawn behind the text.
const rightMargin = EditorView.theme({
  '.cm-content': {
    backgroundImage:
      'linear-gradient(to right, transparent calc(6px + 120ch), var(--right-margin) calc(6px + 120ch), var(--right-margin) calc(7px + 120ch), transparent calc(7px + 120ch))',
  },
});

// ---- the editor ---------------------------------------------------------------------------

// `handlers`: extensions (more key bindings), onLocalChange(changes), onTyped(text, view),
// onEdited(view) (any other change of the operator's), onInput(view, from, to, text) (true when
// handled), onCaret(view), onDropFile(file),
// onKey(event, view), onKeyUp(event, view), onMouseDown(event, view), onBlur().
export function createQorpad(parent, handlers) {
  const listener = EditorView.updateListener.of((update) => {
    for (const tr of update.transactions) {
      if (!tr.docChanged || tr.annotation(fromServer)) continue;
      handlers.onLocalChange(tr.changes);
      if (tr.isUserEvent('input.type')) {
        tr.changes.iterChanges((_fa, _ta, _fb, _tb, inserted) => {
          if (inserted.length === 1) handlers.onTyped(inserted.toString(), update.view);
        });
      } else {
        handlers.onEdited?.(update.view);
      }
    }
    if (update.selectionSet || update.docChanged) handlers.onCaret?.(update.view);
  });
  const extensions = [
    ...(handlers.extensions ?? []),
    zeroPadded,
    highlightSpecialChars(),
    history(),
    drawSelection(),
    EditorState.tabSize.of(tabWidth),
    EditorView.clickAddsSelectionRange.of((event) => event.altKey),
    pascalHighlighting,
    trimLeftLine,
    latin1Only,
    keymap.of([
      { key: 'Enter', run: newlineKeepIndent },
      { key: 'Tab', run: smartTab, shift: indentLess },
      ...historyKeymap,
      ...defaultKeymap,
    ]),
    EditorView.inputHandler.of((view, from, to, text) => handlers.onInput(view, from, to, text)),
    EditorView.domEventHandlers({
      drop(event) {
        const file = event.dataTransfer?.files?.[0];
        if (!file) return false;
        event.preventDefault();
        handlers.onDropFile(file);
        return true;
      },
      dragover(event) {
        if (event.dataTransfer?.types?.includes('Files')) event.preventDefault();
        return false;
      },
      keydown: (event, view) => handlers.onKey(event, view),
      keyup: (event, view) => handlers.onKeyUp(event, view),
      mousedown: (event, view) => handlers.onMouseDown(event, view),
      blur: (event, view) => handlers.onBlur?.(event, view),
    }),
    baseTheme,
    rightMargin,
    listener,
  ];
  const makeState = (text) => EditorState.create({ doc: text, extensions });
  const view = new EditorView({ state: makeState(''), parent });
  view.contentDOM.setAttribute('aria-label', 'qorpad');
  // A new document (New, Open, the first state) also forgets the undo history.
  view.replaceDocument = (text) => view.setState(makeState(text));
  return view;
}

// ---- the listing --------------------------------------------------------------------------

const setMarkedLine = StateEffect.define();
const markedLine = StateField.define({
  create: () => Decoration.none,
  update(marks, tr) {
    for (const effect of tr.effects) {
      if (!effect.is(setMarkedLine)) continue;
      const number = effect.value;
      if (number < 1 || number > tr.state.doc.lines) return Decoration.none;
      const line = tr.state.doc.line(number);
      return Decoration.set([
        Decoration.line({ class: 'cm-markedLine' }).range(line.from),
        ...(line.length > 0 ? [Decoration.mark({ class: 'cm-markedText' }).range(line.from, line.to)] : []),
      ]);
    }
    return tr.docChanged ? Decoration.none : marks;
  },
  provide: (field) => EditorView.decorations.from(field),
});

export function createListing(parent) {
  const view = new EditorView({
    parent,
    state: EditorState.create({
      doc: 'dbgmem',
      extensions: [
        zeroPadded,
        EditorState.readOnly.of(true),
        EditorView.editable.of(false),
        // The listing takes the focus, so that Ctrl+A and Ctrl+C select and copy its own text
        // (all of it, not only the lines on screen) and the keys move through it.
        EditorView.contentAttributes.of({ tabindex: '0' }),
        keymap.of(defaultKeymap),
        EditorState.tabSize.of(tabWidth),
        drawSelection(),
        pascalHighlighting,
        markedLine,
        baseTheme,
        rightMargin,
      ],
    }),
  });
  view.contentDOM.setAttribute('aria-label', 'dbgmem');
  return view;
}

// The listing's lines and marked line (0: none), the marked line brought into view.
export function showListing(view, lines, marked) {
  const text = lines.join('\n');
  const effects = [setMarkedLine.of(marked)];
  const update = { effects };
  if (view.state.doc.toString() !== text) update.changes = { from: 0, to: view.state.doc.length, insert: text };
  view.dispatch(update);
  if (marked >= 1 && marked <= view.state.doc.lines) {
    const line = view.state.doc.line(marked);
    view.dispatch({
      selection: EditorSelection.cursor(line.from),
      effects: EditorView.scrollIntoView(line.from, { y: 'center' }),
    });
  }
}
