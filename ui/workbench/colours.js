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

// `colours` is {background, attributes: [{background, foreground} x 6]}.
export function applyColourSet(element, colours, backgroundVariable = '--qorpad-back') {
  if (!colours) return;
  setVariable(element, backgroundVariable, colours.background ?? '#000000');
  colours.attributes.forEach((attribute, index) => {
    const name = attributeNames[index];
    setVariable(element, `--${name}-bg`, attribute.background);
    setVariable(element, `--${name}-fg`, attribute.foreground);
  });
}
