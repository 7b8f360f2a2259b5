// What a console log view keeps of the lines it is given: the newest, within its line and size
// limits, whatever the lines' lengths.

import assert from 'node:assert/strict';
import { it } from 'node:test';

import { LogView } from '../log_view.js';

const view = (limit, byteLimit) => new LogView({}, limit, byteLimit);
const lines = (count, length) => Array.from({ length: count }, (_, i) => String(i).padEnd(length, 'x'));

it('keeps the newest lines up to the line limit', () => {
  const kept = view(5000, 1e9).newest(lines(6000, 10));
  assert.equal(kept.length, 5000);
  assert.equal(kept[0], '1000'.padEnd(10, 'x'));
});

it('keeps the newest lines up to the size limit', () => {
  const kept = view(5000, 1000).newest(lines(50, 100));
  assert.equal(kept.length, 10);
  assert.equal(kept.at(-1), '49'.padEnd(100, 'x'));
});

it('keeps one line even when it alone is larger than the size limit', () => {
  const kept = view(5000, 1000).newest(['short', 'y'.repeat(16384)]);
  assert.deepEqual(kept, ['y'.repeat(16384)]);
});

it('keeps everything that fits', () => {
  assert.deepEqual(view(5000, 1000).newest(['a', 'b']), ['a', 'b']);
  assert.deepEqual(view(5000, 1000).newest([]), []);
});
