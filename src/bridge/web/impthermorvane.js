// impthermorvane.js: the page's side of the label printing bridge.
//
// The bridge (`impthermorvane serve`) runs in the user's session and listens on
// the loopback address only. This module gives a page the control's object
// model over it: a print run is `await printer.print(params)`, whose promise
// holds the run's outcome, with the progress window's lines as callbacks.
// No dependencies; works as a module served by the bridge or copied next to
// the page.
//
//   import { ImpThermOrvane } from "./impthermorvane.js";
//   const printer = await ImpThermOrvane.connect();
//   const outcome = await printer.print({ prnType: "4", fileOut: "FILE", streamUrl, nbEtiquColis: "1" });
//
// Each user of a shared computer has a bridge of their own, on the first
// free port of PORT_RANGE from 9180 on; connect() looks through them for
// the bridge of the user whose browser runs the page.

const DEFAULT_PORT = 9180;
const PORT_RANGE = 8;
const DEFAULT_TIMEOUT_MS = 5000;
// The control sets its panel's caption to its module's name at every print run.
const PANEL_CAPTION = "ImpThermOrvane.ocx";

// Why a request did not become a print run (or why its outcome could not be
// learned). `code` is the bridge's error code ("origin-refused",
// "origin-queue-full", "queue-full", "bad-request", ...) or one of the
// client's own:
// "unreachable" (no bridge answered, or the browser blocked the request),
// "lost" (the bridge stopped answering during the run) and "bad-response".
export class ImpThermOrvaneError extends Error {
  constructor(code, message, httpStatus = 0) {
    super(message);
    this.name = "ImpThermOrvaneError";
    this.code = code;
    this.httpStatus = httpStatus;
  }
}

function loopbackHost(host) {
  const h = String(host ?? "127.0.0.1");
  // An IPv6 address goes in brackets in a URL.
  return h.includes(":") && !h.startsWith("[") ? `[${h}]` : h;
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

// The page parameters go as strings, as PARAM values do; numbers and
// booleans are written as a page would write them.
function paramsBody(params) {
  if (params === null || typeof params !== "object" || Array.isArray(params))
    throw new ImpThermOrvaneError("bad-request", "print() needs an object of page parameters, for example {prnType: \"4\"}");
  const out = {};
  for (const [name, value] of Object.entries(params)) {
    if (value === undefined || value === null) continue;
    if (typeof value === "string") out[name] = value;
    else if (typeof value === "number" || typeof value === "boolean") out[name] = String(value);
    else throw new ImpThermOrvaneError("bad-request", `the page parameter ${name} must be a string`);
  }
  return out;
}

function outcomeOf(raw, id) {
  if (!raw || typeof raw.status !== "number")
    throw new ImpThermOrvaneError("bad-response", "the bridge sent an outcome without a status");
  return {
    status: raw.status,
    message: typeof raw.message === "string" ? raw.message : "",
    labels: typeof raw.labels === "number" ? raw.labels : 0,
    failedRecord: typeof raw.failedRecord === "number" ? raw.failedRecord : null,
    id,
  };
}

// When no port has this user's bridge, the reason the page is told: a
// bridge that refuses the page's origin says more than another user's
// bridge, which says more than a port where nothing answers.
function telling(error) {
  return { "origin-refused": 3, "other-user": 2, unreachable: 0 }[error.code] ?? 1;
}

export class ImpThermOrvane {
  // Reaches this user's bridge on the first of `ports` ports from `port` on
  // whose bridge serves it (another user's answers "other-user") and checks
  // it speaks this client's API; rejects with the most telling reason
  // ("origin-refused", "other-user", "unreachable", ...) when none does.
  // `ports: 1` asks `port` alone.
  static async connect({ port = DEFAULT_PORT, ports = PORT_RANGE, host = "127.0.0.1", timeout = DEFAULT_TIMEOUT_MS } = {}) {
    let failure = null;
    const count = Math.max(1, Number(ports));
    for (let i = 0; i < count; i += 1) {
      const printer = new ImpThermOrvane(`http://${loopbackHost(host)}:${Number(port) + i}`, timeout);
      let error;
      try {
        const version = await printer._request("GET", "/v1/version");
        if (version && version.api === 1) {
          printer.version = version;
          return printer;
        }
        error = new ImpThermOrvaneError("bad-response", `the bridge at ${printer.url} speaks API ${version && version.api}, this client speaks 1`);
      } catch (e) {
        if (!(e instanceof ImpThermOrvaneError)) throw e;
        error = e;
      }
      if (!failure || telling(error) > telling(failure)) failure = error;
    }
    if (failure.code === "other-user")
      throw new ImpThermOrvaneError(
        "other-user",
        `no bridge on ports ${port} to ${Number(port) + count - 1} serves this user, only other users' bridges ` +
          'answer there: start this user\'s own with "impthermorvane serve"',
        failure.httpStatus,
      );
    throw failure;
  }

  constructor(url, timeout = DEFAULT_TIMEOUT_MS) {
    this.url = url;
    this.timeout = timeout;
    this.version = null;
    // Progress of every print run: {type: "caption"|"line"|"log"|"dropped", text, count}.
    this.onProgress = null;
    // The panel's events, raised when the panel is attached to an element.
    this.OnClick = null;
    this.OnDblClick = null;
    this.OnResize = null;
    this._caption = PANEL_CAPTION;
    this._visible = true;
    this._enabled = true;
    this._color = "";
    this._element = null;
    this._running = 0;
  }

  // The control's panel, drawn into an element of the page: its caption,
  // colour and visibility, and its click events.
  attach(element) {
    this._element = element;
    element.addEventListener("click", () => this._enabled && this.OnClick && this.OnClick());
    element.addEventListener("dblclick", () => this._enabled && this.OnDblClick && this.OnDblClick());
    if (typeof ResizeObserver === "function")
      new ResizeObserver(() => this.OnResize && this.OnResize()).observe(element);
    this._draw();
    return this;
  }

  get Caption() { return this._caption; }
  set Caption(value) { this._caption = String(value); this._draw(); }
  get Visible() { return this._visible; }
  set Visible(value) { this._visible = Boolean(value); this._draw(); }
  get Enabled() { return this._enabled; }
  set Enabled(value) { this._enabled = Boolean(value); this._draw(); }
  get Color() { return this._color; }
  set Color(value) { this._color = String(value); this._draw(); }
  // True while a print run of this page is queued or running.
  get Busy() { return this._running > 0; }

  _draw() {
    const e = this._element;
    if (!e) return;
    e.textContent = this._caption;
    e.hidden = !this._visible;
    e.setAttribute("aria-disabled", String(!this._enabled));
    e.style.backgroundColor = this._color;
  }

  // The installed printers: [{name, default}].
  async printers() {
    const answer = await this._request("GET", "/v1/printers");
    if (!answer || !Array.isArray(answer.printers))
      throw new ImpThermOrvaneError("bad-response", "the bridge sent no printer list");
    return answer.printers.map((p) => ({ name: String(p.name), default: Boolean(p.default) }));
  }

  // One print run with the page parameters of the control. Resolves with
  // {status, message, labels, failedRecord, id} when the run is over, whatever
  // its status (0 is a run without fault); rejects when the bridge refuses
  // the request or cannot be reached. `signal` (an AbortSignal) stops the
  // run within a second, in a download or a wait for the printer too (status
  // 5), or drops it from the queue.
  async print(params, { firstSlot, onProgress, signal } = {}) {
    const body = { params: paramsBody(params) };
    if (firstSlot !== undefined && firstSlot !== null) body.firstSlot = Number(firstSlot);
    this._running += 1;
    try {
      this.Caption = PANEL_CAPTION;
      const accepted = await this._request("POST", "/v1/print-runs", body);
      if (!accepted || typeof accepted.id !== "string")
        throw new ImpThermOrvaneError("bad-response", "the bridge accepted the print run without an id");
      const id = accepted.id;
      const report = (event) => {
        for (const f of [onProgress, this.onProgress]) {
          if (typeof f !== "function") continue;
          try { f(event); } catch (e) { setTimeout(() => { throw e; }); }
        }
      };
      let onAbort = null;
      if (signal) {
        onAbort = () => this.stop(id).catch(() => {});
        if (signal.aborted) onAbort();
        else signal.addEventListener("abort", onAbort, { once: true });
      }
      try {
        const outcome = await this._followEvents(id, report);
        return outcome ?? (await this._pollOutcome(id));
      } finally {
        if (onAbort) signal.removeEventListener("abort", onAbort);
      }
    } finally {
      this._running -= 1;
    }
  }

  // Stops a run within a second (or drops it from the queue).
  async stop(id) {
    await this._request("DELETE", `/v1/print-runs/${encodeURIComponent(id)}`);
  }

  // The run's state as the bridge keeps it: {id, state, outcome}.
  async run(id) {
    return this._request("GET", `/v1/print-runs/${encodeURIComponent(id)}`);
  }

  // Follows the run's event stream; returns its outcome, or null when the
  // stream broke before the end (the caller then asks for the state).
  // EventSource would reconnect by itself and the bridge replays a run's
  // events from the start, so it is closed at the first error instead.
  _followEvents(id, report) {
    const url = `${this.url}/v1/print-runs/${encodeURIComponent(id)}/events`;
    // Without EventSource (outside a browser) the caller asks for the state.
    if (typeof EventSource !== "function") return Promise.resolve(null);
    return new Promise((resolve) => {
      const source = new EventSource(url);
      const value = (message) => {
        try { return JSON.parse(message.data); } catch { return null; }
      };
      for (const type of ["caption", "line", "log"])
        source.addEventListener(type, (m) => {
          const v = value(m);
          if (v) report({ type, text: String(v.text) });
        });
      source.addEventListener("dropped", (m) => {
        const v = value(m);
        if (v) report({ type: "dropped", count: Number(v.count) });
      });
      source.addEventListener("outcome", (m) => {
        source.close();
        try { resolve(outcomeOf(value(m), id)); } catch { resolve(null); }
      });
      source.onerror = () => {
        source.close();
        resolve(null);
      };
    });
  }

  // Asks for the run's state until it is done.
  async _pollOutcome(id) {
    let failures = 0;
    for (let wait = 100; ; wait = Math.min(wait * 2, 1000)) {
      let state;
      try {
        state = await this.run(id);
        failures = 0;
      } catch (e) {
        if (e.code !== "unreachable" || ++failures >= 5)
          throw e.code === "unreachable"
            ? new ImpThermOrvaneError("lost", `the bridge at ${this.url} stopped answering during print run ${id}`)
            : e;
      }
      if (state && state.state === "done" && state.outcome) return outcomeOf(state.outcome, id);
      await sleep(wait);
    }
  }

  async _request(method, path, body) {
    const controller = new AbortController();
    const timer = setTimeout(() => controller.abort(), this.timeout);
    const init = { method, signal: controller.signal, cache: "no-store" };
    // The bridge takes a state-changing request only as JSON, which makes
    // the browser ask it first (a preflight); a DELETE says so too.
    if (method !== "GET") init.headers = { "Content-Type": "application/json" };
    if (body !== undefined) init.body = JSON.stringify(body);
    let response;
    try {
      response = await fetch(this.url + path, init);
    } catch {
      clearTimeout(timer);
      if (controller.signal.aborted)
        throw new ImpThermOrvaneError("unreachable", `the bridge at ${this.url} did not answer ${method} ${path} within ${this.timeout} ms`);
      throw await this._whyUnanswered();
    }
    clearTimeout(timer);
    let answer = null;
    const text = await response.text().catch(() => "");
    try { answer = text ? JSON.parse(text) : null; } catch { answer = null; }
    if (response.ok) {
      if (answer === null && method !== "DELETE")
        throw new ImpThermOrvaneError("bad-response", `the bridge's answer to ${method} ${path} is not JSON`, response.status);
      return answer;
    }
    const error = answer && answer.error;
    if (error && typeof error.code === "string")
      throw new ImpThermOrvaneError(error.code, String(error.message ?? error.code), response.status);
    throw new ImpThermOrvaneError("bad-response", `the bridge answered ${method} ${path} with HTTP ${response.status}`, response.status);
  }

  // A browser shows a page no answer that lacks CORS headers, and the bridge
  // gives none to an origin it refuses: the script is served to anyone, so
  // loading it tells a refused origin from a bridge that is not there (or
  // that the browser does not let this page reach). The page's own origin is
  // what its user must allow.
  async _whyUnanswered() {
    const origin = typeof location !== "undefined" ? location.origin : "this page";
    try {
      const controller = new AbortController();
      const timer = setTimeout(() => controller.abort(), this.timeout);
      await fetch(`${this.url}/impthermorvane.js`, { mode: "no-cors", cache: "no-store", signal: controller.signal });
      clearTimeout(timer);
      return new ImpThermOrvaneError(
        "origin-refused",
        `the bridge at ${this.url} does not allow pages of ${origin}: add "${origin}" to "origins" in its ` +
          `configuration file bridge.json (the bridge's log names it), or start it with --allow-origin ${origin}`,
        403,
      );
    } catch {
      return new ImpThermOrvaneError(
        "unreachable",
        `no bridge answered at ${this.url}: start it with "impthermorvane serve", ` +
          `or, for a site outside this network, have the administrator let ${origin} reach the local network ` +
          "(browser policy LocalNetworkAccessAllowedForUrls in Chromium and Chrome, LocalNetworkAccess SkipDomains " +
          "in Firefox)",
      );
    }
  }
}

export default ImpThermOrvane;
