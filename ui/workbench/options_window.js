// The editor options window `Teditopt` on the page: a modal dialog drawn from the server's
// "options" field (the attribute list, the colour buttons and swatches, the scheme list, the
// preview editor in the window's own colours, the Code Insight switches and the delay), whose
// controls send the window's handlers as "options.*" commands.

import { EditorState } from '@codemirror/state';
import { EditorView, lineNumbers } from '@codemirror/view';
import { applyColourSet } from './colours.js';
import { ModelDialogs } from './model_dialogs.js';
import { pascalHighlighting } from './pascal_mode.js';

const $ = (id) => document.getElementById(id);

export class OptionsWindow {
  constructor(send) {
    this.send = (name, args) => send(`options.${name}`, args);
    this.element = $('editopt');
    this.state = null;
    this.dialogs = new ModelDialogs((id, answer) => this.send('answerDialog', { id, ...answer }));
    this.preview = null;
    this.wire();
  }

  setFixed(fixed) {
    const options = fixed.options;
    this.element.querySelector('.page-dialog-title-text').textContent = options.title;
    this.element.setAttribute('aria-label', options.title);
    const tabs = this.element.querySelectorAll('#edittab [role="tab"]');
    options.pages.forEach((caption, index) => {
      if (tabs[index]) tabs[index].textContent = caption;
    });
    $('ListBox1').replaceChildren(
      ...options.rows.map((text, row) => {
        const item = document.createElement('div');
        item.className = 'list-item';
        item.setAttribute('role', 'option');
        item.dataset.row = String(row);
        item.textContent = text;
        return item;
      }),
    );
    const delay = $('delaycode');
    delay.min = String(options.delayMin);
    delay.max = String(options.delayMax);
    delay.step = String(options.delayStep);
    const marks = $('delaymarks');
    marks.replaceChildren();
    for (let value = options.delayMin; value <= options.delayMax; value += options.delayStep) {
      marks.append(new Option('', String(value)));
    }
    if (!this.preview) {
      this.preview = new EditorView({
        parent: $('preview'),
        state: EditorState.create({
          doc: options.previewText.replace(/\r\n/g, '\n').replace(/\n$/, ''),
          extensions: [
            lineNumbers({ formatNumber: (n) => String(n).padStart(4, '0') }),
            EditorState.readOnly.of(true),
            EditorView.editable.of(false),
            pascalHighlighting,
            EditorView.theme({ '&': { height: '100%' }, '.cm-scroller': { fontFamily: 'var(--mono)' } }),
          ],
        }),
      });
    }
  }

  wire() {
    this.element.addEventListener('cancel', (event) => {
      event.preventDefault();
      this.send('CloseBox');
    });
    $('editoptClose').addEventListener('click', () => this.send('CloseBox'));
    $('apply').addEventListener('click', () => this.send('applyClick'));
    $('Button2').addEventListener('click', () => this.send('Button2Click'));
    $('Button1').addEventListener('click', () => this.send('Button1Click'));
    $('bck').addEventListener('click', () => this.send('bckClick'));
    $('lbck').addEventListener('click', () => this.send('bckClick'));
    $('frg').addEventListener('click', () => this.send('frgClick'));
    $('lfrg').addEventListener('click', () => this.send('frgClick'));
    $('ListBox1').addEventListener('click', (event) => {
      const item = event.target.closest('.list-item');
      if (item) this.send('ListBox1Click', { row: Number(item.dataset.row) });
    });
    $('ListBox1').addEventListener('keydown', (event) => {
      if (!this.state || (event.key !== 'ArrowDown' && event.key !== 'ArrowUp')) return;
      event.preventDefault();
      const row = this.state.selectedRow + (event.key === 'ArrowDown' ? 1 : -1);
      if (row >= 0 && row < $('ListBox1').childElementCount) this.send('ListBox1Click', { row });
    });
    $('FileListBox1').addEventListener('click', (event) => {
      const item = event.target.closest('.list-item');
      if (item) this.send('FileListBox1Click', { name: item.dataset.name });
    });
    for (const [id, command] of [['qorcompletionwizard', 'qorcompletionwizardClick'], ['codeparameters', 'codeparametersClick']]) {
      $(id).addEventListener('click', (event) => {
        event.preventDefault();
        const current = id === 'qorcompletionwizard' ? this.state.completionWizard : this.state.codeParameters;
        this.send(command, { checked: !current });
      });
    }
    $('delaycode').addEventListener('input', () => {
      $('lbldelaycode').textContent = `${$('delaycode').value} ms.`;
      this.send('delaycodeChange', { position: Number($('delaycode').value) });
    });
    for (const tab of this.element.querySelectorAll('#edittab [role="tab"]')) {
      tab.addEventListener('click', () => {
        this.showPage(Number(tab.dataset.page));
        this.send('edittabChange', { page: Number(tab.dataset.page) });
      });
    }
  }

  showPage(page) {
    for (const tab of this.element.querySelectorAll('#edittab [role="tab"]')) {
      tab.setAttribute('aria-selected', String(Number(tab.dataset.page) === page));
    }
    for (const section of this.element.querySelectorAll('#edittab .tab-page')) {
      section.hidden = Number(section.dataset.page) !== page;
    }
  }

  update(state) {
    this.state = state;
    if (state.visible && !this.element.open) this.element.showModal();
    if (!state.visible && this.element.open) this.element.close();
    this.showPage(state.activePage);
    for (const item of $('ListBox1').children) {
      const selected = Number(item.dataset.row) === state.selectedRow;
      item.classList.toggle('selected', selected);
      item.setAttribute('aria-selected', String(selected));
    }
    $('bck').hidden = !state.bckVisible;
    $('lbck').hidden = !state.bckVisible;
    $('frg').hidden = !state.frgVisible;
    $('lfrg').hidden = !state.frgVisible;
    this.swatch('lbck', state.lbck);
    this.swatch('lfrg', state.lfrg);
    const files = $('FileListBox1');
    const names = [...files.children].map((item) => item.dataset.name);
    if (names.join('\n') !== state.schemeFiles.join('\n')) {
      files.replaceChildren(
        ...state.schemeFiles.map((name) => {
          const item = document.createElement('div');
          item.className = 'list-item';
          item.setAttribute('role', 'option');
          item.dataset.name = name;
          item.textContent = name;
          return item;
        }),
      );
    }
    $('qorcompletionwizard').checked = state.completionWizard;
    $('codeparameters').checked = state.codeParameters;
    if (document.activeElement !== $('delaycode')) $('delaycode').value = String(state.delayPosition);
    $('lbldelaycode').textContent = state.delayLabel;
    applyColourSet($('preview'), state.colours);
    this.dialogs.show(state.visible ? state.dialog : null);
  }

  swatch(id, colour) {
    const element = $(id);
    element.style.background = colour ?? 'transparent';
    element.classList.toggle('no-colour', colour === null);
    element.title = colour ?? 'No colour of its own: the editor\u2019s';
  }
}
