// The workbench page in a real browser: writing a script with completion, parameter hints and
// a template, running it with F9 into the result pane, a broken script's marked listing line
// and status text, a compile from another client, Open and Save As with the backup, the
// untitled Run message, a dropped file, the window following the console's "Debugger", two pages in step, and
// a colour chosen in the editor options surviving a restart. One server and one browser serve
// the whole file, in order.

import assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';

import { launchBrowser, noTips, QorsvServer, waitFor } from './harness.mjs';

const crlf = (lines) => lines.map((line) => `${line}\r\n`).join('');

const server = new QorsvServer({
  // A short pop-up delay keeps the timed openings quick.
  settings: { ...noTips, SyntaxTimer: 150 },
  files: {
    'scripts/page.qor': crlf(['procedure greet(who: string);', 'begin', "  echo('hi ' + who);", 'end;', 'begin', "  greet('you');", 'end.']),
    'webpage/default/broken.html': crlf([
      '<html><body>',
      '<%qor%>onload',
      'begin',
      "  echo('before');",
      '  undefinedroutine(1);',
      'end.',
      '</%qor%>',
      '</body></html>',
    ]),
  },
});
let browser;
let page;

async function openWorkbench() {
  const opened = await server.openPage(browser, '/workbench');
  await opened.setViewportSize({ width: 1280, height: 800 });
  await opened.locator('#connecting').waitFor({ state: 'hidden' });
  return opened;
}

const editorText = (on = page) =>
  on.evaluate(() => [...document.querySelectorAll('#qorpad .cm-line')].map((line) => line.textContent).join('\n'));

// Replaces the editor's text as typing would, and leaves the caret at its end.
async function setEditorText(text, on = page) {
  await on.locator('#qorpad .cm-content').click();
  await on.keyboard.press('Control+a');
  await on.keyboard.insertText(text);
}

async function answerFileDialog(name, on = page) {
  await on.locator('.file-dialog').waitFor();
  await on.locator('.file-dialog-name').fill(name);
  await on.locator('#fileDialogOk').click();
  await on.locator('.file-dialog').waitFor({ state: 'detached' });
}

// The file as the server wrote it, once it has (the dialog closes before the answer arrives).
async function savedFile(relative) {
  await waitFor(() => server.exists(relative), { what: relative });
  return server.read(relative);
}

const statusText = () => page.locator('#statusText').textContent();

before(async () => {
  await server.start();
  browser = await launchBrowser();
  page = await openWorkbench();
});

after(async () => {
  await browser?.close();
  await server.remove();
});

describe('the workbench page', () => {
  it('rests on "Runtime Scripting" with the toolbar, the menus and the title', async () => {
    assert.equal(await page.locator('.tab[aria-selected="true"]').textContent(), 'Runtime Scripting');
    const captions = await page.locator('#ToolBar1 .tool-caption').allTextContents();
    assert.deepEqual(captions, ['New qor', 'New html', 'Open file', 'Save file', 'Run', 'Options', 'Hide']);
    assert.equal(await page.locator('#ToolButton5').getAttribute('title'), 'Run (F9)');
    assert.ok(await page.locator('[data-command="FormatSource"]').isDisabled());
    await waitFor(async () => (await page.title()).startsWith('..::Torvane!:.. debugger - '), {
      what: 'the title timer',
      timeoutMs: 8000,
    });
    // The Edit and Code menus go when the operator leaves page 2, and come back with it.
    await page.locator('#PageControl1Tab1').click();
    await page.locator('.menu[data-menu="Edit"]').waitFor({ state: 'hidden' });
    assert.ok(await page.locator('.menu[data-menu="Code"]').isHidden());
    await page.locator('#PageControl1Tab2').click();
    await page.locator('.menu[data-menu="Edit"]').waitFor();
    // A narrow window narrows the editor; nothing runs off the right edge.
    await page.setViewportSize({ width: 760, height: 560 });
    const right = await page.locator('#StatusBar1').evaluate((element) => element.getBoundingClientRect().right);
    assert.ok(right <= 760, `the status bar ends at ${right}`);
    await page.setViewportSize({ width: 1280, height: 800 });
  });

  it('completes a name, hints the parameters and expands a template', async () => {
    await page.locator('#ToolButton1').click(); // New qor
    await waitFor(async () => (await editorText()).includes('A new script'), { what: 'the template' });
    // The completion names are the lower-case names; matching is case-sensitive.
    await setEditorText('begin\n  intt');
    await page.keyboard.press('Control+Space');
    const popup = page.locator('#syncomplet');
    await popup.waitFor();
    assert.equal(await popup.locator('.syncomplet-title').textContent(), 'qOr completion wizard');
    const items = await popup.locator('.syncomplet-item').allTextContents();
    assert.ok(items.length >= 2 && items.every((item) => item.startsWith('intt')), items.join(' | '));
    // Typing narrows the list; Backspace widens it again.
    await page.keyboard.type('os');
    await waitFor(async () => (await popup.locator('.syncomplet-item').count()) < items.length, { what: 'the narrower list' });
    await page.keyboard.press('Backspace');
    await page.keyboard.press('Backspace');
    await waitFor(async () => (await popup.locator('.syncomplet-item').count()) === items.length, { what: 'the wider list' });
    await page.keyboard.type('os');
    await waitFor(
      async () => (await popup.locator('.syncomplet-item').allTextContents()).every((item) => item.startsWith('inttostr')),
      { what: 'filtering' },
    );
    await page.keyboard.press('Enter');
    await popup.waitFor({ state: 'hidden' });
    // "(" opens the hint after the delay; the argument the caret is in is bold.
    const hint = page.locator('#scpParams');
    const bold = () => hint.locator('b').textContent();
    await page.keyboard.type('(');
    await hint.waitFor();
    assert.equal(await bold(), 'Value: Integer');
    // Enter indents the new line like the one above.
    await page.keyboard.type('42);\nIntToHex(');
    await waitFor(async () => (await hint.textContent()) === 'Value: Integer, Digits: Integer', { what: 'the hint of IntToHex' });
    await page.keyboard.type('255, ');
    await waitFor(async () => (await bold()) === 'Digits: Integer', { what: 'the second argument in bold' });
    await page.keyboard.type('2);');
    await hint.waitFor({ state: 'hidden' });
    await page.keyboard.type('\nfor');
    await page.keyboard.press('Control+j');
    await waitFor(async () => (await editorText()).includes('for i := 1 to  do'), { what: 'the for template' });
    await page.keyboard.type('10');
    assert.equal(await editorText(), 'begin\n  inttostr(42);\n  IntToHex(255, 2);\n  for i := 1 to 10 do\n  begin\n  end;');
  });

  it('opens the list a moment after a trigger character, unless the caret has gone on', async () => {
    const popup = page.locator('#syncomplet');
    const settle = () => new Promise((resolve) => setTimeout(resolve, 600)); // four delays
    await setEditorText('begin\n  ');
    await page.keyboard.type('wr');
    await popup.waitFor();
    assert.ok((await popup.locator('.syncomplet-item').allTextContents()).every((item) => item.startsWith('wr')));
    await page.keyboard.press('Escape');
    await popup.waitFor({ state: 'hidden' });
    // Enter, Backspace or an arrow key before the delay: no list at the new place.
    for (const key of ['Enter', 'Backspace', 'ArrowLeft']) {
      await page.keyboard.type(' wr');
      await page.keyboard.press(key);
      await settle();
      assert.ok(await popup.isHidden(), `the list opened after ${key}`);
    }
    // The same for the parameter hint after "(".
    await page.keyboard.type(' inttostr(');
    await page.keyboard.press('Enter');
    await settle();
    assert.ok(await page.locator('#scpParams').isHidden());
    // An open list goes with its word when the editor scrolls it out of sight.
    await setEditorText(`${'\n'.repeat(120)}  wr`);
    await page.keyboard.press('Control+Space');
    await popup.waitFor();
    await page.locator('#qorpad .cm-scroller').evaluate((scroller) => scroller.scrollTo(0, 0));
    await popup.waitFor({ state: 'hidden' });
  });

  it('opens the help page of the routine under a Ctrl+click, and its links', async () => {
    await setEditorText('begin\n  x := inttostr(5);\nend.');
    const line = await page.locator('#qorpad .cm-line', { hasText: 'inttostr' }).boundingBox();
    await page.keyboard.down('Control');
    await page.mouse.click(line.x + 80, line.y + line.height / 2);
    await page.keyboard.up('Control');
    const help = page.frameLocator('#webbrowser');
    await waitFor(async () => (await help.locator('title').textContent().catch(() => '')).startsWith('IntToStr'), {
      what: 'the help page',
    });
    assert.equal(await page.locator('.tab[aria-selected="true"]').textContent(), 'Webpage result');
    await help.locator('.nav a').first().click();
    await waitFor(async () => (await help.locator('h1').textContent().catch(() => '')) === 'qOr script help', {
      what: 'the index by its link',
    });
    await page.locator('#PageControl1Tab2').click();
  });

  it('asks for a name before running an untitled document, and says why when there is none', async () => {
    await page.keyboard.press('F9');
    await page.locator('.file-dialog').waitFor();
    await page.locator('#fileDialogCancel').click();
    const message = page.locator('#workbenchMessage');
    await message.waitFor();
    assert.match(await message.textContent(), /You have to save your file before running !/);
    await message.getByRole('button', { name: 'OK' }).click();
    await message.waitFor({ state: 'detached' });
  });

  it('runs the saved script with F9 and shows its output in the result pane', async () => {
    await setEditorText("begin\n  echo('Hello from the workbench');\nend.");
    await page.keyboard.press('F9');
    await answerFileDialog('hello.qor');
    assert.equal(await savedFile('scripts/hello.qor'), "begin\r\n  echo('Hello from the workbench');\r\nend.");
    const pane = page.frameLocator('#browserqor');
    await waitFor(async () => (await pane.locator('body').textContent().catch(() => '')).includes('Hello from the workbench'), {
      what: 'the run output',
    });
    // F9 right after an edit of the host box runs with the new text, which is taken as it is.
    const host = page.locator('#thisserveraddress');
    const address = await host.inputValue();
    assert.equal(address, `http://127.0.0.1:${server.port}`);
    await host.fill(`${address}/`);
    await page.keyboard.press('F9');
    await waitFor(async () => (await page.locator('#browserqor').getAttribute('src')) === `${address}//-qorcompilerscript.qor`, {
      what: 'the run URL with two slashes',
    });
    await host.fill(address);
    await page.locator('#qorpad .cm-content').click();
  });

  it('marks the line in error in the listing and shows the status text', async () => {
    await setEditorText("begin\n  echo('one');\n  nosuchname := 2;\nend.");
    await page.keyboard.press('F9');
    await waitFor(async () => (await statusText()).startsWith('Script error'), { what: 'the status text' });
    assert.match(await statusText(), /nosuchname := 2;/);
    await page.locator('#PageControl1Tab0').click();
    const marked = page.locator('#dbgmem .cm-markedLine');
    await marked.waitFor();
    assert.match(await marked.textContent(), /^\[\d+\] {2}\s*nosuchname := 2;$/);
    // Ctrl+A and Ctrl+C in the listing take its own text, all of it.
    await page.context().grantPermissions(['clipboard-read', 'clipboard-write'], { origin: new URL(server.consoleUrl).origin });
    await marked.click();
    await page.keyboard.press('Control+a');
    await page.keyboard.press('Control+c');
    const copied = await waitFor(() => page.evaluate(() => navigator.clipboard.readText()).then((text) => text.startsWith('[1]') && text), {
      what: 'the listing on the clipboard',
    });
    assert.match(copied, /\] {2}\s*nosuchname := 2;\n/);
    assert.match(copied, /\] {2}end\.$/);
    await page.locator('#PageControl1Tab1').click();
    assert.match(await page.locator('#errormsg').inputValue(), /\[Error\]/);
    await page.locator('#PageControl1Tab2').click();
  });

  it('shows a compile from another client, and the console notices it', async () => {
    const console = await server.openConsole(browser);
    await server.get('/broken.html');
    await waitFor(async () => (await statusText()).includes('undefinedroutine(1);'), { what: 'the status text' });
    await page.locator('#PageControl1Tab0').click();
    await waitFor(async () => /undefinedroutine\(1\);/.test(await page.locator('#dbgmem .cm-markedLine').textContent()), {
      what: 'the marked line of the other compile',
    });
    await page.locator('#PageControl1Tab2').click();
    await console.locator('#workbenchNotice').waitFor();
    assert.match(await console.locator('#workbenchNoticeText').textContent(), /failed to compile/);
    await console.close();
  });

  it('opens a document with its backup copy and saves it under another name', async () => {
    await page.keyboard.press('Control+o');
    await page.locator('.file-dialog .file-entry', { hasText: 'page.qor' }).dblclick();
    await waitFor(async () => (await editorText()).startsWith('procedure greet'), { what: 'the opened document' });
    assert.equal(await savedFile('scripts/page.~qor'), server.read('scripts/page.qor'));
    // The procedure list follows with the analysis, which may come a moment after the text.
    await waitFor(async () => (await page.locator('#listproc .list-item').first().textContent()) === 'greet', {
      what: 'the procedure list of the opened document',
    });
    await page.locator('#qorpad .cm-content').click();
    await page.keyboard.press('Control+End');
    await page.keyboard.type('\n{ saved }');
    await page.keyboard.press('Control+d');
    await answerFileDialog('copy.qor');
    assert.equal(await savedFile('scripts/copy.qor'), `${server.read('scripts/page.qor')}\r\n{ saved }`);
    // Save As onto an existing file asks first; No keeps the file and the dialog.
    await page.keyboard.type(' { again }');
    await page.keyboard.press('Control+d');
    await page.locator('.file-dialog').waitFor();
    await page.locator('.file-dialog-name').fill('copy.qor');
    await page.locator('#fileDialogOk').click();
    const question = page.locator('dialog.message-box', { hasText: 'already exists' });
    await question.waitFor();
    await question.getByRole('button', { name: 'No' }).click();
    await question.waitFor({ state: 'detached' });
    assert.ok(await page.locator('.file-dialog').isVisible());
    assert.ok(server.read('scripts/copy.qor').endsWith('{ saved }'));
    await page.locator('#fileDialogOk').click();
    await page.locator('#fileDialogReplace').click();
    await page.locator('.file-dialog').waitFor({ state: 'detached' });
    await waitFor(() => server.read('scripts/copy.qor').endsWith('{ saved } { again }'), { what: 'the replaced file' });
    await waitFor(async () => (await page.title()).endsWith('copy.qor'), { what: 'the title', timeoutMs: 8000 });
  });

  it('opens a dropped file as an untitled document that Save offers to name', async () => {
    const dataTransfer = await page.evaluateHandle(() => {
      const transfer = new DataTransfer();
      transfer.items.add(new File(["begin\r\n  echo('dropped \xe9');\r\nend.\r\n"], 'dropped.qor'));
      return transfer;
    });
    await page.locator('#qorpad .cm-content').dispatchEvent('drop', { dataTransfer });
    await waitFor(async () => (await editorText()).includes("echo('dropped"), { what: 'the dropped text' });
    await page.keyboard.press('Control+s');
    await page.locator('.file-dialog').waitFor();
    assert.equal(await page.locator('.file-dialog-name').inputValue(), 'dropped.qor');
    await page.locator('#fileDialogOk').click();
    await page.locator('.file-dialog').waitFor({ state: 'detached' });
    // The file's bytes come back unchanged (the browser read é as UTF-8, two bytes).
    assert.equal(await savedFile('scripts/dropped.qor'), "begin\r\n  echo('dropped \xc3\xa9');\r\nend.\r\n");
  });

  it('shows a character the 8-bit document cannot hold as the "?" that is saved', async () => {
    await setEditorText("echo('5 \u20ac');"); // pasted: a euro sign
    await page.keyboard.type(' { \u201cquoted\u201d }'); // typed: curly quotes
    const expected = "echo('5 ?'); { ?quoted? }";
    await waitFor(async () => (await editorText()) === expected, { what: 'the question marks' });
    await page.keyboard.press('Control+s');
    await waitFor(() => server.read('scripts/dropped.qor') === expected, { what: 'the saved file' });
  });

  it('leaves the focus in the editor when a tool button or a menu item is clicked', async () => {
    await setEditorText('begin');
    await page.locator('#ToolButton4').click(); // Save file
    await page.keyboard.type(' end.');
    await page.locator('.menu-title', { hasText: 'View' }).click();
    await page.locator('.menu-item[data-command="Minipanel"]').click();
    await page.locator('#Panel1').waitFor({ state: 'hidden' });
    await page.keyboard.type(' { typed on }');
    assert.equal(await editorText(), 'begin end. { typed on }');
    await page.keyboard.press('Control+F1');
    await page.locator('#Panel1').waitFor();
  });

  it('keeps two pages in step and follows "Debugger" on the console', async () => {
    const second = await openWorkbench();
    await page.locator('#qorpad .cm-content').click();
    await page.keyboard.press('Control+End');
    await page.keyboard.type('\n// from the first page');
    await waitFor(async () => (await editorText(second)).endsWith('// from the first page'), { what: 'the other page' });

    const console = await server.openConsole(browser);
    await console.locator('#Button2').click();
    for (const shown of [page, second]) {
      await shown.locator('#hiddenNotice').waitFor();
      assert.ok(await shown.locator('#window').isHidden());
    }
    await console.locator('#Button2').click();
    await page.locator('#window').waitFor();
    // Ctrl+X hides the window too (it is the menu's, not the editor's cut).
    await page.locator('#qorpad .cm-content').click();
    await page.keyboard.press('Control+x');
    await second.locator('#hiddenNotice').waitFor();
    await console.locator('#Button2').click();
    await page.locator('#window').waitFor();
    await second.close();
    await console.close();
  });

  it('colours the editor from a loaded scheme, its caret visible on a light background', async () => {
    const caret = () => page.locator('#qorpad .cm-cursor').first().evaluate((element) => getComputedStyle(element).borderLeftColor);
    await page.locator('#qorpad .cm-content').click();
    assert.equal(await caret(), 'rgb(255, 255, 255)');
    await page.keyboard.press('Control+Alt+o');
    await page.locator('#editopt').waitFor();
    // "Save as.." over a shipped scheme, named without its extension, asks first.
    await page.locator('#Button1').click();
    await page.locator('.file-dialog-name').fill('Amber');
    await page.locator('#fileDialogOk').click();
    const question = page.locator('dialog.message-box', { hasText: 'Amber.pal already exists' });
    await question.waitFor();
    await question.getByRole('button', { name: 'No' }).click();
    await page.locator('#fileDialogCancel').click();
    await page.locator('.file-dialog').waitFor({ state: 'detached' });
    await page.locator('#FileListBox1 .list-item', { hasText: 'Paper.pal' }).click();
    await waitFor(async () => (await page.locator('#lbck').getAttribute('title')) === '#ffffff', { what: 'the scheme' });
    await page.locator('#apply').click();
    await page.locator('#editopt').waitFor({ state: 'hidden' });
    const background = () => page.locator('#qorpad .cm-editor').evaluate((element) => getComputedStyle(element).backgroundColor);
    await waitFor(async () => (await background()) === 'rgb(255, 255, 255)', { what: 'the white editor' });
    await page.locator('#qorpad .cm-content').click();
    assert.equal(await caret(), 'rgb(0, 0, 0)');
    assert.match(server.read('config/config.xml'), /<EdCol>16777215<\/EdCol>/);
  });

  it('keeps a colour chosen in the editor options across a restart', async () => {
    await page.locator('#ToolButton6').click(); // Options
    await page.locator('#editopt').waitFor();
    await page.locator('#ListBox1 .list-item', { hasText: 'Comment' }).click();
    await page.locator('#frg').click();
    await page.locator('#colourDialog').waitFor();
    await page.locator('#colourHex').fill('#ff8000');
    await page.locator('#colourOk').click();
    await waitFor(async () => (await page.locator('#lfrg').getAttribute('title')) === '#ff8000', { what: 'the swatch' });
    await page.locator('#apply').click();
    await page.locator('#editopt').waitFor({ state: 'hidden' });

    await page.close();
    await server.stop();
    await server.start();
    page = await openWorkbench();
    await setEditorText('{ a comment }');
    const colour = await page.locator('#qorpad .qc-comment').evaluate((element) => getComputedStyle(element).color);
    assert.equal(colour, 'rgb(255, 128, 0)');
  });
});
