// The colour sets of the server's model on the page: the editor background and the background
// and foreground of the six attributes become CSS variables on an element (the workbench, or
// the options window's preview), which workbench.css uses for the attribute classes of
// pascal_mode.js. A colour of null ("no colour of its own") leaves the variable unset, so the
// text keeps the editor's own colours.

export const attributeNames = ['comment', 'reserved', 'identifier', 'symbol', 'string', 'number'];

function setVariable(element, name, value) {
  if (value) element.style.setProperty(name, value);
  else element.style.removeProperty(name);
}

// The caret's colour on a background "#rrggbb": white on dark ones, black on light ones, so
// that it stays visible whatever background the operator picks.
export function caretColourOn(background) {
  const match = /^#([0-9a-f]{2})([0-9a-f]{2})([0-9a-f]{2})$/i.exec(background ?? '');
  if (!match) return '#ffffff';
  const [red, green, blue] = match.slice(1).map((hex) => parseInt(hex, 16));
  return 0.299 * red + 0.587 * green + 0.114 * blue > 140 ? '#000000' : '#ffffff';
}

// `colours` is {background, attributes: [{background, foreground} x 6]}.
export function applyColourSet(element, colours, backgroundVariable = '--qorpad-back') {
  if (!colours) return;
  setVariable(element, backgroundVariable, colours.background ?? '#000000');
  setVariable(element, '--qorpad-caret', caretColourOn(colours.background ?? '#000000'));
  colours.attributes.forEach((attribute, index) => {
    const name = attributeNames[index];
    setVariable(element, `--${name}-bg`, attribute.background);
    setVariable(element, `--${name}-fg`, attribute.foreground);
  });
}
