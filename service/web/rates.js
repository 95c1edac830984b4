// The rate editor: reads what the printer holds, writes a changed table after a question.
// Whether a table fits the model is the service's (the driver's) decision: a refusal comes
// back naming its field ("rates.B"), and that field is marked.
import { call, printerPath } from "./api.js";
import { el, say, confirmed } from "./dom.js";
import { t, errorText } from "./i18n.js";
import { dailyReport } from "./printers.js";

const letters = ["A", "B", "C", "D", "E", "F", "G"];
let held = null; // {count, rates} as last read

const printerSelect = () => document.getElementById("rates-printer");
const result = () => document.getElementById("rates-result");

export function setupRates() {
  printerSelect().addEventListener("change", () => readRates());
  document.getElementById("rates-read").addEventListener("click", () => readRates());
  document.getElementById("rates-form").addEventListener("submit", (event) => {
    event.preventDefault();
    writeRates();
  });
}

export async function readRates() {
  const printer = printerSelect().value;
  if (!printer) return;
  result().replaceChildren();
  const answer = await call("GET", printerPath(printer) + "/rates");
  if (answer.status !== 200) {
    if (answer.status !== 401) say(errorText(answer.body?.error) || t("unreachable"), "error");
    return;
  }
  held = answer.body;
  renderRates();
}

const kindOf = (value) => (value === "exempt" || value === "reserved" ? value : "value");

export function renderRates() {
  const body = document.querySelector("#rates-table tbody");
  if (!held) {
    body.replaceChildren();
    return;
  }
  const rows = letters.slice(0, held.count).map((letter) => {
    const value = held.rates[letter];
    const kind = el("select", { id: "rate-kind-" + letter, "aria-label": t("rateKind") + " " + letter },
      ...["value", "exempt", "reserved"].map((k) =>
        el("option", { value: k, selected: kindOf(value) === k }, t("kind_" + k))));
    const input = el("input", { id: "rate-" + letter, type: "text", inputmode: "decimal",
                                "aria-label": t("rateValue") + " " + letter,
                                "aria-describedby": "rate-error-" + letter,
                                value: kindOf(value) === "value" ? value : "" });
    input.disabled = kind.value !== "value";
    kind.addEventListener("change", () => (input.disabled = kind.value !== "value"));
    return el("tr", { dataset: { letter } },
      el("th", { scope: "row" }, letter),
      el("td", {}, kind),
      el("td", {}, input, el("span", { class: "field-error", id: "rate-error-" + letter })),
      el("td", { dataset: { field: "held" } }, describe(value)));
  });
  body.replaceChildren(...rows);
}

function describe(value) {
  return kindOf(value) === "value" ? value + " %" : t("kind_" + value);
}

function table() {
  const rates = {};
  for (const letter of letters.slice(0, held?.count ?? 0)) {
    const kind = document.getElementById("rate-kind-" + letter).value;
    rates[letter] = kind === "value" ? document.getElementById("rate-" + letter).value.trim() : kind;
  }
  return rates;
}

function clearMarks() {
  for (const element of document.querySelectorAll("#rates-table [aria-invalid]")) {
    element.removeAttribute("aria-invalid");
  }
  for (const element of document.querySelectorAll("#rates-table .field-error")) {
    element.textContent = "";
  }
}

function mark(field, text) {
  const letter = /^rates\.([A-G])$/.exec(field || "")?.[1];
  if (!letter) return false;
  const kind = document.getElementById("rate-kind-" + letter);
  const input = document.getElementById("rate-" + letter);
  const target = kind.value === "value" ? input : kind;
  target.setAttribute("aria-invalid", "true");
  document.getElementById("rate-error-" + letter).textContent = text;
  target.focus();
  return true;
}

export async function writeRates() {
  const printer = printerSelect().value;
  if (!printer || !held) return;
  clearMarks();
  result().replaceChildren();
  if (!(await confirmed(t("ratesConfirm", { p: printer })))) return;
  const button = document.getElementById("rates-write");
  button.disabled = true;
  try {
    const body = { confirm: true, rates: table() };
    let answer = await call("PUT", printerPath(printer) + "/rates", body);
    if (answer.status === 409 && answer.body?.error?.code === 218) {
      // Receipts since the last daily report: the printer takes rates only after one.
      if (!(await confirmed(t("ratesDailyFirst", { p: printer })))) {
        result().replaceChildren(el("p", {}, t("ratesNotWritten")));
        return;
      }
      if (!(await dailyReport(printer, null, false))) return;
      answer = await call("PUT", printerPath(printer) + "/rates", body);
    }
    show(answer);
  } finally {
    button.disabled = false;
  }
}

function show(answer) {
  if (answer.status === 200) {
    held = { count: answer.body.count, rates: answer.body.rates };
    renderRates();
    const now = letters.slice(0, held.count).map((l) => `${l} ${describe(held.rates[l])}`).join(", ");
    result().replaceChildren(el("p", { class: answer.body.written ? "ok" : "info",
                                       dataset: { outcome: answer.body.written ? "written" : "unchanged" } },
      answer.body.written ? t("ratesWritten", { r: now }) : t("ratesUnchanged")));
    return;
  }
  if (answer.status === 401) return;
  const error = answer.body?.error;
  if (answer.status === 400 && mark(error?.field, errorText(error))) {
    result().replaceChildren(el("p", { class: "error-text", dataset: { outcome: "refused" } },
                                t("ratesRefused")));
    return;
  }
  result().replaceChildren(el("p", { class: "error-text", dataset: { outcome: "failed" } },
                              errorText(error) || t("unreachable")));
}
