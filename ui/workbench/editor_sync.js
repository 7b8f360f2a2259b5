// Keeps the page's editor and the server's copy of the document in step.
//
// The server holds the document (its revisions count every change); the page's CodeMirror view
// is a copy the operator types into. Local changes are sent in batches as text edits against
// the revision the page last knew ("base"). The server applies a batch only when the base is
// still its revision; otherwise (another page typed, or a command changed the text meanwhile)
// it refuses, the page first receives the other edits from the stream, rebases its own on top
// of them and sends them again. Edits from the stream that this page made itself (its origin
// id) only confirm the revision.
//
// Positions on the wire are {line, column}, from 1.

import { ChangeSet, EditorSelection, Text, Transaction, Annotation } from '@codemirror/state';

// Marks the transactions that apply the server's edits, so they are not sent back.
export const fromServer = Annotation.define();

const flushDelayMs = 120;
const conflictRetryMs = 40;
const maxConflicts = 25;
const failureRetryMs = 2000;

export function positionOf(doc, { line, column }) {
  const number = Math.min(Math.max(line, 1), doc.lines);
  const row = doc.line(number);
  return row.from + Math.min(Math.max(column, 1) - 1, row.length);
}

export function caretOf(doc, pos) {
  const row = doc.lineAt(pos);
  return { line: row.number, column: pos - row.from + 1 };
}

const textOf = (string) => Text.of(string.split('\n'));

// The server's edits (applied one after another) as one change set over `doc`.
function changeSetOf(doc, edits) {
  let changes = ChangeSet.empty(doc.length);
  let current = doc;
  for (const edit of edits) {
    const from = positionOf(current, edit.from);
    const to = positionOf(current, edit.to);
    const step = ChangeSet.of({ from: Math.min(from, to), to: Math.max(from, to), insert: edit.text }, current.length);
    changes = changes.compose(step);
    current = step.apply(current);
  }
  return changes;
}

// A change set over `doc` as edits to apply one after another: from the last change to the
// first, so that each one's position is still that of the original text.
function editsOf(doc, changes) {
  const edits = [];
  changes.iterChanges((fromA, toA, _fromB, _toB, inserted) => {
    const from = caretOf(doc, fromA);
    edits.push({ from, to: caretOf(doc, toA), text: inserted.toString(), caret: from });
  });
  return edits.reverse();
}

export class EditorSync {
  // `send(name, args)` runs a workbench command and resolves with its answer.
  constructor(send) {
    this.send = send;
    this.origin = `${Date.now().toString(36)}-${Math.random().toString(36).slice(2, 10)}`;
    this.view = null;
    this.known = 0; // the server revision the page has mirrored
    this.knownDoc = Text.empty; // the text at that revision
    this.unconfirmed = []; // local change sets, the first one over knownDoc
    this.batch = null; // the batch sent that awaits its answer: {count, sentDoc, whole}
    this.diverged = false; // the page's text wins at the next send
    this.conflicts = 0;
    this.timer = null;
    this.sentCaret = null;
    this.onServerEdit = () => {};
    // Runs a step in the page's command order (main.js sets it).
    this.queue = (step) => step();
    this.onNewDocument = () => {};
  }

  attach(view) {
    this.view = view;
  }

  // The whole text at a revision (the stream's first state): the page starts again from it.
  reset(revision, text) {
    this.known = revision;
    this.knownDoc = textOf(text);
    this.unconfirmed = [];
    this.batch = null;
    this.diverged = false;
    this.onNewDocument(text, null);
  }

  // A local transaction changed the text.
  localChange(changes) {
    this.unconfirmed.push(changes);
    this.schedule();
  }

  schedule(delay = flushDelayMs) {
    if (this.timer) return;
    this.timer = setTimeout(() => {
      this.timer = null;
      this.queue(() => this.flush());
    }, delay);
  }

  get idle() {
    return this.unconfirmed.length === 0 && !this.diverged;
  }

  caret() {
    return caretOf(this.view.state.doc, this.view.state.selection.main.head);
  }

  // Sends what the server has not got yet: the edits, or else the caret when it moved. Called
  // before every command, so the command sees the text and caret the operator sees.
  async flush() {
    if (this.timer) {
      clearTimeout(this.timer);
      this.timer = null;
    }
    if (this.batch || !this.view) return;
    const caret = this.caret();
    if (this.idle) {
      if (!this.sentCaret || this.sentCaret.line !== caret.line || this.sentCaret.column !== caret.column) {
        this.sentCaret = caret;
        await this.send('SetCaret', caret);
      }
      return;
    }
    let args;
    if (this.diverged || this.conflicts >= maxConflicts) {
      args = { origin: this.origin, text: this.view.state.doc.toString(), caret };
    } else {
      const edits = [];
      let doc = this.knownDoc;
      for (const changes of this.unconfirmed) {
        edits.push(...editsOf(doc, changes));
        doc = changes.apply(doc);
      }
      args = { origin: this.origin, base: this.known, edits, caret };
    }
    this.batch = { count: this.unconfirmed.length, sentDoc: this.view.state.doc, whole: args.text !== undefined };
    this.sentCaret = caret;
    const answer = await this.send('qorpadEdits', args);
    if (!answer.ok) {
      // The server is gone or refused the batch: it is sent again a little later (a server
      // that comes back sends its whole state, which the page then starts from).
      this.batch = null;
      this.schedule(failureRetryMs);
      return;
    }
    const { revision, conflict } = answer.result;
    if (conflict) {
      // The other edits are on their way in the stream; they rebase ours before we retry.
      this.batch = null;
      this.conflicts += 1;
      this.schedule(conflictRetryMs);
      return;
    }
    this.conflicts = 0;
    this.confirm(revision);
    if (!this.idle) this.schedule();
  }

  // The server applied the batch in flight (its answer or its echo in the stream, whichever
  // comes first).
  confirm(revision) {
    if (!this.batch) return;
    const { count, sentDoc, whole } = this.batch;
    this.batch = null;
    if (whole) {
      this.knownDoc = sentDoc;
      this.diverged = false;
    } else {
      for (const changes of this.unconfirmed.slice(0, count)) this.knownDoc = changes.apply(this.knownDoc);
    }
    this.unconfirmed = this.unconfirmed.slice(count);
    this.known = Math.max(this.known, revision);
  }

  // An "editor" event of the stream.
  receive(event) {
    if (event.text !== undefined) {
      this.known = event.revision;
      this.knownDoc = textOf(event.text);
      if (this.unconfirmed.length === 0 && !this.batch) {
        this.onNewDocument(event.text, event.caret);
      } else {
        this.diverged = true;
        this.schedule();
      }
      return;
    }
    if (event.base < this.known) return; // already applied (our own batch, confirmed)
    if (event.base > this.known) {
      // A gap: the page's copy can no longer be trusted to match; its text is sent as a whole.
      this.known = event.revision;
      this.diverged = true;
      this.schedule();
      return;
    }
    if (event.origin === this.origin) {
      this.confirm(event.revision);
      return;
    }
    const newDocument = event.edits.some((edit) => edit.newDocument);
    if (newDocument) {
      // New, Open and the like replace the document: what the page had not sent is dropped.
      const remote = changeSetOf(this.knownDoc, event.edits);
      this.knownDoc = remote.apply(this.knownDoc);
      this.known = event.revision;
      this.unconfirmed = [];
      this.diverged = false;
      this.onNewDocument(this.knownDoc.toString(), event.edits[event.edits.length - 1].caret);
      return;
    }
    let remote = changeSetOf(this.knownDoc, event.edits);
    this.knownDoc = remote.apply(this.knownDoc);
    this.known = event.revision;
    const rebased = [];
    for (const local of this.unconfirmed) {
      rebased.push(local.map(remote));
      remote = remote.map(local, true);
    }
    this.unconfirmed = rebased;
    const update = { changes: remote, annotations: [fromServer.of(true), Transaction.addToHistory.of(true)] };
    // A command's edit (a template, a new procedure) places the caret; another page's does not.
    if (event.origin === '' && rebased.length === 0) {
      const doc = remote.apply(this.view.state.doc);
      update.selection = EditorSelection.cursor(positionOf(doc, event.edits[event.edits.length - 1].caret));
      update.scrollIntoView = true;
    }
    this.view.dispatch(update);
    this.onServerEdit(event);
    if (this.unconfirmed.length > 0) this.schedule();
  }
}
