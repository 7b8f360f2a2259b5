// The colour dialog: the basic colours, a few custom ones, and a picker (saturation and value
// field, hue strip, red/green/blue and "#rrggbb" fields) that starts with the current colour and
// shows it beside the new one. Resolves with "#rrggbb", or null for Cancel.

import { PageDialog } from '../web/shared/dialogs.js';

const basicColours = [
  '#ff8080', '#ffff80', '#80ff80', '#00ff80', '#80ffff', '#0080ff', '#ff80c0', '#ff80ff',
  '#ff0000', '#ffff00', '#80ff00', '#00ff40', '#00ffff', '#0080c0', '#8080c0', '#ff00ff',
  '#804040', '#ff8040', '#00ff00', '#008080', '#004080', '#8080ff', '#800040', '#ff0080',
  '#800000', '#ff8000', '#008000', '#008040', '#0000ff', '#0000a0', '#800080', '#8000ff',
  '#400000', '#804000', '#004000', '#004040', '#000080', '#000040', '#400040', '#400080',
  '#000000', '#808000', '#808040', '#808080', '#408080', '#c0c0c0', '#404040', '#ffffff',
];
// The colours chosen in this page's earlier dialogs, newest first.
const customColours = [];

const hex2 = (n) => n.toString(16).padStart(2, '0');
export const rgbToCss = ({ r, g, b }) => `#${hex2(r)}${hex2(g)}${hex2(b)}`;
export function cssToRgb(css) {
  const match = /^#?([0-9a-f]{6})$/i.exec(css ?? '');
  if (!match) return null;
  const n = parseInt(match[1], 16);
  return { r: n >> 16, g: (n >> 8) & 255, b: n & 255 };
}

function rgbToHsv({ r, g, b }) {
  const max = Math.max(r, g, b);
  const min = Math.min(r, g, b);
  const d = max - min;
  let h = 0;
  if (d > 0) {
    if (max === r) h = ((g - b) / d) % 6;
    else if (max === g) h = (b - r) / d + 2;
    else h = (r - g) / d + 4;
    h = (h * 60 + 360) % 360;
  }
  return { h, s: max === 0 ? 0 : d / max, v: max / 255 };
}

function hsvToRgb({ h, s, v }) {
  const c = v * s;
  const x = c * (1 - Math.abs(((h / 60) % 2) - 1));
  const m = v - c;
  const [r, g, b] = h < 60 ? [c, x, 0] : h < 120 ? [x, c, 0] : h < 180 ? [0, c, x] : h < 240 ? [0, x, c] : h < 300 ? [x, 0, c] : [c, 0, x];
  const to = (n) => Math.round((n + m) * 255);
  return { r: to(r), g: to(g), b: to(b) };
}

const make = (tag, className, text) => {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (text !== undefined) element.textContent = text;
  return element;
};

function swatchGrid(colours, choose) {
  const grid = make('div', 'colour-grid');
  for (const colour of colours) {
    const swatch = make('button', 'colour-swatch');
    swatch.type = 'button';
    swatch.style.background = colour;
    swatch.title = colour;
    swatch.dataset.colour = colour;
    swatch.addEventListener('click', () => choose(colour));
    grid.append(swatch);
  }
  return grid;
}

// Drags on an element call `move(x, y)` with the pointer's position within it, from 0 to 1.
function draggable(element, move) {
  const at = (event) => {
    const box = element.getBoundingClientRect();
    move(Math.min(1, Math.max(0, (event.clientX - box.left) / box.width)), Math.min(1, Math.max(0, (event.clientY - box.top) / box.height)));
  };
  element.addEventListener('pointerdown', (event) => {
    element.setPointerCapture(event.pointerId);
    at(event);
  });
  element.addEventListener('pointermove', (event) => {
    if (element.hasPointerCapture(event.pointerId)) at(event);
  });
}

export function colourDialog(current, { title = 'Color', onOpen } = {}) {
  const start = cssToRgb(current) ?? { r: 0, g: 0, b: 0 };
  let hsv = rgbToHsv(start);
  let rgb = start;
  const dialog = new PageDialog({
    title,
    id: 'colourDialog',
    className: 'colour-dialog',
    buttons: [
      { caption: 'OK', value: 'ok', isDefault: true, id: 'colourOk' },
      { caption: 'Cancel', value: 'cancel', cancel: true, id: 'colourCancel' },
    ],
  });

  const left = make('div', 'colour-left');
  const right = make('div', 'colour-right');
  const field = make('div', 'colour-field');
  const fieldMark = make('div', 'colour-field-mark');
  field.append(fieldMark);
  const hue = make('div', 'colour-hue');
  const hueMark = make('div', 'colour-hue-mark');
  hue.append(hueMark);
  const pickers = make('div', 'colour-pickers');
  pickers.append(field, hue);

  const preview = make('div', 'colour-preview');
  const oldPart = make('div', 'colour-old');
  oldPart.title = 'Current colour';
  oldPart.style.background = rgbToCss(start);
  const newPart = make('div', 'colour-new');
  newPart.id = 'colourNew';
  newPart.title = 'New colour';
  preview.append(oldPart, newPart);

  const inputs = {};
  const fields = make('div', 'colour-fields');
  for (const [key, label] of [['r', 'Red:'], ['g', 'Green:'], ['b', 'Blue:']]) {
    const row = make('label', 'colour-input-row', label);
    const input = make('input', 'colour-number');
    input.type = 'number';
    input.min = '0';
    input.max = '255';
    input.id = `colour${key.toUpperCase()}`;
    input.addEventListener('input', () => {
      const n = Math.min(255, Math.max(0, Number(input.value) || 0));
      setRgb({ ...rgb, [key]: n }, input);
    });
    inputs[key] = input;
    row.append(input);
    fields.append(row);
  }
  const hexRow = make('label', 'colour-input-row', 'Hex:');
  const hexInput = make('input', 'colour-hex');
  hexInput.id = 'colourHex';
  hexInput.spellcheck = false;
  hexInput.addEventListener('input', () => {
    const parsed = cssToRgb(hexInput.value.trim());
    if (parsed) setRgb(parsed, hexInput);
  });
  hexRow.append(hexInput);
  fields.append(hexRow);

  let customGrid = swatchGrid(customColours, (colour) => setRgb(cssToRgb(colour)));
  const customHolder = make('div');
  customHolder.append(customGrid);
  left.append(make('div', 'colour-label', 'Basic colors:'), swatchGrid(basicColours, (colour) => setRgb(cssToRgb(colour))));
  left.append(make('div', 'colour-label', 'Custom colors:'), customHolder);
  right.append(pickers, preview, fields);
  const body = make('div', 'colour-body');
  body.append(left, right);
  dialog.body.append(body);

  function render(except) {
    const css = rgbToCss(rgb);
    field.style.background = `linear-gradient(to top, #000, transparent), linear-gradient(to right, #fff, hsl(${hsv.h} 100% 50%))`;
    fieldMark.style.left = `${hsv.s * 100}%`;
    fieldMark.style.top = `${(1 - hsv.v) * 100}%`;
    hueMark.style.top = `${(hsv.h / 360) * 100}%`;
    newPart.style.background = css;
    for (const key of ['r', 'g', 'b']) if (inputs[key] !== except) inputs[key].value = String(rgb[key]);
    if (hexInput !== except) hexInput.value = css;
    for (const swatch of body.querySelectorAll('.colour-swatch')) {
      swatch.classList.toggle('selected', swatch.dataset.colour === css);
    }
  }
  function setRgb(value, except) {
    rgb = value;
    // A grey has no hue of its own: the field keeps the one shown.
    const next = rgbToHsv(value);
    hsv = { h: next.s === 0 ? hsv.h : next.h, s: next.s, v: next.v };
    render(except);
  }
  function setHsv(value) {
    hsv = value;
    rgb = hsvToRgb(hsv);
    render();
  }
  draggable(field, (x, y) => setHsv({ ...hsv, s: x, v: 1 - y }));
  draggable(hue, (_x, y) => setHsv({ ...hsv, h: Math.min(359.9, y * 360) }));
  render();

  const opened = dialog.open();
  onOpen?.(dialog);
  return opened.then((value) => {
    if (value !== 'ok') return null;
    const css = rgbToCss(rgb);
    const seen = customColours.indexOf(css);
    if (seen >= 0) customColours.splice(seen, 1);
    customColours.unshift(css);
    customColours.length = Math.min(customColours.length, 16);
    customGrid = null;
    return css;
  });
}
