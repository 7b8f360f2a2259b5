// The console page: renders the console window's state from the event stream and forwards the
// operator's clicks as commands. Every rule lives in the server's model; this file only shows
// and asks.

import { command, token } from './shared/operator_api.js';
import { OperatorStream } from './shared/event_stream.js';
import { LogView } from './shared/log_view.js';
import { PageDialog, fileDialog, setCaption } from './shared/dialogs.js';
import { MessageBoxes } from './shared/message_boxes.js';

const $ = (id) => document.getElementById(id);
const views = { Memo1: new LogView($('Memo1')), syslog: new LogView($('syslog')) };
let state = {};

const consoleCommand = (name, args) => command('console', name, args);

// ---- labels, switches, window frame -------------------------------------------------------

function setText(id, text) {
  const element = $(id);
  if (element.textContent !== text) element.textContent = text;
}

function showWindow() {
  const minimized = state.minimized === true;
  $('window').hidden = minimized || state.ended === true;
  $('tray').hidden = !minimized || state.ended === true;
  $('ended').hidden = state.ended !== true;
}

// An input the operator is typing in keeps what they typed.
function setInput(id, text) {
  const input = $(id);
  if (document.activeElement !== input && input.value !== text) input.value = text;
}

const fieldRenderers = {
  title: (text) => {
    document.title = text;
  },
  Label1: (text) => setText('Label1', text),
  Label2: (text) => setText('Label2', text),
  Label12: (text) => setText('Label12', text),
  lbl_sqlhandles: (text) => setText('lbl_sqlhandles', text),
  StatusBar1: (text) => setText('statusText', text),
  trayHint: (text) => {
    // The hint's two lines, as the tray icon's tool tip shows them.
    setText('trayHint', text.trim().split(/\r?\n/).join('  \u00b7  ') || 'qorsv');
    $('tray').title = `${text}Click to restore the console`;
  },
  showlog: (on) => {
    $('showlog').checked = on;
  },
  cbActive: (on) => {
    $('cbActive').checked = on;
  },
  workbenchVisible: (on) => {
    $('Button2').setAttribute('aria-pressed', String(on));
  },
  visible: showWindow,
  minimized: showWindow,
  ended: showWindow,
  Memo1: (lines) => views.Memo1.replace(lines),
  syslog: (lines) => views.syslog.replace(lines),
  Hostrootdir: renderHostList,
  HostrootdirSelected: renderSelection,
  hostinfo: (visible) => {
    $('hostinfo').hidden = !visible;
    // The group takes room from the list: the line being edited stays in sight.
    $('Hostrootdir').querySelector('.selected')?.scrollIntoView({ block: 'nearest' });
  },
  Hname: (text) => setInput('Hname', text),
  Hrootdir: (text) => setInput('Hrootdir', text),
  deleteQuestion: showDeleteQuestion,
  tip: showTip,
};

function apply(fields) {
  Object.assign(state, fields);
  for (const [name, value] of Object.entries(fields)) fieldRenderers[name]?.(value);
}

// ---- host list and editor -----------------------------------------------------------------

function renderHostList(lines) {
  const list = $('Hostrootdir');
  list.replaceChildren(
    ...lines.map((text, index) => {
      const item = document.createElement('div');
      item.className = 'list-item';
      item.setAttribute('role', 'option');
      item.dataset.line = String(index);
      item.textContent = text;
      return item;
    }),
  );
  renderSelection(state.HostrootdirSelected);
}

function renderSelection(selected) {
  for (const item of $('Hostrootdir').children) {
    const chosen = Number(item.dataset.line) === selected;
    item.classList.toggle('selected', chosen);
    item.setAttribute('aria-selected', String(chosen));
    if (chosen) item.scrollIntoView({ block: 'nearest' });
  }
}

function lineOf(event) {
  const item = event.target.closest('.list-item');
  return item ? Number(item.dataset.line) : null;
}

function selectLine(line) {
  state.HostrootdirSelected = line;
  renderSelection(line);
  return consoleCommand('HostrootdirClick', { line });
}

$('Hostrootdir').addEventListener('click', (event) => {
  const line = lineOf(event);
  if (line !== null) selectLine(line);
});
$('Hostrootdir').addEventListener('dblclick', (event) => {
  const line = lineOf(event);
  if (line !== null) consoleCommand('HostrootdirDblClick', { line });
});
$('Hostrootdir').addEventListener('keydown', (event) => {
  const count = $('Hostrootdir').childElementCount;
  const selected = state.HostrootdirSelected;
  if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
    event.preventDefault();
    if (count === 0) return;
    const step = event.key === 'ArrowDown' ? 1 : -1;
    const next = selected === null || selected === undefined ? 0 : selected + step;
    selectLine(Math.max(0, Math.min(count - 1, next)));
  } else if (event.key === 'Enter' && selected !== null) {
    consoleCommand('HostrootdirDblClick', { line: selected });
  } else if (event.key === 'Delete') {
    consoleCommand('SpeedButton3Click');
  }
});

const typed = () => ({ Hname: $('Hname').value, Hrootdir: $('Hrootdir').value });
$('Hname').addEventListener('change', () => consoleCommand('HnameChange', { Hname: $('Hname').value }));
$('Hrootdir').addEventListener('change', () =>
  consoleCommand('HrootdirChange', { Hrootdir: $('Hrootdir').value }),
);
for (const id of ['Hname', 'Hrootdir']) {
  $(id).addEventListener('keydown', (event) => {
    if (event.key === 'Enter') consoleCommand('SpeedButton1Click', typed());
    if (event.key === 'Escape') consoleCommand('SpeedButton2Click');
  });
}
$('SpeedButton1').addEventListener('click', () => consoleCommand('SpeedButton1Click', typed()));
$('SpeedButton2').addEventListener('click', () => consoleCommand('SpeedButton2Click'));
$('SpeedButton3').addEventListener('click', () => consoleCommand('SpeedButton3Click'));
$('SpeedButton4').addEventListener('click', () => consoleCommand('SpeedButton4Click'));
for (const id of ['readhosts', 'savehosts', 'showhosts']) {
  $(id).addEventListener('click', () => consoleCommand(`${id}Click`));
}

$('Button4').addEventListener('click', async () => {
  const dialog = state.rootDialog ?? {};
  const file = await fileDialog({
    title: 'Open',
    filter: dialog.filter,
    fileName: dialog.fileName,
    startDir: dialog.startDir,
    mustExist: dialog.mustExist,
  });
  if (file !== null) consoleCommand('Button4Chosen', { file, Hname: $('Hname').value });
});

// The delete question is the model's: every page shows it, and the first answer closes it on
// all of them.
let deleteDialog = null;
let deleteText = null;
async function showDeleteQuestion(question) {
  if (!question) {
    deleteDialog?.close(null);
    deleteDialog = null;
    deleteText = null;
    return;
  }
  if (deleteDialog && deleteText === question.text) return;
  deleteDialog?.close(null);
  const dialog = new PageDialog({
    title: question.title,
    id: 'deleteQuestion',
    className: 'message-box confirm-box',
    buttons: [
      { caption: 'OK', value: true, isDefault: true },
      { caption: 'Cancel', value: false, cancel: true },
    ],
  });
  const text = document.createElement('div');
  text.className = 'message-text';
  text.textContent = question.text;
  dialog.body.append(text);
  deleteDialog = dialog;
  deleteText = question.text;
  const ok = await dialog.open();
  if (deleteDialog === dialog) {
    deleteDialog = null;
    deleteText = null;
  }
  if (ok !== null) consoleCommand('deleteAnswer', { ok });
}

// ---- tips ---------------------------------------------------------------------------------

let tipDialog = null;
function makeTipDialog(tip) {
  const dialog = new PageDialog({
    title: tip.title,
    id: 'tip',
    className: 'tips',
    buttons: [
      { caption: '&Next Tip', value: 'next', id: 'tipNext' },
      { caption: '&Close', value: 'close', id: 'tipClose', isDefault: true, cancel: true },
    ],
  });
  const header = document.createElement('div');
  header.className = 'tip-header';
  header.textContent = tip.header;
  const text = document.createElement('div');
  text.className = 'tip-text';
  text.id = 'tipText';
  const check = document.createElement('label');
  check.className = 'check tip-check';
  const box = document.createElement('input');
  box.type = 'checkbox';
  box.id = 'tipShowOnStartup';
  const caption = document.createElement('span');
  check.dataset.accelerator = setCaption(caption, '&Show Tips on Startup');
  check.append(box, caption);
  dialog.body.append(header, text, check);
  dialog.buttonRow.prepend(check);
  box.addEventListener('click', (event) => {
    event.preventDefault();
    consoleCommand('tipShowOnStartupClick', { checked: !state.tip.showOnStartup });
  });
  // The dialog stays until the model says it closed; the buttons only ask.
  dialog.onpress = (value) => {
    consoleCommand(value === 'next' ? 'tipNextClick' : 'tipCloseClick');
    return false;
  };
  return dialog;
}

function showTip(tip) {
  if (!tip.visible) {
    tipDialog?.close();
    tipDialog = null;
    return;
  }
  if (!tipDialog) {
    tipDialog = makeTipDialog(tip);
    tipDialog.open();
  }
  $('tipText').textContent = tip.text;
  $('tipShowOnStartup').checked = tip.showOnStartup;
}

// ---- buttons ------------------------------------------------------------------------------

const clicks = {
  Button1: 'Button1Click',
  Button2: 'Button2Click',
  Button3: 'Button3Click',
  Button5: 'Button5Click',
  closeorphansqlhandles: 'closeorphansqlhandlesClick',
  SpeedButton5: 'SpeedButton5Click',
  minimize: 'minimizeClick',
  close: 'closeClick',
};
for (const [id, name] of Object.entries(clicks)) {
  $(id).addEventListener('click', () => consoleCommand(name));
}
// Check boxes show the model's state: a click asks for the change, and the state that comes
// back ticks the box.
$('showlog').addEventListener('click', (event) => {
  event.preventDefault();
  consoleCommand('showlogClick', { checked: !state.showlog });
});
$('cbActive').addEventListener('click', (event) => {
  event.preventDefault();
  consoleCommand('cbActiveClick');
});
$('tray').addEventListener('click', () => consoleCommand('trayClick'));
$('tray').addEventListener('keydown', (event) => {
  if (event.key === 'Enter' || event.key === ' ') consoleCommand('trayClick');
});

// ---- a failed compile: the workbench came forward --------------------------------------------

let compileFailures = null;
let compileStatus = '';
function workbenchNotice(fields) {
  if (fields.StatusBar1 !== undefined) compileStatus = fields.StatusBar1;
  const count = fields.broughtToFront;
  if (count === undefined) return;
  const seen = compileFailures;
  compileFailures = count;
  if (seen === null || count <= seen) return;
  const status = compileStatus ? `: ${compileStatus}` : '.';
  $('workbenchNoticeText').textContent = `A script failed to compile; the workbench shows it${status}`;
  $('workbenchNoticeText').title = $('workbenchNoticeText').textContent;
  $('workbenchNotice').hidden = false;
}
$('workbenchNoticeLink').href = `/workbench?${new URLSearchParams({ token })}`;
$('workbenchNoticeClose').addEventListener('click', () => {
  $('workbenchNotice').hidden = true;
});

// ---- the stream ---------------------------------------------------------------------------

const messageBoxes = new MessageBoxes();
const stream = new OperatorStream(['console', 'messages', 'workbenchNotice'], {
  console: {
    full(fields) {
      state = {};
      apply(fields);
      $('connecting').hidden = true;
    },
    fields: apply,
    event(event) {
      const view = views[event.view];
      if (!view) return;
      if (event.type === 'append') view.append(event.lines);
      if (event.type === 'view') view.replace(event.lines);
    },
  },
  messages: messageBoxes.handler(),
  workbenchNotice: {
    // The whole state only says how many came before; the page shows the ones that follow.
    full: (fields) => {
      compileFailures = fields.broughtToFront;
      compileStatus = fields.StatusBar1;
    },
    fields: workbenchNotice,
  },
});
const streamTexts = {
  open: '',
  reconnecting: 'Reconnecting to the server\u2026',
  behind: 'Caught up with the server',
  closed: 'The server has ended',
};
stream.onstatus = (status) => {
  setText('streamStatus', streamTexts[status] ?? '');
  if (status === 'refused') {
    setText('endedTitle', 'This page belongs to an earlier run of the server.');
    setText('endedText', 'Open the address the server printed when it started.');
    state.ended = true;
    showWindow();
    $('connecting').hidden = true;
  }
};
stream.start();
