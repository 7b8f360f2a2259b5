// Shows the dialog a window of the server has open (its "dialog" field: open file, save file,
// one-line input, colour, message box) and sends the operator's answer with the request's id.
// Every open page shows the same request; the first answer closes it on all of them.

import { fileDialog, inputBox, messageBox } from '../web/shared/dialogs.js';
import { colourDialog } from './colour_dialog.js';

export class ModelDialogs {
  // `answer(id, {confirmed, text, colour})` sends the answer.
  constructor(answer) {
    this.answer = answer;
    this.current = null; // {id, dialog, closedElsewhere}
  }

  show(request) {
    if (this.current && request && this.current.id === request.id) return;
    if (this.current) {
      this.current.closedElsewhere = true;
      this.current.dialog?.close(null);
      this.current = null;
    }
    if (!request) return;
    const shown = { id: request.id, dialog: null, closedElsewhere: false };
    this.current = shown;
    const onOpen = (dialog) => {
      shown.dialog = dialog;
      dialog.element.dataset.kind = request.kind;
    };
    this.ask(request, onOpen).then((answer) => {
      if (shown.closedElsewhere) return;
      if (this.current === shown) this.current = null;
      this.answer(request.id, answer);
    });
  }

  async ask(request, onOpen) {
    switch (request.kind) {
      case 'open':
      case 'save': {
        const saving = request.kind === 'save';
        const path = await fileDialog({
          title: request.title || (saving ? 'Save As' : 'Open'),
          filter: request.filter || 'All Files|*.*',
          fileName: request.text,
          startDir: request.directory,
          mustExist: !saving,
          confirmOverwrite: saving,
          defaultExtension: request.defaultExtension,
          okCaption: saving ? '&Save' : '&Open',
          onOpen,
        });
        return path === null ? { confirmed: false } : { confirmed: true, text: path };
      }
      case 'input': {
        const text = await inputBox(request.title, request.prompt, request.text, { onOpen });
        return text === null ? { confirmed: false } : { confirmed: true, text };
      }
      case 'colour': {
        const colour = await colourDialog(request.colour, { onOpen });
        return colour === null ? { confirmed: false } : { confirmed: true, colour };
      }
      default: {
        const { dialog, answer } = messageBox(request.prompt, { title: request.title || 'TorvaneServer!' });
        onOpen(dialog);
        dialog.element.id = 'workbenchMessage';
        const value = await answer;
        return { confirmed: value !== null };
      }
    }
  }
}
