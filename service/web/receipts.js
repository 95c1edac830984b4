// The journal of one printer, newest first, filtered by state; receipts whose outcome is
// unknown come first with what to do about them; one receipt's items and codes on request.
import { call, printerPath } from "./api.js";
import { el, say } from "./dom.js";
import { t, errorText, formatTime } from "./i18n.js";

let shown = []; // the entries in the list, newest first
let unknown = []; // the printer's unknown entries
let next = null;

const printerSelect = () => document.getElementById("receipt-printer");
const stateSelect = () => document.getElementById("receipt-state");

export function setupReceipts() {
  printerSelect().addEventListener("change", () => loadReceipts());
  stateSelect().addEventListener("change", () => loadReceipts());
  document.getElementById("receipt-more").addEventListener("click", () => loadReceipts(next));
}

export async function loadReceipts(before = null) {
  const printer = printerSelect().value;
  if (!printer) return;
  const state = stateSelect().value;
  const query = new URLSearchParams({ limit: "50" });
  if (state) query.set("state", state);
  if (before) query.set("before", before);
  const base = printerPath(printer) + "/receipts?";
  const [page, doubtful] = await Promise.all([
    call("GET", base + query),
    before ? null : call("GET", base + new URLSearchParams({ state: "unknown", limit: "100" })),
  ]);
  if (page.status !== 200) {
    if (page.status !== 401) say(errorText(page.body?.error) || t("unreachable"), "error");
    return;
  }
  shown = before ? shown.concat(page.body.receipts) : page.body.receipts;
  next = page.body.next;
  if (doubtful?.status === 200) unknown = doubtful.body.receipts;
  renderReceipts();
}

// A journal entry as it changed: placed in the list when it belongs there.
export function receiptEvent(entry) {
  if (entry.printer !== printerSelect().value) return;
  const state = stateSelect().value;
  const place = (list, belongs) => {
    const at = list.findIndex((e) => e.id === entry.id);
    if (at >= 0) {
      if (belongs) list[at] = entry;
      else list.splice(at, 1);
      return list;
    }
    return belongs ? [entry, ...list] : list;
  };
  shown = place(shown, !state || entry.state === state);
  unknown = place(unknown, entry.state === "unknown");
  renderReceipts();
}

export function renderReceipts() {
  const box = document.getElementById("unknown-box");
  box.hidden = unknown.length === 0;
  document.getElementById("unknown-list").replaceChildren(table(unknown, "unknown"));
  document.getElementById("receipt-list").replaceChildren(
    shown.length ? table(shown, "journal") : el("p", {}, t("noReceipts")));
  document.getElementById("receipt-more").hidden = !next;
}

function table(entries, which) {
  const head = el("tr", {},
    ...[["id"], ["time"], ["state"], ["total", "number"], ["number", "number"], [""]].map(
      ([key, cls]) => el("th", { scope: "col", class: cls }, key ? t(key) : "")));
  const rows = entries.map((entry) => {
    const open = el("button", { type: "button", "aria-label": t("open") + " " + entry.id },
                    t("open"));
    open.addEventListener("click", () => showReceipt(entry));
    return el("tr", { class: "state-" + entry.state, dataset: { id: entry.id, list: which } },
      el("td", {}, entry.id),
      el("td", {}, formatTime(entry.created)),
      el("td", { dataset: { field: "state" } }, t("state_" + entry.state)),
      el("td", { class: "number" }, entry.total),
      el("td", { class: "number" }, entry.receipt_number ?? "–"),
      el("td", {}, open));
  });
  return el("table", {}, el("thead", {}, head), el("tbody", {}, ...rows));
}

async function showReceipt(entry) {
  const detail = document.getElementById("receipt-detail");
  const path = printerPath(entry.printer) + "/receipts/" + encodeURIComponent(entry.id);
  const [current, content] = await Promise.all([call("GET", path), call("GET", path + "/request")]);
  const e = current.status === 200 ? current.body : entry;
  const close = el("button", { type: "button" }, t("close"));
  close.addEventListener("click", () => (detail.hidden = true));
  const parts = [
    el("h2", {}, `${e.id} · ${t("state_" + e.state)}`),
    el("p", {}, `${t("total")}: ${e.total} · ${t("number")}: ${e.receipt_number ?? "–"} · ` +
                `${t("attempts")}: ${e.attempts} · ${formatTime(e.updated)}`),
    e.note ? el("p", {}, `${t("note")}: ${e.note}`) : null,
  ];
  if (e.state === "unknown") parts.push(el("p", { class: "warn" }, t("unknownWhy")));
  if (content.status === 200) {
    const r = content.body;
    parts.push(el("table", { id: "receipt-items" },
      el("caption", {}, t("items")),
      el("thead", {}, el("tr", {}, ...["name", "quantity", "unit", "price", "rate"].map(
        (k) => el("th", { scope: "col" }, t(k))))),
      el("tbody", {}, ...r.items.map((item) => el("tr", {},
        el("td", {}, item.name), el("td", { class: "number" }, item.quantity),
        el("td", {}, item.unit ?? ""), el("td", { class: "number" }, item.price),
        el("td", {}, item.rate))))));
    if (r.payments?.length) {
      parts.push(el("table", {}, el("caption", {}, t("payments")),
        el("tbody", {}, ...r.payments.map((p) => el("tr", {},
          el("td", {}, p.name), el("td", { class: "number" }, p.amount))))));
    }
  }
  parts.push(e.codes.length
    ? el("table", { id: "receipt-codes" }, el("caption", {}, t("codes")),
        el("tbody", {}, ...e.codes.map((c) => el("tr", {},
          el("td", {}, c.step), el("td", {}, c.code), el("td", {}, c.name),
          el("td", {}, errorText(c))))))
    : el("p", {}, t("noCodes")));
  parts.push(close);
  detail.replaceChildren(...parts.filter(Boolean));
  detail.hidden = false;
  close.focus();
}
