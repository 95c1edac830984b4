// The page's words in Polish (the default) and English. Only words: every judgement of a
// printer, a rate or a receipt is the service's, shown as it answers.
const texts = {
  pl: {
    title: "Drukarki fiskalne", views: "Widoki", tabPrinters: "Drukarki", tabReceipts: "Paragony",
    tabRates: "Stawki VAT", switchTo: "English",
    tokenTitle: "Token dostępu",
    tokenWhy: "Usługa wymaga tokenu dostępu. Wpisz token z konfiguracji usługi.",
    tokenLabel: "Token", tokenSend: "Zaloguj", tokenWrong: "Token nie został przyjęty.",
    printer: "Drukarka", state: "Stan", stateAll: "wszystkie", model: "Model",
    connection: "Połączenie", paper: "Papier", receiptOpen: "Otwarty paragon", queue: "Kolejka",
    lastReceipt: "Ostatni paragon", lastDaily: "Ostatni raport dobowy", none: "brak",
    yes: "Tak", no: "Nie", dailyReport: "Raport dobowy",
    conn_connected: "połączona", conn_connecting: "łączenie…", conn_offline: "niedostępna",
    paper_ok: "jest", paper_out: "brak papieru", paper_unknown: "nieznany",
    stalled: "drukarka nie robi postępów", settling: "ustalanie wyniku paragonu",
    nextAttempt: "ponowna próba za {s} s",
    dailyConfirm: "Wydrukować raport dobowy na drukarce {p}? Raport zamyka dzień sprzedaży.",
    dailyDone: "Raport dobowy wydrukowany na drukarce {p}.",
    dailyNothing: "Drukarka {p}: od ostatniego raportu nic nie sprzedano, raport dobowy nie jest potrzebny.",
    reportNumber: "nr {n}", reportAt: "wydrukowany {t}",
    state_queued: "w kolejce", state_printing: "drukowany", state_printed: "wydrukowany",
    state_cancelled: "anulowany", state_failed: "niewydrukowany", state_unknown: "nieznany",
    unknownTitle: "Paragony o nieznanym wyniku",
    unknownWhy: "Koniec paragonu został wysłany, a drukarka nie mogła potwierdzić, czy go wydrukowała. Sprawdź wydruk (albo licznik paragonów drukarki). Jeśli paragonu nie ma, kasa może wysłać go ponownie z \"retry_unknown\": true; jeśli jest, sprzedaż została zawarta.",
    journal: "Dziennik", id: "Identyfikator", time: "Czas", total: "Suma", number: "Nr paragonu",
    open: "Szczegóły", more: "Starsze", noReceipts: "Brak paragonów.",
    items: "Pozycje", name: "Nazwa", quantity: "Ilość", unit: "J.m.", price: "Cena", rate: "Stawka",
    payments: "Płatności", amount: "Kwota", codes: "Kody sterownika", step: "Krok", note: "Uwaga",
    attempts: "Próby", close: "Zamknij", noCodes: "Brak kodów.",
    ratesRead: "Odczytaj", ratesCaption: "Stawki w drukarce", rateLetter: "Stawka",
    rateKind: "Rodzaj", rateValue: "Wartość (%)", rateHeld: "W drukarce", ratesWrite: "Zapisz stawki",
    kind_value: "procent", kind_exempt: "zwolniona", kind_reserved: "zarezerwowana",
    ratesConfirm: "Zapisać stawki w drukarce {p}? Każdy zapis zajmuje na zawsze miejsce w pamięci fiskalnej.",
    ratesDailyFirst: "Od ostatniego raportu dobowego wydano paragony, a drukarka przyjmuje stawki tylko zaraz po raporcie. Wydrukować teraz raport dobowy na drukarce {p}, a potem zapisać stawki?",
    ratesWritten: "Stawki zapisane. Drukarka ma teraz: {r}.",
    ratesUnchanged: "Bez zmian: drukarka ma już te stawki, nic nie zapisano w pamięci fiskalnej.",
    ratesRefused: "Drukarka nie przyjmie tych stawek; popraw zaznaczone pole.",
    ratesNotWritten: "Stawek nie zapisano.",
    loading: "Wczytywanie…", live: "Na żywo", reconnecting: "Połączenie z usługą przerwane, ponawiam…",
    unreachable: "Usługa nie odpowiada.",
  },
  en: {
    title: "Fiscal printers", views: "Views", tabPrinters: "Printers", tabReceipts: "Receipts",
    tabRates: "Tax rates", switchTo: "Polski",
    tokenTitle: "Access token",
    tokenWhy: "The service needs an access token. Enter the token from the service's configuration.",
    tokenLabel: "Token", tokenSend: "Sign in", tokenWrong: "The token was not accepted.",
    printer: "Printer", state: "State", stateAll: "all", model: "Model",
    connection: "Connection", paper: "Paper", receiptOpen: "Receipt open", queue: "Queue",
    lastReceipt: "Last receipt", lastDaily: "Last daily report", none: "none",
    yes: "Yes", no: "No", dailyReport: "Daily report",
    conn_connected: "connected", conn_connecting: "connecting…", conn_offline: "offline",
    paper_ok: "ok", paper_out: "out of paper", paper_unknown: "unknown",
    stalled: "the printer makes no progress", settling: "settling a receipt's outcome",
    nextAttempt: "next attempt in {s} s",
    dailyConfirm: "Print the daily report on printer {p}? The report closes the day's sales.",
    dailyDone: "Daily report printed on printer {p}.",
    dailyNothing: "Printer {p}: nothing was sold since the last report, no daily report is needed.",
    reportNumber: "no. {n}", reportAt: "printed {t}",
    state_queued: "queued", state_printing: "printing", state_printed: "printed",
    state_cancelled: "cancelled", state_failed: "failed", state_unknown: "unknown",
    unknownTitle: "Receipts whose outcome is unknown",
    unknownWhy: "The end of the receipt was sent and the printer could not tell whether it completed it. Look at the paper (or the printer's receipt counter). If the receipt is not there, the till may send it again with \"retry_unknown\": true; if it is, the sale is done.",
    journal: "Journal", id: "Id", time: "Time", total: "Total", number: "Receipt no.",
    open: "Details", more: "Older", noReceipts: "No receipts.",
    items: "Items", name: "Name", quantity: "Quantity", unit: "Unit", price: "Price", rate: "Rate",
    payments: "Payments", amount: "Amount", codes: "Driver codes", step: "Step", note: "Note",
    attempts: "Attempts", close: "Close", noCodes: "No codes.",
    ratesRead: "Read", ratesCaption: "Rates in the printer", rateLetter: "Rate",
    rateKind: "Kind", rateValue: "Value (%)", rateHeld: "In the printer", ratesWrite: "Write rates",
    kind_value: "percent", kind_exempt: "exempt", kind_reserved: "reserved",
    ratesConfirm: "Write the rates to printer {p}? Every write takes a place in the fiscal memory for good.",
    ratesDailyFirst: "Receipts were issued since the last daily report, and the printer takes rates only right after one. Print the daily report on printer {p} now, then write the rates?",
    ratesWritten: "Rates written. The printer now holds: {r}.",
    ratesUnchanged: "Unchanged: the printer already holds these rates; nothing was written to the fiscal memory.",
    ratesRefused: "The printer would not take these rates; correct the marked field.",
    ratesNotWritten: "The rates were not written.",
    loading: "Loading…", live: "Live", reconnecting: "The connection to the service broke, trying again…",
    unreachable: "The service does not answer.",
  },
};

let language = localStorage.getItem("tauravatd.language") === "en" ? "en" : "pl";

export function currentLanguage() {
  return language;
}

export function setLanguage(chosen) {
  language = chosen === "en" ? "en" : "pl";
  localStorage.setItem("tauravatd.language", language);
}

// The text of `key` with each {name} replaced by `values[name]`.
export function t(key, values = {}) {
  const text = texts[language][key] ?? texts.pl[key] ?? key;
  return text.replace(/\{(\w+)\}/g, (_, name) => String(values[name] ?? ""));
}

// Puts the words into the page's fixed elements (those marked data-text / data-label).
export function translatePage() {
  document.documentElement.lang = language;
  for (const element of document.querySelectorAll("[data-text]")) {
    element.textContent = t(element.dataset.text);
  }
  for (const element of document.querySelectorAll("[data-label]")) {
    element.setAttribute("aria-label", t(element.dataset.label));
  }
  const other = document.getElementById("language");
  other.textContent = t("switchTo");
  other.lang = language === "pl" ? "en" : "pl";
}

// The service's own message in the page's language, and its detail.
export function errorText(error) {
  if (!error) return "";
  const message = language === "en" ? error.message_en : error.message_pl;
  return [message, error.detail].filter(Boolean).join(" — ");
}

export function formatTime(text) {
  if (!text) return "";
  const date = new Date(text);
  if (Number.isNaN(date.getTime())) return text;
  return date.toLocaleString(language === "en" ? "en-GB" : "pl-PL");
}
