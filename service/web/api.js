// The service's interface as the page uses it: every request with the access token in the
// Authorization header (never in an address, never in a cookie), and the event stream read
// with fetch, since an EventSource cannot send that header.
const tokenKey = "tauravatd.token";
let token = sessionStorage.getItem(tokenKey) || "";
let onUnauthorized = () => {};

export function setToken(value) {
  token = value;
  if (value) sessionStorage.setItem(tokenKey, value);
  else sessionStorage.removeItem(tokenKey);
}

// `handler` runs when the service answers 401: the page hides its data and asks.
export function whenUnauthorized(handler) {
  onUnauthorized = handler;
}

function headers(extra = {}) {
  const all = { Accept: "application/json", ...extra };
  if (token) all.Authorization = "Bearer " + token;
  return all;
}

// {status, body}; body is the JSON answer (an error's is {error: {...}}). A service that
// cannot be reached gives status 0.
export async function call(method, path, body) {
  let response;
  try {
    response = await fetch(path, {
      method,
      headers: headers(body === undefined ? {} : { "Content-Type": "application/json" }),
      body: body === undefined ? undefined : JSON.stringify(body),
      credentials: "omit",
      cache: "no-store",
    });
  } catch {
    return { status: 0, body: null };
  }
  let parsed = null;
  try {
    parsed = await response.json();
  } catch {
    parsed = null;
  }
  if (response.status === 401) onUnauthorized();
  return { status: response.status, body: parsed };
}

export const printerPath = (name) => "/v1/printers/" + encodeURIComponent(name);

// Follows GET /v1/events until `signal` aborts: calls onEvent(name, data) for each event,
// onState("live" | "down" | "unauthorized") as the stream comes and goes, and connects
// again after a pause when it ends.
export async function followEvents(onEvent, onState, signal) {
  while (!signal.aborted) {
    try {
      const response = await fetch("/v1/events", {
        headers: headers({ Accept: "text/event-stream" }),
        credentials: "omit",
        cache: "no-store",
        signal,
      });
      if (response.status === 401) {
        onUnauthorized();
        onState("unauthorized");
        return;
      }
      if (response.ok && response.body) {
        onState("live");
        await readStream(response.body, onEvent);
      }
    } catch (error) {
      if (signal.aborted) return;
    }
    onState("down");
    await pause(3000, signal);
  }
}

async function readStream(body, onEvent) {
  const reader = body.pipeThrough(new TextDecoderStream()).getReader();
  let buffer = "";
  for (;;) {
    const { value, done } = await reader.read();
    if (done) return;
    buffer += value;
    let end;
    while ((end = buffer.indexOf("\n\n")) >= 0) {
      const block = buffer.slice(0, end);
      buffer = buffer.slice(end + 2);
      let name = "message";
      const data = [];
      for (const line of block.split("\n")) {
        if (line.startsWith("event:")) name = line.slice(6).trim();
        else if (line.startsWith("data:")) data.push(line.slice(5).trimStart());
      }
      if (data.length > 0) {
        try {
          onEvent(name, JSON.parse(data.join("\n")));
        } catch {
          // A malformed event is skipped; the next state of the same thing replaces it.
        }
      }
    }
  }
}

function pause(ms, signal) {
  return new Promise((resolve) => {
    const timer = setTimeout(resolve, ms);
    signal.addEventListener("abort", () => {
      clearTimeout(timer);
      resolve();
    }, { once: true });
  });
}
