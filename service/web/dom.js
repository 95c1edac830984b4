// Small helpers for building the page's elements (text only: nothing is parsed as markup)
// and for asking the user to confirm.
import { t } from "./i18n.js";

// el("td", {class: "number"}, "7.49", child, ...)
export function el(tag, attributes = {}, ...children) {
  const element = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === undefined || value === null || value === false) continue;
    if (name === "class") element.className = value;
    else if (name === "dataset") Object.assign(element.dataset, value);
    else element.setAttribute(name, value === true ? "" : value);
  }
  for (const child of children) {
    if (child === null || child === undefined) continue;
    element.append(child instanceof Node ? child : String(child));
  }
  return element;
}

let statusTimer;
// A message in the status line; `kind` "error" or "info".
export function say(text, kind = "info") {
  const status = document.getElementById("status");
  status.textContent = text;
  status.className = "status " + kind;
  clearTimeout(statusTimer);
  if (kind === "info" && text) statusTimer = setTimeout(() => (status.textContent = ""), 8000);
}

// Asks `question` in the page's dialog: true for yes.
export function confirmed(question) {
  const dialog = document.getElementById("confirm");
  document.getElementById("confirm-text").textContent = question;
  document.getElementById("confirm-yes").textContent = t("yes");
  document.getElementById("confirm-no").textContent = t("no");
  return new Promise((resolve) => {
    dialog.addEventListener("close", () => resolve(dialog.returnValue === "yes"), { once: true });
    dialog.returnValue = "";
    dialog.showModal();
    document.getElementById("confirm-no").focus();
  });
}
