// Page dialogs of the operator UI: message boxes, OK/Cancel questions, one-line input and the
// file dialog that browses the server's own file system. All are modal <dialog> elements: the
// page and its event stream go on while one is open (alert, confirm and prompt would stop both).
//
// Captions may carry an accelerator mark, as the system writes them: "&Next Tip" shows as
// "Next Tip" with the N underlined, and Alt+N presses it.

import { query } from './operator_api.js';

// Fills an element with a caption, its "&" mark shown as an underlined letter; returns the
// accelerator letter (lower case) or ''.
export function setCaption(element, caption) {
  element.textContent = '';
  const mark = caption.search(/&[^&]/);
  const text = caption.replace(/&&/g, '&');
  if (mark < 0) {
    element.textContent = text;
    return '';
  }
  const plain = caption.slice(0, mark) + caption.slice(mark + 1);
  element.append(plain.slice(0, mark));
  const letter = document.createElement('u');
  letter.textContent = plain[mark];
  element.append(letter, plain.slice(mark + 1));
  return plain[mark].toLowerCase();
}

function makeElement(tag, className, text) {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (text !== undefined) element.textContent = text;
  return element;
}

// One modal dialog: a title, a body and a row of buttons. open() shows it and resolves with the
// value of the button pressed (or of the cancel button on Escape); close(value) ends it from
// outside, for instance when another page answered the same question.
export class PageDialog {
  constructor({ title = '', id = '', className = '', buttons = [{ caption: 'OK', value: 'ok' }] }) {
    this.element = makeElement('dialog', `page-dialog ${className}`.trim());
    if (id) this.element.id = id;
    this.element.setAttribute('aria-label', title);
    this.titleBar = makeElement('div', 'page-dialog-title', title);
    this.body = makeElement('div', 'page-dialog-body');
    this.buttonRow = makeElement('div', 'page-dialog-buttons');
    this.buttons = {};
    this.cancelValue = buttons.find((b) => b.cancel)?.value ?? buttons[buttons.length - 1]?.value;
    for (const button of buttons) this.addButton(button);
    this.element.append(this.titleBar, this.body, this.buttonRow);
    this.element.addEventListener('cancel', (event) => {
      event.preventDefault();
      this.press(this.cancelValue);
    });
    this.element.addEventListener('keydown', (event) => this.accelerator(event));
    this.resolve = null;
    // Called before the dialog ends through a button; returning false keeps it open.
    this.onpress = null;
  }

  addButton({ caption, value, id, isDefault }) {
    const button = makeElement('button', 'page-dialog-button');
    button.type = 'button';
    if (id) button.id = id;
    const key = setCaption(button, caption);
    if (key) button.dataset.accelerator = key;
    if (isDefault) button.classList.add('default');
    button.addEventListener('click', () => this.press(value));
    this.buttons[value] = button;
    this.buttonRow.append(button);
    return button;
  }

  accelerator(event) {
    if (!event.altKey || event.ctrlKey) return;
    const target = this.element.querySelector(`[data-accelerator="${event.key.toLowerCase()}"]`);
    if (target) {
      event.preventDefault();
      target.click();
    }
  }

  open() {
    if (!this.element.isConnected) document.body.append(this.element);
    if (!this.element.open) this.element.showModal();
    const first = this.element.querySelector('.default') ?? this.buttonRow.querySelector('button');
    first?.focus();
    return new Promise((resolve) => {
      this.resolve = resolve;
    });
  }

  async press(value) {
    if (this.onpress && (await this.onpress(value)) === false) return;
    this.close(value);
  }

  close(value) {
    if (this.element.open) this.element.close();
    this.element.remove();
    const resolve = this.resolve;
    this.resolve = null;
    resolve?.(value);
  }

  get isOpen() {
    return this.element.open;
  }
}

// A message box with the text and an OK button (or the given buttons).
export function messageBox(text, { title = 'TorvaneServer!', buttons } = {}) {
  const dialog = new PageDialog({ title, className: 'message-box', buttons });
  dialog.body.append(makeElement('div', 'message-text', text));
  return { dialog, answer: dialog.open() };
}

// OK and Cancel; resolves true for OK.
export async function confirmBox(text, title = '') {
  const dialog = new PageDialog({
    title,
    className: 'message-box confirm-box',
    buttons: [
      { caption: 'OK', value: true, isDefault: true },
      { caption: 'Cancel', value: false, cancel: true },
    ],
  });
  dialog.body.append(makeElement('div', 'message-text', text));
  return dialog.open();
}

// One line of input; resolves with the text, or null for Cancel. `onOpen` receives the
// PageDialog, so that a caller can close it from outside.
export async function inputBox(title, prompt, value = '', { onOpen } = {}) {
  const dialog = new PageDialog({
    title,
    className: 'input-box',
    buttons: [
      { caption: 'OK', value: 'ok', isDefault: true },
      { caption: 'Cancel', value: 'cancel', cancel: true },
    ],
  });
  const label = makeElement('label', 'input-prompt', prompt);
  const input = makeElement('input', 'input-line');
  input.value = value;
  label.append(input);
  dialog.body.append(label);
  input.addEventListener('keydown', (event) => {
    if (event.key === 'Enter') dialog.press('ok');
  });
  const opened = dialog.open();
  onOpen?.(dialog);
  input.focus();
  input.select();
  return (await opened) === 'ok' ? input.value : null;
}

// "Html files|*.html|All Files|*.*" -> [{name: 'Html files', patterns: '*.html'}, ...]
export function parseFilter(filter) {
  const parts = (filter ?? '').split('|');
  const choices = [];
  for (let i = 0; i + 1 < parts.length; i += 2) choices.push({ name: parts[i], patterns: parts[i + 1] });
  if (choices.length === 0) choices.push({ name: 'All Files', patterns: '*.*' });
  return choices;
}

function joinPath(dir, name) {
  if (name.startsWith('/')) return name;
  return (dir.endsWith('/') ? dir : `${dir}/`) + name;
}

// The file dialog: browses the server's folders, starting in startDir. Resolves with the
// chosen file's path, or null when cancelled. With mustExist only an existing file is accepted;
// with confirmOverwrite an existing file is chosen only after a Yes to replacing it (a name
// without an extension meaning the file with defaultExtension added).
// A name with "*" or "?" filters the list instead of choosing. `onOpen` receives the PageDialog.
export async function fileDialog({
  title = 'Open',
  filter = 'All Files|*.*',
  fileName = '',
  startDir = '',
  mustExist = true,
  confirmOverwrite = false,
  defaultExtension = '',
  okCaption = '&Open',
  onOpen,
} = {}) {
  const dialog = new PageDialog({
    title,
    className: 'file-dialog',
    buttons: [
      { caption: okCaption, value: 'ok', isDefault: true, id: 'fileDialogOk' },
      { caption: 'Cancel', value: 'cancel', cancel: true, id: 'fileDialogCancel' },
    ],
  });
  const choices = parseFilter(filter);
  const lookIn = makeElement('div', 'file-dialog-row');
  const lookInLabel = makeElement('span', 'file-dialog-label', 'Look in:');
  const folderText = makeElement('span', 'file-dialog-folder');
  const up = makeElement('button', 'file-dialog-up', '↑');
  up.type = 'button';
  up.title = 'Up one level';
  lookIn.append(lookInLabel, folderText, up);
  const list = makeElement('div', 'file-dialog-list');
  list.setAttribute('role', 'listbox');
  list.tabIndex = 0;
  const nameRow = makeElement('label', 'file-dialog-row', 'File name:');
  const nameInput = makeElement('input', 'file-dialog-name');
  nameInput.value = fileName;
  nameRow.append(nameInput);
  const typeRow = makeElement('label', 'file-dialog-row', 'Files of type:');
  const typeSelect = makeElement('select', 'file-dialog-type');
  choices.forEach((choice, index) => typeSelect.append(new Option(choice.name, String(index))));
  typeRow.append(typeSelect);
  const error = makeElement('div', 'file-dialog-error');
  dialog.body.append(lookIn, list, nameRow, typeRow, error);

  let current = '';
  let parent = null;
  const showError = (text) => {
    error.textContent = text;
  };

  let typedFilter = null;
  async function openFolder(dir) {
    try {
      const listing = await query('files', { dir, filter: typedFilter ?? choices[typeSelect.value].patterns });
      current = listing.dir;
      parent = listing.parent;
      folderText.textContent = current;
      up.disabled = parent === null;
      list.textContent = '';
      for (const name of listing.folders) list.append(entry(name, true));
      for (const name of listing.files) list.append(entry(name, false));
      showError(listing.truncated ? 'Not every entry of this folder is shown.' : '');
    } catch (failure) {
      showError(failure.message);
    }
  }

  function entry(name, folder) {
    const item = makeElement('div', folder ? 'file-entry folder' : 'file-entry file', name);
    item.setAttribute('role', 'option');
    item.dataset.name = name;
    item.addEventListener('click', () => {
      for (const other of list.querySelectorAll('.selected')) other.classList.remove('selected');
      item.classList.add('selected');
      if (!folder) nameInput.value = name;
    });
    item.addEventListener('dblclick', () => {
      if (folder) openFolder(joinPath(current, name));
      else dialog.press('ok');
    });
    return item;
  }

  up.addEventListener('click', () => parent !== null && openFolder(parent));
  typeSelect.addEventListener('change', () => {
    typedFilter = null;
    openFolder(current);
  });
  nameInput.addEventListener('keydown', (event) => {
    if (event.key === 'Enter') {
      event.preventDefault();
      dialog.press('ok');
    }
  });

  let chosen = null;
  let replaceQuestion = null; // the "already exists" question while it is open
  dialog.onpress = async (value) => {
    if (value !== 'ok') return true;
    const name = nameInput.value.trim();
    if (!name) return false;
    if (/[*?]/.test(name)) {
      typedFilter = name;
      await openFolder(current);
      return false;
    }
    const path = joinPath(current, name);
    const found = await query('stat', { path }).catch(() => null);
    if (found?.folder) {
      // A folder typed as the name is opened, as the desktop dialog does.
      nameInput.value = '';
      await openFolder(path);
      return false;
    }
    if (mustExist && !found?.file) {
      showError(`${name}\nFile not found.\nPlease verify the correct file name was given.`);
      return false;
    }
    // The file a name without an extension stands for: the window adds the default one.
    const target = defaultExtension && !name.includes('.') ? path + defaultExtension : path;
    const existing = target === path ? found : await query('stat', { path: target }).catch(() => null);
    if (confirmOverwrite && existing?.file) {
      const question = messageBox(`${target} already exists.\nDo you want to replace it?`, {
        title,
        buttons: [
          { caption: '&Yes', value: 'yes', id: 'fileDialogReplace' },
          { caption: '&No', value: 'no', isDefault: true, cancel: true },
        ],
      });
      replaceQuestion = question.dialog;
      const replace = (await question.answer) === 'yes';
      replaceQuestion = null;
      if (!replace) return false;
    }
    chosen = path;
    return true;
  };
  // Closed from outside (another page answered): the question goes with it.
  dialog.element.addEventListener('close', () => replaceQuestion?.close('no'));
  const opened = dialog.open();
  onOpen?.(dialog);
  await openFolder(startDir);
  nameInput.focus();
  return (await opened) === 'ok' ? chosen : null;
}
