// The page's editor copy against the server's document: pages typing at once, the server's own
// edits arriving while a page has typing not yet sent, and whole-text replacements. The server
// here keeps the document as the workbench model does: numbered revisions, a batch applied only
// on its base revision, and every edit echoed to every page with the origin that made it.

import assert from 'node:assert/strict';
import { describe, it } from 'node:test';

import { EditorSelection, EditorState } from '@codemirror/state';
import { EditorSync, positionOf } from '../editor_sync.js';

class FakeServer {
  constructor(text) {
    this.state = EditorState.create({ doc: text });
    this.revision = 0;
    this.pages = [];
  }

  apply(edits, origin) {
    const base = this.revision;
    for (const edit of edits) {
      const doc = this.state.doc;
      const from = positionOf(doc, edit.from);
      const to = positionOf(doc, edit.to);
      this.state = this.state.update({ changes: { from, to, insert: edit.text } }).state;
      this.revision += 1;
    }
    for (const page of this.pages) page.inbox.push({ type: 'editor', base, revision: this.revision, origin, edits });
  }

  command(name, args) {
    if (name !== 'qorpadEdits') return { ok: true, result: null };
    if (args.text !== undefined) {
      const whole = { from: { line: 1, column: 1 }, to: { line: 1e9, column: 1e9 }, text: args.text };
      this.apply([whole], args.origin);
      return { ok: true, result: { revision: this.revision, conflict: false } };
    }
    if (args.base !== this.revision) return { ok: true, result: { revision: this.revision, conflict: true } };
    this.apply(args.edits, args.origin);
    return { ok: true, result: { revision: this.revision, conflict: false } };
  }

  get text() {
    return this.state.doc.toString();
  }
}

// A page: an editor state standing for the view, its sync, and the stream events not yet
// delivered to it.
class FakePage {
  constructor(server) {
    this.server = server;
    this.inbox = [];
    this.view = {
      state: EditorState.create({ doc: '' }),
      dispatch: (update) => {
        this.view.state = this.view.state.update(update).state;
      },
    };
    this.sync = new EditorSync(async (name, args) => server.command(name, args));
    this.sync.queue = () => {}; // the test flushes by hand
    this.sync.onNewDocument = (text) => {
      this.view.state = EditorState.create({ doc: text });
    };
    this.sync.attach(this.view);
    server.pages.push(this);
    this.sync.reset(server.revision, server.text);
  }

  type(at, text) {
    const tr = this.view.state.update({ changes: { from: at, insert: text }, selection: EditorSelection.cursor(at + text.length) });
    this.view.state = tr.state;
    this.sync.localChange(tr.changes);
  }

  deliver() {
    while (this.inbox.length) this.sync.receive(this.inbox.shift());
  }

  get text() {
    return this.view.state.doc.toString();
  }
}

async function settle(server, ...pages) {
  for (let round = 0; round < 10; round += 1) {
    for (const page of pages) page.deliver();
    for (const page of pages) await page.sync.flush();
  }
  for (const page of pages) page.deliver();
  for (const page of pages) assert.equal(page.text, server.text);
}

describe('the editor copy of a page', () => {
  it('keeps what two pages type at the same time', async () => {
    const server = new FakeServer('begin\nend.');
    const a = new FakePage(server);
    const b = new FakePage(server);
    a.type(5, '\n  one;');
    b.type(0, '{ top }\n');
    b.type(b.text.length, '\n// tail');
    await a.sync.flush();
    await b.sync.flush(); // refused: a's edit came first
    assert.equal(server.text, 'begin\n  one;\nend.');
    await settle(server, a, b);
    assert.equal(server.text, '{ top }\nbegin\n  one;\nend.\n// tail');
  });

  it('rebases typing not yet sent over an edit the server made itself', async () => {
    const server = new FakeServer('line one\nline two');
    const page = new FakePage(server);
    page.type(8, ' and more');
    // A template expansion (no origin) at the start of line 2, before the page's batch.
    server.apply([{ from: { line: 2, column: 1 }, to: { line: 2, column: 1 }, text: 'for i := 1 to  do\n' }], '');
    page.deliver();
    assert.equal(page.text, 'line one and more\nfor i := 1 to  do\nline two');
    await settle(server, page);
  });

  it('takes a whole text from the server unless it has typing of its own', async () => {
    const server = new FakeServer('a');
    const page = new FakePage(server);
    page.sync.receive({ type: 'editor', revision: 7, text: 'replaced' });
    assert.equal(page.text, 'replaced');
    server.state = EditorState.create({ doc: 'replaced' });
    server.revision = 7;
    page.type(0, 'my ');
    page.sync.receive({ type: 'editor', revision: 8, text: 'theirs' });
    server.state = EditorState.create({ doc: 'theirs' });
    server.revision = 8;
    // The page's copy went its own way: it sends its whole text, which wins.
    await page.sync.flush();
    assert.equal(server.text, 'my replaced');
    await settle(server, page);
  });
});
