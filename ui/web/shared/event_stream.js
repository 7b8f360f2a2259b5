// The operator server's event stream: the whole state of each source first, then every change
// in order. A stream that breaks is opened again after a second, and starts again from the
// whole state; so does a page that fell behind.
//
// A stream refused outright (status 403) belongs to a page of an earlier run of the server, whose
// token this run does not know: the page then stops ('refused') instead of asking again every
// second, each time adding a refusal to the server's log.
//
// A page in a background tab (or a minimised browser window) lets go of its stream and opens it
// again, from the whole state, when it is shown: a browser keeps at most six connections to one
// address, and six operator pages each holding a stream would leave none for their commands.
//
//   const stream = new OperatorStream(['console', 'messages'], {
//     console: { full(state) {...}, fields(fields) {...}, event(e) {...} },
//     messages: { ... },
//   });
//   stream.onstatus = (status) => ...;  // 'open', 'reconnecting', 'behind', 'closed',
//                                       // 'paused' or 'refused'
//   stream.start();
//
// `full` receives a source's whole state, `fields` the fields that changed, and `event` every
// other event of the source (for example view lines appended).

import { token } from './operator_api.js';

const retryMs = 1000;

export class OperatorStream {
  constructor(sources, handlers) {
    this.sources = sources;
    this.handlers = handlers;
    this.onstatus = () => {};
    this.source = null;
    this.ended = false;
    this.paused = false;
    this.retry = null;
    this.lastSeq = 0;
    document.addEventListener('visibilitychange', () => this.visibilityChanged());
  }

  start() {
    if (this.ended || this.source) return;
    if (document.visibilityState === 'hidden') {
      this.paused = true;
      this.onstatus('paused');
      return;
    }
    const address = `/api/events?${new URLSearchParams({ token, sources: this.sources.join(',') })}`;
    this.source = new EventSource(address);
    this.source.onopen = () => this.onstatus('open');
    this.source.onmessage = (message) => this.receive(JSON.parse(message.data));
    this.source.onerror = () => {
      if (this.ended) return;
      this.onstatus('reconnecting');
      // The browser comes back by itself while the stream is CONNECTING; a refused or failed
      // stream is CLOSED, and is opened again here.
      if (this.source.readyState === EventSource.CLOSED) {
        this.source = null;
        this.retryUnlessRefused();
      }
    };
  }

  // EventSource does not tell why it failed: a file of the page, asked for with the same token,
  // tells a refusal (403) from a server that is not there (no answer).
  async retryUnlessRefused() {
    let status = 0;
    try {
      const probe = new URL('ui/shared/event_stream.js', document.baseURI);
      status = (await fetch(probe, { cache: 'no-store' })).status;
    } catch {
      // no server on the port (yet)
    }
    if (this.ended || this.source || this.paused) return;
    if (status === 403) {
      this.stop();
      this.onstatus('refused');
      return;
    }
    clearTimeout(this.retry);
    this.retry = setTimeout(() => this.start(), retryMs);
  }

  stop() {
    this.ended = true;
    this.close();
  }

  close() {
    clearTimeout(this.retry);
    this.retry = null;
    this.source?.close();
    this.source = null;
  }

  visibilityChanged() {
    if (this.ended) return;
    if (document.visibilityState === 'hidden') {
      this.close();
      this.paused = true;
      this.onstatus('paused');
    } else if (this.paused) {
      this.paused = false;
      this.onstatus('reconnecting');
      this.start();
    }
  }

  receive(event) {
    if (typeof event.seq === 'number') this.lastSeq = event.seq;
    if (event.type === 'closed') {
      this.stop();
      this.onstatus('closed');
      return;
    }
    if (event.type === 'behind') {
      this.onstatus('behind');
      return;
    }
    const handler = this.handlers[event.source];
    if (!handler) return;
    if (event.type === 'full') {
      handler.full?.(event.state);
      this.onstatus('open');
    } else if (event.type === 'fields') {
      handler.fields?.(event.fields);
    } else {
      handler.event?.(event);
    }
  }
}
