// The printers' cards: each printer's state as the service shows it, its last receipt, its
// last daily report, and the daily report's button.
import { call, printerPath } from "./api.js";
import { el, say, confirmed } from "./dom.js";
import { t, errorText, formatTime } from "./i18n.js";

export const printers = new Map(); // name -> {status, lastReceipt, counters}

export async function loadPrinters() {
  const answer = await call("GET", "/v1/printers");
  if (answer.status !== 200) return answer;
  printers.clear();
  for (const status of answer.body.printers) printers.set(status.name, { status });
  renderCards();
  await Promise.all([...printers.keys()].map((name) => loadExtras(name)));
  return answer;
}

// The last receipt and the last daily report: asked apart, since the counters wait in the
// printer's queue.
async function loadExtras(name) {
  const [last, counters] = await Promise.all([
    call("GET", printerPath(name) + "/receipts?limit=1"),
    call("GET", printerPath(name) + "/counters"),
  ]);
  const printer = printers.get(name);
  if (!printer) return;
  if (last.status === 200) printer.lastReceipt = last.body.receipts[0] || null;
  if (counters.status === 200) printer.counters = counters.body;
  renderCard(name);
}

export function printerEvent(status) {
  const printer = printers.get(status.name);
  if (!printer) {
    printers.set(status.name, { status });
    renderCards();
    return;
  }
  printer.status = status;
  renderCard(status.name);
}

export function receiptEvent(entry) {
  const printer = printers.get(entry.printer);
  if (!printer) return;
  const last = printer.lastReceipt;
  if (!last || last.id === entry.id || entry.created >= last.created) {
    printer.lastReceipt = entry;
    renderCard(entry.printer);
  }
}

export function renderCards() {
  const cards = document.getElementById("printer-cards");
  cards.replaceChildren(
    ...[...printers.keys()].map((name) => el("article", { class: "card", id: cardId(name) })));
  for (const name of printers.keys()) renderCard(name);
}

const cardId = (name) => "printer-" + name;

function renderCard(name) {
  const card = document.getElementById(cardId(name));
  const printer = printers.get(name);
  if (!card || !printer) return;
  const s = printer.status;
  const heading = el("h2", { id: cardId(name) + "-name" }, s.name);
  card.setAttribute("aria-labelledby", heading.id);
  const connection = el("span", { class: "badge " + (s.connection === "connected" ? "ok" : "bad"),
                                   dataset: { field: "connection" } },
                        t("conn_" + s.connection));
  const why = [];
  if (s.connection === "offline" && s.last_error) why.push(errorText(s.last_error));
  if (s.next_attempt_ms !== null && s.connection !== "connected") {
    why.push(t("nextAttempt", { s: Math.ceil(s.next_attempt_ms / 1000) }));
  }
  if (s.stalled) why.push(t("stalled"));
  if (s.settlement_pending) why.push(t("settling"));
  const paperClass = s.paper === "ok" ? "ok" : s.paper === "out" ? "bad" : "warn";
  const paper = el("span", { class: "badge " + paperClass, dataset: { field: "paper" } },
                   t("paper_" + s.paper));
  const last = printer.lastReceipt;
  const lastText = last
    ? `${last.id} · ${t("state_" + last.state)} · ${last.total}` +
      (last.receipt_number !== null ? ` · #${last.receipt_number}` : "")
    : t("none");
  const c = printer.counters;
  const dailyText = c
    ? [t("reportNumber", { n: c.daily_report_number }),
       c.daily_report_time ? t("reportAt", { t: formatTime(c.daily_report_time) }) : ""]
        .filter(Boolean).join(", ")
    : "…";
  const model = s.model ? `${s.model.name} (${s.model.device_type}, v${s.model.version})` : "…";
  const button = el("button", { type: "button", class: "primary",
                                "aria-label": t("dailyReport") + " — " + s.name },
                    t("dailyReport"));
  button.addEventListener("click", () => dailyReport(name, button));
  card.replaceChildren(
    heading,
    el("dl", {},
       el("dt", {}, t("model")), el("dd", {}, model),
       el("dt", {}, t("connection")),
       el("dd", {}, connection, why.length ? el("div", { class: "bad", dataset: { field: "why" } },
                                                why.join("; ")) : null),
       el("dt", {}, t("paper")), el("dd", {}, paper),
       el("dt", {}, t("receiptOpen")),
       el("dd", { dataset: { field: "receipt-open" } }, s.receipt_open ? t("yes") : t("no")),
       el("dt", {}, t("queue")), el("dd", { dataset: { field: "queue" } }, s.queue_length),
       el("dt", {}, t("lastReceipt")), el("dd", { dataset: { field: "last-receipt" } }, lastText),
       el("dt", {}, t("lastDaily")), el("dd", { dataset: { field: "daily" } }, dailyText)),
    button);
}

// The daily report after a question. 211 (nothing sold since the last one) is news, not a
// fault.
export async function dailyReport(name, button, ask = true) {
  if (ask && !(await confirmed(t("dailyConfirm", { p: name })))) return false;
  if (button) button.disabled = true;
  try {
    const answer = await call("POST", printerPath(name) + "/reports/daily", { force: false });
    if (answer.status === 200) {
      say(t("dailyDone", { p: name }));
    } else if (answer.body?.error?.code === 211) {
      say(t("dailyNothing", { p: name }));
    } else if (answer.status !== 401) {
      say(errorText(answer.body?.error) || t("unreachable"), "error");
    }
    await loadExtras(name);
    return answer.status === 200 || answer.body?.error?.code === 211;
  } finally {
    if (button) button.disabled = false;
  }
}
