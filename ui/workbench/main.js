// The workbench page: renders the workbench window's state from the event stream (source
// "workbench") and forwards the operator's actions as commands. Every rule lives in the
// server's model; the page shows it, and does locally only what a desktop editor widget does
// by itself (typing, the pop-ups' filtering, scrolling).

import { redo, selectAll, undo } from '@codemirror/commands';
import { EditorSelection } from '@codemirror/state';
import { keymap } from '@codemirror/view';
import { command } from '../web/shared/operator_api.js';
import { OperatorStream } from '../web/shared/event_stream.js';
import { MessageBoxes } from '../web/shared/message_boxes.js';
import { applyColourSet } from './colours.js';
import { EditorSync, caretOf, positionOf } from './editor_sync.js';
import { Menus } from './menus.js';
import { ModelDialogs } from './model_dialogs.js';
import { OptionsWindow } from './options_window.js';
import { Popups } from './popups.js';
import { createListing, createQorpad, showListing } from './qorpad.js';
import { Layout } from './layout.js';

const $ = (id) => document.getElementById(id);
let state = {};
let started = false; // the first whole state has been shown

// ---- commands, in the order the operator gave them ---------------------------------------

let chain = Promise.resolve();
function queue(step) {
  const run = chain.then(step);
  chain = run.catch(() => {});
  return run;
}
const sync = new EditorSync((name, args) => command('workbench', name, args));
sync.queue = queue;
// Every command first sends what the operator typed, so it sees the text and caret shown.
export function send(name, args = {}) {
  return queue(async () => {
    await sync.flush();
    return command('workbench', name, args);
  });
}

// ---- the editor, the listing and the pop-ups -------------------------------------------------

const popups = new Popups(send, (view) => caretOf(view.state.doc, view.state.selection.main.head));
// The help pointer (context help): a key press with Ctrl held shows it, any other key press and
// every key release the text pointer. `pointerSent` is what this page last told the server, or
// null when the server may have changed it since (a help page opened, another page's keys): the
// server's echo of an older command must not stand for the page's newest key event.
let pointerSent = null;
let pointerCommands = 0; // help-pointer commands of this page not yet answered

function showHelpPointer(on) {
  $('qorpad').classList.toggle('help-pointer', on);
}

function tellHelpPointer(name, args, on) {
  pointerSent = on;
  showHelpPointer(on);
  pointerCommands += 1;
  send(name, args).finally(() => {
    pointerCommands -= 1;
  });
}

function latin1(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return text;
}

const qorpad = createQorpad($('qorpad'), {
  extensions: [
    popups.keymap(),
    keymap.of([
      {
        key: 'Ctrl-j',
        run: () => {
          popups.closeAll();
          send('ExpandTemplate');
          return true;
        },
      },
    ]),
  ],
  onLocalChange: (changes) => sync.localChange(changes),
  onTyped: (char, view) => popups.typed(char, view),
  onEdited: () => popups.edited(),
  onInput: (view, from, to, text) => popups.input(view, from, to, text),
  onCaret: (view) => popups.caretMoved(view),
  onKey(event) {
    if (event.ctrlKey) {
      if (pointerSent !== true) tellHelpPointer('qorpadKeyDown', { ctrl: true }, true);
    } else if (pointerSent !== false) {
      tellHelpPointer('qorpadKeyDown', { ctrl: false }, false);
    }
    return false;
  },
  onKeyUp() {
    if (pointerSent !== false) tellHelpPointer('qorpadKeyUp', {}, false);
    return false;
  },
  onMouseDown(event, view) {
    if (pointerSent !== true) return false;
    const pos = view.posAtCoords({ x: event.clientX, y: event.clientY }, false);
    // A click right of a line's end is no word: the column past the end says so.
    const line = view.state.doc.lineAt(pos);
    const coords = view.coordsAtPos(line.to);
    const caret = caretOf(view.state.doc, pos);
    if (coords && event.clientX > coords.right + 2) caret.column = line.length + 2;
    // A help page found turns the pointer back; the server says which.
    pointerSent = null;
    send('qorpadClick', caret);
    return false;
  },
  async onDropFile(file) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    send('OpenDropped', { name: file.name, text: latin1(bytes) });
  },
  onBlur: () => popups.closeAll(),
});
sync.attach(qorpad);
qorpad.scrollDOM.addEventListener('scroll', () => popups.scrolled(qorpad));
sync.onNewDocument = (text, caret) => {
  qorpad.replaceDocument(text);
  if (caret) {
    qorpad.dispatch({ selection: EditorSelection.cursor(positionOf(qorpad.state.doc, caret)), scrollIntoView: true });
  }
};
$('qorpad').addEventListener('contextmenu', (event) => {
  event.preventDefault();
  menus.showContextMenu(event.clientX, event.clientY);
});

const listing = createListing($('dbgmem'));

function showViews(views) {
  showListing(listing, views.dbgmem, views.markedLine);
  $('errormsg').value = views.errormsg.join('\n');
}

// ---- menus, toolbar and shortcuts -------------------------------------------------------------

async function clipboardWrite(text) {
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    // Without the page's permission the clipboard stays as it was.
  }
}

function selectedText() {
  return qorpad.state.sliceDoc(qorpad.state.selection.main.from, qorpad.state.selection.main.to);
}

// The editor's own commands; false lets the browser's own handling of the key go on.
function editorCommand(name, { viaKey, editorFocused, inField }) {
  if (viaKey && inField) return false;
  switch (name) {
    case 'editor.undo':
      undo(qorpad);
      break;
    case 'editor.redo':
      redo(qorpad);
      break;
    case 'editor.copy':
      if (viaKey && editorFocused) return false;
      clipboardWrite(selectedText());
      break;
    case 'editor.cut':
      clipboardWrite(selectedText());
      qorpad.dispatch(qorpad.state.replaceSelection(''), { userEvent: 'delete.cut' });
      break;
    case 'editor.paste':
      if (viaKey && editorFocused) return false;
      navigator.clipboard
        .readText()
        .then((text) => qorpad.dispatch(qorpad.state.replaceSelection(text), { userEvent: 'input.paste' }))
        .catch(() => {});
      break;
    case 'editor.delete':
      qorpad.dispatch(qorpad.state.replaceSelection(''), { userEvent: 'delete' });
      break;
    case 'editor.selectAll':
      if (viaKey && editorFocused) return false;
      selectAll(qorpad);
      break;
    default:
      return false;
  }
  qorpad.focus();
  return true;
}

function isTextField(element) {
  return element && (element.tagName === 'INPUT' || element.tagName === 'TEXTAREA' || element.tagName === 'SELECT');
}

const menus = new Menus({
  menubar: $('MainMenu1'),
  toolbar: $('ToolBar1'),
  run(name, { viaKey }) {
    if (name === '') return true;
    const editorFocused = qorpad.hasFocus;
    if (name.startsWith('editor.')) {
      // The listing and the text fields keep their own Ctrl+C and Ctrl+A.
      const inField = isTextField(document.activeElement) || Boolean(document.activeElement?.closest('#dbgmem'));
      return editorCommand(name, { viaKey, editorFocused, inField });
    }
    popups.closeAll();
    send('command', { name });
    return true;
  },
});

window.addEventListener(
  'keydown',
  (event) => {
    if (!state.visible || ended || document.querySelector('dialog[open]')) return;
    if (menus.handleKey(event, { editorFocused: qorpad.hasFocus })) {
      event.preventDefault();
      event.stopPropagation();
    }
  },
  true,
);

// ---- pages, panel, pane, browsers ---------------------------------------------------------

const layout = new Layout({ send, qorpad, listing });
const dialogs = new ModelDialogs((id, answer) => send('answerDialog', { id, ...answer }));
const options = new OptionsWindow(send);

let ended = false; // the server has ended: the page says so and offers nothing else

// A hidden window says so and offers nothing else: its dialogs wait until it is shown again.
function showWindow() {
  $('window').hidden = !state.visible || ended;
  $('hiddenNotice').hidden = state.visible !== false || ended;
  $('ended').hidden = !ended;
  if (state.visible) layout.refresh();
  else popups.closeAll();
  if ('dialog' in state) dialogs.show(state.visible ? state.dialog : null);
  if ('options' in state) options.update({ ...state.options, visible: state.visible && state.options.visible });
}

function setText(id, text) {
  if ($(id).textContent !== text) $(id).textContent = text;
}

const renderers = {
  visible: showWindow,
  title: (text) => {
    document.title = text;
    setText('caption', text);
  },
  activePage: (page) => layout.showPage(page),
  editMenuVisible: () => menus.update(state),
  codeMenuVisible: () => menus.update(state),
  minipanelTicked: () => menus.update(state),
  browserTicked: () => menus.update(state),
  panelVisible: (visible) => layout.showPanel(visible),
  paneHeight: (height) => layout.setPaneHeight(height),
  thisserveraddress: (text) => {
    if (document.activeElement !== $('thisserveraddress')) $('thisserveraddress').value = text;
    // The narrow panel cuts the address off; its tooltip shows it whole.
    $('thisserveraddress').title = text;
  },
  link_type: (item) => {
    $('link_type').value = String(item);
  },
  dialog: (request) => dialogs.show(state.visible ? request : null),
  browserqor: (browser) => layout.navigate('browserqor', browser),
  webbrowser: (browser) => layout.navigate('webbrowser', browser),
  editorFocusRequests: () => {
    if (!started) return;
    const caret = state.caret;
    const pos = positionOf(qorpad.state.doc, caret);
    layout.showPage(state.activePage);
    qorpad.dispatch({ selection: EditorSelection.cursor(pos) });
    layout.scrollLineToTop(state.editorTopLine);
    qorpad.focus();
  },
  clipboard: (text) => {
    if (started && text) clipboardWrite(text);
  },
  listprocHint: (text) => {
    $('listproc').title = text;
  },
  listprocSelected: (entry) => layout.selectListproc(entry),
  completionAttached: () => popups.setSettings(state),
  paramsAttached: () => popups.setSettings(state),
  popupDelayMs: () => popups.setSettings(state),
  helpPointer: (on) => {
    if (pointerCommands > 0) return; // this page's newer key event is on its way
    showHelpPointer(on);
    if (on !== pointerSent) pointerSent = null;
  },
  colours: (colours) => applyColourSet(document.documentElement, colours),
  listingBackground: (css) => document.documentElement.style.setProperty('--listing-back', css ?? '#000000'),
  StatusBar1: (text) => setText('statusText', text),
  broughtToFront: () => {
    if (started) window.focus();
  },
  options: (value) => options.update({ ...value, visible: state.visible && value.visible }),
};

function apply(fields) {
  Object.assign(state, fields);
  for (const [name, value] of Object.entries(fields)) renderers[name]?.(value);
}

function setFixed(fixed) {
  menus.build(fixed);
  menus.update(state);
  layout.setFixed(fixed);
  popups.setFixed(fixed);
  options.setFixed(fixed);
}

// A failed compile gives the window the focus; the page says when the operator takes it away.
// (Focus moving into one of the page's own browsers stays in the window.)
window.addEventListener('blur', () => {
  setTimeout(() => {
    if (!state.focused || document.hasFocus() || document.activeElement?.tagName === 'IFRAME') return;
    send('FormDeactivate');
  }, 0);
});

// ---- the stream -----------------------------------------------------------------------------

const messageBoxes = new MessageBoxes();
const stream = new OperatorStream(['workbench', 'messages'], {
  workbench: {
    full(whole) {
      started = false;
      state = {};
      setFixed(whole.fixed);
      sync.reset(whole.editor.revision, whole.editor.text);
      layout.setListproc(whole.analysis.listproc);
      popups.setAnalysis(whole.analysis);
      showViews(whole.views);
      const { fixed: _f, editor: _e, analysis: _a, views: _v, ...fields } = whole;
      apply(fields);
      started = true;
      $('connecting').hidden = true;
    },
    fields: apply,
    event(event) {
      if (event.type === 'editor') sync.receive(event);
      if (event.type === 'analysis') {
        layout.setListproc(event.listproc);
        layout.selectListproc(state.listprocSelected);
        popups.setAnalysis(event);
      }
      if (event.type === 'views') showViews(event);
    },
  },
  messages: messageBoxes.handler(),
});
const streamTexts = {
  open: '',
  reconnecting: 'Reconnecting to the server\u2026',
  behind: 'Caught up with the server',
  closed: 'The server has ended',
  refused: 'This page belongs to an earlier run of the server',
};
stream.onstatus = (status) => {
  setText('streamStatus', streamTexts[status] ?? '');
  // A page of an earlier run has ended with that run.
  if (status === 'closed' || status === 'refused') {
    ended = true;
    popups.closeAll();
    dialogs.show(null);
    if (state.options) options.update({ ...state.options, visible: false });
    showWindow();
  }
};
stream.start();
