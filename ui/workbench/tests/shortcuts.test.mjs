// The menu shortcuts as the server's table writes them, against the keys a browser reports.

import assert from 'node:assert/strict';
import { it } from 'node:test';

import { parseShortcut, shortcutMatches } from '../menus.js';

const key = (keyName, { ctrl = false, shift = false, alt = false, code } = {}) => ({
  key: keyName,
  code: code ?? (keyName.length === 1 ? `Key${keyName.toUpperCase()}` : keyName),
  ctrlKey: ctrl,
  shiftKey: shift,
  altKey: alt,
});

it('matches each shortcut of the table with its keys only', () => {
  const cases = [
    ['Ctrl+X', key('x', { ctrl: true }), true],
    ['Ctrl+X', key('X', { ctrl: true, shift: true }), false],
    ['Ctrl+X', key('x'), false],
    ['Shift+Ins', key('Insert', { shift: true }), true],
    ['Shift+Del', key('Delete', { shift: true }), true],
    ['Shift+Del', key('Delete'), false],
    ['Ctrl+Alt+O', key('ø', { ctrl: true, alt: true, code: 'KeyO' }), true], // the layout's letter
    ['Shift+Ctrl+F1', key('F1', { ctrl: true, shift: true }), true],
    ['Ctrl+F1', key('F1', { ctrl: true, shift: true }), false],
    ['F9', key('F9'), true],
    ['F9', key('F9', { alt: true }), false],
    ['', key('a'), false],
  ];
  for (const [text, event, expected] of cases) {
    assert.equal(shortcutMatches(parseShortcut(text), event), expected, `${text} ${JSON.stringify(event)}`);
  }
});
