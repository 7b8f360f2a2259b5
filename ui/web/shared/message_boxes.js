// The operator message boxes on a page: the server keeps them in a queue (source "messages");
// every open page shows the oldest as a modal dialog, and closing it on any page closes it on
// all of them and lets the script or task that waits for it go on.

import { command } from './operator_api.js';
import { messageBox } from './dialogs.js';

export class MessageBoxes {
  constructor() {
    this.shown = null; // {number, dialog}
  }

  handler() {
    const show = (fields) => this.show(fields.boxes ?? []);
    return { full: show, fields: show };
  }

  show(boxes) {
    const first = boxes[0];
    if (this.shown && this.shown.number === first?.number) return;
    if (this.shown) {
      const { dialog } = this.shown;
      this.shown = null;
      dialog.close(null); // closed elsewhere
    }
    if (!first) return;
    const { dialog, answer } = messageBox(first.text);
    dialog.element.id = 'messageBox';
    dialog.element.dataset.number = String(first.number);
    this.shown = { number: first.number, dialog };
    answer.then((value) => {
      if (value === null) return;
      if (this.shown?.number === first.number) this.shown = null;
      command('messages', 'close', { number: first.number });
    });
  }
}
