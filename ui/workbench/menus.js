// The workbench's main menu, the editor's context menu and the toolbar, drawn from the
// server's table of items (caption, shortcut, command), and their shortcuts.
//
// Shortcuts are looked up before any control sees the key, so the menu's win over the editor's
// own bindings (Ctrl+X hides the window, Ctrl+F1 toggles the panel); while the editor has the
// focus, its context menu's shortcuts come first. Commands named "editor.*" are the editor's
// own (undo, clipboard, selection) and are carried out here; an empty command does nothing.

import { toolbarIcons } from './toolbar_icons.js';

const make = (tag, className, text) => {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (text !== undefined) element.textContent = text;
  return element;
};

const keyNames = { Ins: 'Insert', Del: 'Delete' };

// Menus and tool buttons leave the focus where it was, as a desktop window's do: after "Save
// file" or a menu command the operator types on in the editor.
const keepFocus = (element) => element.addEventListener('mousedown', (event) => event.preventDefault());

// "Shift+Ctrl+F1" -> {ctrl, shift, alt, key}
export function parseShortcut(text) {
  if (!text) return null;
  const parts = text.split('+');
  const key = parts.pop();
  return {
    ctrl: parts.includes('Ctrl'),
    shift: parts.includes('Shift'),
    alt: parts.includes('Alt'),
    key: keyNames[key] ?? key,
  };
}

export function shortcutMatches(shortcut, event) {
  if (!shortcut) return false;
  if (shortcut.ctrl !== event.ctrlKey || shortcut.shift !== event.shiftKey || shortcut.alt !== event.altKey) {
    return false;
  }
  if (shortcut.key.length === 1) return event.code === `Key${shortcut.key.toUpperCase()}`;
  return event.key === shortcut.key;
}

export class Menus {
  // `run(command, {viaKey})` carries out a command of the table.
  constructor({ menubar, toolbar, run }) {
    this.menubar = menubar;
    this.toolbar = toolbar;
    this.run = run;
    this.items = [];
    this.openMenu = null;
    this.menuElements = {};
    this.tickedItems = {};
    document.addEventListener('mousedown', (event) => {
      if (this.openMenu && !event.target.closest('.menu-popup, .menu-title')) this.close();
    });
  }

  build(fixed) {
    this.items = fixed.menu.map((item) => ({ ...item, parsed: parseShortcut(item.shortcut) }));
    this.buildMenubar();
    this.buildToolbar(fixed.toolbar);
    this.contextMenu = this.popupFor(this.items.filter((item) => item.menu === 'Editor'));
    this.contextMenu.id = 'qorpadMenu';
    document.body.append(this.contextMenu);
  }

  buildMenubar() {
    this.menubar.replaceChildren();
    const names = [...new Set(this.items.map((item) => item.menu))].filter((name) => name !== 'Editor');
    for (const name of names) {
      const entries = this.items.filter((item) => item.menu === name);
      const title = make('button', 'menu-title', name);
      title.type = 'button';
      title.dataset.menu = name;
      title.setAttribute('role', 'menuitem');
      keepFocus(title);
      const holder = make('div', 'menu');
      holder.dataset.menu = name;
      holder.append(title);
      if (entries.length === 1 && entries[0].caption === '') {
        // A top-level item without a submenu (Help).
        title.addEventListener('click', () => this.choose(entries[0]));
      } else {
        const popup = this.popupFor(entries);
        holder.append(popup);
        title.addEventListener('click', () => (this.openMenu === holder ? this.close() : this.open(holder)));
        title.addEventListener('mouseenter', () => {
          if (this.openMenu && this.openMenu !== holder) this.open(holder);
        });
      }
      this.menuElements[name] = holder;
      this.menubar.append(holder);
    }
  }

  // A popup of items; captions "New > Html file" make a submenu "New".
  popupFor(entries) {
    const popup = make('div', 'menu-popup');
    popup.setAttribute('role', 'menu');
    const submenus = {};
    for (const item of entries) {
      const path = item.caption.split(' > ');
      let target = popup;
      if (path.length > 1) {
        if (!submenus[path[0]]) {
          const parent = make('div', 'menu-item has-submenu');
          parent.append(make('span', 'tick'), make('span', 'caption', path[0]), make('span', 'arrow', '\u25b8'));
          const sub = make('div', 'menu-popup submenu');
          sub.setAttribute('role', 'menu');
          parent.append(sub);
          popup.append(parent);
          submenus[path[0]] = sub;
        }
        target = submenus[path[0]];
      }
      const row = make('button', 'menu-item');
      row.type = 'button';
      row.setAttribute('role', 'menuitem');
      keepFocus(row);
      row.dataset.command = item.command;
      row.dataset.caption = path[path.length - 1];
      row.append(make('span', 'tick'), make('span', 'caption', path[path.length - 1]), make('span', 'shortcut', item.shortcut));
      row.addEventListener('click', () => {
        if (!row.disabled) this.choose(item);
      });
      if (item.command === 'FormatSource') row.disabled = true;
      if (item.command === 'Minipanel' || item.command === 'Browser') this.tickedItems[item.command] = row;
      target.append(row);
    }
    return popup;
  }

  buildToolbar(buttons) {
    this.toolbar.replaceChildren();
    buttons.forEach((button, index) => {
      const element = make('button', 'tool-button');
      element.type = 'button';
      element.id = `ToolButton${index + 1}`;
      element.dataset.command = button.command;
      element.title = button.hint || button.caption;
      const icon = make('span', 'tool-icon');
      icon.innerHTML = toolbarIcons[button.command] ?? '';
      element.append(icon, make('span', 'tool-caption', button.caption));
      keepFocus(element);
      element.addEventListener('click', () => this.run(button.command, { viaKey: false }));
      this.toolbar.append(element);
      if (index === 1 || index === 3 || index === 4) this.toolbar.append(make('span', 'tool-separator'));
    });
  }

  open(holder) {
    this.close();
    holder.classList.add('open');
    this.openMenu = holder;
  }

  close() {
    this.openMenu?.classList.remove('open');
    this.openMenu = null;
    this.contextMenu?.classList.remove('open');
  }

  choose(item) {
    this.close();
    this.run(item.command, { viaKey: false });
  }

  showContextMenu(x, y) {
    this.close();
    const menu = this.contextMenu;
    menu.classList.add('open');
    const box = menu.getBoundingClientRect();
    menu.style.left = `${Math.min(x, window.innerWidth - box.width - 4)}px`;
    menu.style.top = `${Math.min(y, window.innerHeight - box.height - 4)}px`;
  }

  // The window's state: the Edit and Code menus, the View ticks.
  update(state) {
    if ('editMenuVisible' in state && this.menuElements.Edit) this.menuElements.Edit.hidden = !state.editMenuVisible;
    if ('codeMenuVisible' in state && this.menuElements.Code) this.menuElements.Code.hidden = !state.codeMenuVisible;
    if ('minipanelTicked' in state) this.tickedItems.Minipanel?.classList.toggle('ticked', state.minipanelTicked);
    if ('browserTicked' in state) this.tickedItems.Browser?.classList.toggle('ticked', state.browserTicked);
  }

  // A key pressed anywhere on the page: true when a shortcut took it.
  handleKey(event, { editorFocused }) {
    if (event.key === 'Escape' && this.openMenu) {
      this.close();
      return true;
    }
    const find = (menu) => this.items.find((item) => (menu === 'Editor') === (item.menu === 'Editor') && shortcutMatches(item.parsed, event));
    const item = (editorFocused && find('Editor')) || find('Main');
    if (!item) return false;
    this.close();
    return this.run(item.command, { viaKey: true, event }) !== false;
  }
}
