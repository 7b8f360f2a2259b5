// The workbench window's frame on the page: the pages of `PageControl1`, the left panel
// `Panel1` with the run button, the server host box, `link_type` and the procedure list, the
// splitters, the result pane `browserqor` and the "Webpage result" browser `webbrowser`.

import { EditorView } from '@codemirror/view';

const $ = (id) => document.getElementById(id);

// The address an embedded browser loads for the model's address. The model names the operator
// server's own files by their path ("/help/index.html"); the page reaches them below its base
// address, which carries the access token, so the leading "/" goes. Other addresses (the run
// URL on the public server) are loaded as they are.
export function frameAddress(url) {
  if (!url) return 'about:blank';
  if (url.startsWith('/') && !url.startsWith('//')) return url.slice(1);
  return url;
}

export class Layout {
  constructor({ send, qorpad, listing }) {
    this.send = send;
    this.qorpad = qorpad;
    this.listing = listing;
    this.page = -1;
    this.loads = { browserqor: 0, webbrowser: 0 };
    this.waiting = { browserqor: false, webbrowser: false };
    this.listprocIndex = -1;
    this.wire();
  }

  setFixed(fixed) {
    const tabs = $('PageControl1').querySelector('.tabs');
    tabs.replaceChildren(
      ...fixed.pageCaptions.map((caption, page) => {
        const tab = document.createElement('button');
        tab.type = 'button';
        tab.className = 'tab';
        tab.id = `PageControl1Tab${page}`;
        tab.setAttribute('role', 'tab');
        tab.dataset.page = String(page);
        tab.textContent = caption;
        tab.addEventListener('click', () => {
          if (page === this.page) return;
          this.showPage(page);
          this.send('PageControl1Change', { page });
        });
        return tab;
      }),
    );
    $('link_type').replaceChildren(...fixed.linkTypes.map((text, item) => new Option(text, String(item))));
    $('Panel1').style.width = `${fixed.panelWidth}px`;
    const root = document.documentElement.style;
    root.setProperty('--gutter', fixed.gutterColour);
    root.setProperty('--right-margin', fixed.rightMarginColour);
    root.setProperty('--listing-text', fixed.listingForeground);
    this.page = -1;
  }

  wire() {
    // The run button leaves the focus in the editor, as the toolbar's buttons do.
    $('runButton').addEventListener('mousedown', (event) => event.preventDefault());
    $('runButton').addEventListener('click', () => this.send('command', { name: 'Run' }));
    $('close').addEventListener('click', () => this.send('FormCloseQuery'));
    const host = $('thisserveraddress');
    // Every keystroke goes to the server, so F9 right after an edit runs with the new address.
    host.addEventListener('input', () => this.send('thisserveraddressChange', { text: host.value }));
    host.addEventListener('keydown', (event) => {
      if (event.key !== 'Enter') return;
      event.preventDefault();
      this.send('thisserveraddressChange', { text: host.value });
      this.send('command', { name: 'ServerHostEnter' });
    });
    $('link_type').addEventListener('change', () => this.send('link_typeChange', { item: Number($('link_type').value) }));
    const list = $('listproc');
    list.addEventListener('click', (event) => {
      const item = event.target.closest('.list-item');
      if (!item) return;
      this.selectListproc(Number(item.dataset.entry));
      this.send('listprocClick', { entry: Number(item.dataset.entry) });
    });
    list.addEventListener('mousemove', (event) => {
      const item = event.target.closest('.list-item');
      // Below the last entry the list reports the number of entries.
      const index = item ? Number(item.dataset.entry) : list.childElementCount;
      if (index === this.listprocIndex) return;
      this.listprocIndex = index;
      this.send('listprocMouseMove', { index });
    });
    list.addEventListener('mouseleave', () => {
      this.listprocIndex = -1;
    });
    for (const id of ['browserqor', 'webbrowser']) {
      $(id).addEventListener('load', () => {
        if (!this.waiting[id]) return;
        this.waiting[id] = false;
        this.send('DocumentComplete', { browser: id });
      });
    }
    this.dragSplitters();
  }

  dragSplitters() {
    const drag = (splitter, onMove, onEnd) => {
      splitter.addEventListener('pointerdown', (event) => {
        event.preventDefault();
        splitter.setPointerCapture(event.pointerId);
        document.body.classList.add('dragging');
        const start = { x: event.clientX, y: event.clientY };
        const move = (e) => onMove(e.clientX - start.x, e.clientY - start.y);
        const end = () => {
          splitter.removeEventListener('pointermove', move);
          document.body.classList.remove('dragging');
          onEnd?.();
        };
        onMove(0, 0, true);
        splitter.addEventListener('pointermove', move);
        splitter.addEventListener('pointerup', end, { once: true });
      });
    };
    let panelWidth = 0;
    drag($('Splitter1'), (dx, _dy, begin) => {
      if (begin) panelWidth = $('Panel1').getBoundingClientRect().width;
      else $('Panel1').style.width = `${Math.max(120, Math.min(480, panelWidth + dx))}px`;
      this.qorpad.requestMeasure();
    });
    let paneHeight = 0;
    let newHeight = 0;
    drag(
      $('Splitter2'),
      (_dx, dy, begin) => {
        if (begin) paneHeight = $('browserqorPane').getBoundingClientRect().height;
        newHeight = Math.round(Math.max(1, paneHeight - dy));
        $('browserqorPane').style.height = `${newHeight}px`;
        this.qorpad.requestMeasure();
      },
      () => this.send('SetResultPaneHeight', { height: newHeight }),
    );
  }

  showPage(page) {
    if (page === this.page) return;
    this.page = page;
    for (const tab of $('PageControl1').querySelectorAll('.tab')) {
      tab.setAttribute('aria-selected', String(Number(tab.dataset.page) === page));
    }
    for (const section of $('PageControl1').querySelectorAll(':scope > .tab-page')) {
      section.classList.toggle('active', Number(section.dataset.page) === page);
    }
    this.refresh();
  }

  // Views that were hidden measure themselves again once shown.
  refresh() {
    this.qorpad.requestMeasure();
    this.listing.requestMeasure();
  }

  showPanel(visible) {
    $('Panel1').hidden = !visible;
    $('Splitter1').hidden = !visible;
    this.qorpad.requestMeasure();
  }

  setPaneHeight(height) {
    $('browserqorPane').style.height = `${height}px`;
    $('browserqorPane').classList.toggle('collapsed', height <= 1);
    this.qorpad.requestMeasure();
  }

  // A browser loads its address again whenever the server counts another load.
  navigate(id, { url, loads }) {
    if (loads === this.loads[id]) return;
    this.loads[id] = loads;
    this.waiting[id] = true;
    $(id).src = frameAddress(url);
  }

  setListproc(names) {
    $('listproc').replaceChildren(
      ...names.map((name, entry) => {
        const item = document.createElement('div');
        item.className = 'list-item';
        item.setAttribute('role', 'option');
        item.dataset.entry = String(entry);
        // A name recorded with a leading blank shows it.
        item.textContent = name;
        return item;
      }),
    );
  }

  selectListproc(entry) {
    for (const item of $('listproc').children) {
      const chosen = Number(item.dataset.entry) === entry;
      item.classList.toggle('selected', chosen);
      if (chosen) item.scrollIntoView({ block: 'nearest' });
    }
  }

  // The line comes into view at the top of the editor.
  scrollLineToTop(number) {
    const doc = this.qorpad.state.doc;
    const line = doc.line(Math.min(Math.max(number, 1), doc.lines));
    this.qorpad.dispatch({ effects: EditorView.scrollIntoView(line.from, { y: 'start' }) });
  }
}
