// Syntax colouring of the server's Pascal dialect for the editor and the listing: a small
// line-by-line tokenizer giving the six attributes of the editor options (comment, reserved
// word, identifier, symbol, string, number) and compiler directives ("{$i file}"), each with a
// class of its own that colours.js styles from the colour settings.

import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { Tag } from '@lezer/highlight';

const reservedWords = new Set(
  (
    'and array as asm begin case class const constructor destructor div do downto else end ' +
    'except exports file finalization finally for function goto if implementation in inherited ' +
    'initialization inline interface is label library mod nil not object of or packed procedure ' +
    'program property raise record repeat resourcestring set shl shr string then threadvar to try ' +
    'type unit until uses var while with xor forward external out overload stdcall cdecl register ' +
    'pascal safecall'
  ).split(' '),
);

export const tags = {
  comment: Tag.define(),
  reserved: Tag.define(),
  identifier: Tag.define(),
  symbol: Tag.define(),
  string: Tag.define(),
  number: Tag.define(),
  directive: Tag.define(),
};

// Continues a comment that the line before left open: "{" or "(*" comments span lines.
function inComment(stream, state) {
  const close = state.comment === '{' ? '}' : '*)';
  const at = stream.string.indexOf(close, stream.pos);
  if (at < 0) {
    stream.skipToEnd();
  } else {
    stream.pos = at + close.length;
    state.comment = null;
  }
  return state.directive ? 'directive' : 'comment';
}

function token(stream, state) {
  if (state.comment) return inComment(stream, state);
  if (stream.eatSpace()) return null;
  const ch = stream.peek();
  if (ch === '{') {
    stream.next();
    state.directive = stream.peek() === '$';
    state.comment = '{';
    return inComment(stream, state);
  }
  if (stream.match('(*')) {
    state.directive = stream.peek() === '$';
    state.comment = '(*';
    return inComment(stream, state);
  }
  if (stream.match('//')) {
    stream.skipToEnd();
    return 'comment';
  }
  if (ch === "'" || ch === '#') {
    // 'text', 'it''s', #13#10 and their joins are one string.
    for (;;) {
      if (stream.eat("'")) {
        while (!stream.eol()) {
          if (stream.next() !== "'") continue;
          if (stream.peek() !== "'") break;
          stream.next();
        }
      } else if (stream.eat('#')) {
        if (stream.eat('$')) stream.eatWhile(/[0-9a-fA-F]/);
        else stream.eatWhile(/[0-9]/);
      } else {
        break;
      }
    }
    return 'string';
  }
  if (stream.match(/^\$[0-9a-fA-F]+/) || stream.match(/^[0-9]+(\.[0-9]+)?([eE][+-]?[0-9]+)?/)) {
    return 'number';
  }
  if (stream.match(/^[A-Za-z_\u00c0-\u00d6\u00d8-\u00f6\u00f8-\u00ff][A-Za-z0-9_\u00c0-\u00d6\u00d8-\u00f6\u00f8-\u00ff]*/)) {
    return reservedWords.has(stream.current().toLowerCase()) ? 'reserved' : 'identifier';
  }
  stream.next();
  return 'symbol';
}

export const pascalLanguage = StreamLanguage.define({
  name: 'qor-pascal',
  startState: () => ({ comment: null, directive: false }),
  copyState: (state) => ({ ...state }),
  token,
  tokenTable: tags,
  languageData: { commentTokens: { line: '//', block: { open: '{', close: '}' } } },
});

// Each attribute as a class: its colours come from CSS variables, its font style is fixed.
const style = HighlightStyle.define([
  { tag: tags.comment, class: 'qc-comment' },
  { tag: tags.reserved, class: 'qc-reserved' },
  { tag: tags.identifier, class: 'qc-identifier' },
  { tag: tags.symbol, class: 'qc-symbol' },
  { tag: tags.string, class: 'qc-string' },
  { tag: tags.number, class: 'qc-number' },
  { tag: tags.directive, class: 'qc-directive' },
]);

export const pascalHighlighting = [pascalLanguage, syntaxHighlighting(style)];
