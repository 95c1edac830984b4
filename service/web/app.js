// The shop's page: printers, receipts and rates of one tauravatd, kept current by its event
// stream. Everything shown comes from the service's interface, as any client reads it.
import { call, followEvents, setToken, whenUnauthorized } from "./api.js";
import { say } from "./dom.js";
import { t, translatePage, setLanguage, currentLanguage } from "./i18n.js";
import * as cards from "./printers.js";
import * as journal from "./receipts.js";
import * as rates from "./rates.js";

const views = ["printers", "receipts", "rates"];
let events = null; // the AbortController of the event stream being followed

function showView(name) {
  for (const view of views) {
    const tab = document.getElementById("tab-" + view);
    tab.setAttribute("aria-selected", String(view === name));
    document.getElementById("view-" + view).hidden = view !== name;
  }
  if (name === "rates" && !document.querySelector("#rates-table tbody tr")) rates.readRates();
}

// Without the token the page shows nothing of the service's, only the question.
function askForToken(wrong) {
  events?.abort();
  events = null;
  for (const view of views) document.getElementById("view-" + view).hidden = true;
  document.querySelector("header nav").hidden = true;
  cards.printers.clear();
  cards.renderCards();
  const prompt = document.getElementById("token-prompt");
  prompt.hidden = false;
  say(wrong ? t("tokenWrong") : "", wrong ? "error" : "info");
  document.getElementById("token-input").focus();
}

function fillPrinterChoices() {
  for (const id of ["receipt-printer", "rates-printer"]) {
    const select = document.getElementById(id);
    const chosen = select.value;
    select.replaceChildren(...[...cards.printers.keys()].map((name) => new Option(name, name)));
    if (cards.printers.has(chosen)) select.value = chosen;
  }
}

async function start() {
  say(t("loading"));
  const answer = await cards.loadPrinters();
  if (answer.status === 401) return;
  if (answer.status !== 200) {
    say(t("unreachable"), "error");
    setTimeout(start, 5000);
    return;
  }
  document.getElementById("token-prompt").hidden = true;
  document.querySelector("header nav").hidden = false;
  const selected = views.find(
    (v) => document.getElementById("tab-" + v).getAttribute("aria-selected") === "true");
  showView(selected || "printers");
  fillPrinterChoices();
  say("");
  await Promise.all([journal.loadReceipts(), rates.readRates()]);
  events = new AbortController();
  followEvents(onEvent, onStreamState, events.signal);
}

function onEvent(name, data) {
  if (name === "printer") {
    const known = cards.printers.has(data.name);
    cards.printerEvent(data);
    if (!known) fillPrinterChoices();
  } else if (name === "receipt") {
    cards.receiptEvent(data);
    journal.receiptEvent(data);
  }
}

function onStreamState(state) {
  document.body.dataset.events = state;
  if (state === "down") say(t("reconnecting"), "error");
  if (state === "live" && document.getElementById("status").classList.contains("error")) say("");
}

function setup() {
  translatePage();
  for (const view of views) {
    document.getElementById("tab-" + view).addEventListener("click", () => showView(view));
  }
  document.getElementById("language").addEventListener("click", () => {
    setLanguage(currentLanguage() === "pl" ? "en" : "pl");
    translatePage();
    cards.renderCards();
    journal.renderReceipts();
    rates.renderRates();
  });
  let asked = false;
  whenUnauthorized(() => {
    askForToken(asked);
  });
  document.getElementById("token-prompt").addEventListener("submit", (event) => {
    event.preventDefault();
    asked = true;
    setToken(document.getElementById("token-input").value.trim());
    document.getElementById("token-input").value = "";
    start();
  });
  journal.setupReceipts();
  rates.setupRates();
  start();
}

setup();
