// Shows the panel named by the fragment (#home by default) and talks to the
// portal's API: suggestions while a plot number is typed, the search, the
// payment.  Every action is one request, so each step of a run has its own
// entry in the page's resource timings.
function showPanel() {
  var name = location.hash.slice(1) || "home";
  document.querySelectorAll(".panel").forEach(function (panel) {
    panel.classList.toggle("current", panel.id === name);
  });
}

window.addEventListener("hashchange", showPanel);
showPanel();

function getJSON(url) {
  return fetch(url, {cache: "no-store"}).then(function (reply) {
    if (!reply.ok) throw new Error(url + " answered " + reply.status);
    return reply.json();
  });
}

function line(id, text, attrs) {
  var p = document.createElement("p");
  p.id = id;
  p.textContent = text;
  Object.keys(attrs || {}).forEach(function (name) { p.setAttribute(name, attrs[name]); });
  return p;
}

// Suggestions: one request once typing has paused.
var typing = null;
document.getElementById("search-box").addEventListener("input", function () {
  clearTimeout(typing);
  var plot = this.value;
  typing = setTimeout(function () {
    getJSON("api/suggest.json?plot=" + encodeURIComponent(plot)).then(function (answer) {
      var list = document.getElementById("plot-suggestions");
      list.replaceChildren.apply(list, answer.suggestions.map(function (value) {
        var option = document.createElement("option");
        option.value = value;
        return option;
      }));
    });
  }, 150);
});

document.getElementById("search-button").addEventListener("click", function () {
  var plot = document.getElementById("search-box").value;
  document.getElementById("query").textContent = "Results for plot " + plot;
  document.getElementById("results").hidden = false;
  var fees = document.getElementById("fees-due");
  getJSON("api/search.json?plot=" + encodeURIComponent(plot)).then(function (answer) {
    var pay = document.createElement("button");
    pay.id = "pay-button";
    pay.type = "button";
    pay.textContent = "Pay fees";
    pay.addEventListener("click", payFees);
    fees.replaceChildren(line("fees", "Fees due: " + answer.fees), pay);
  }).catch(function (error) {
    fees.replaceChildren(line("search-error", String(error)));
  });
});

function payFees() {
  var plot = document.getElementById("search-box").value;
  getJSON("api/payment.json?plot=" + encodeURIComponent(plot)).then(function (answer) {
    var payment = document.getElementById("payment");
    payment.textContent = "Paid. Receipt " + answer.receipt + ": ";
    var link = document.createElement("a");
    link.href = answer.receipt_url;
    link.textContent = answer.receipt_url;
    payment.appendChild(link);
  });
}
