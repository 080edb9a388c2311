// ZIV pages of the demo: the collection menu, the cashier search and the
// payment dialog.  Searches and payments go to the server; what a visitor
// does in the pages is reported to it as well.
(function () {
  "use strict";

  function send(method, url, body) {
    var request = new XMLHttpRequest();
    request.open(method, url, false);  // synchronous: done before the click returns
    if (body !== undefined) request.setRequestHeader("Content-Type", "application/json");
    request.send(body === undefined ? null : JSON.stringify(body));
    return request.status === 200 && request.responseText ? JSON.parse(request.responseText) : null;
  }

  function record(kind, detail) {
    send("POST", "/__record", {app: "ziv", kind: kind, detail: detail === undefined ? null : detail});
  }

  function esc(text) {
    return String(text).replace(/[&<>"']/g, function (c) {
      return {"&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;", "'": "&#39;"}[c];
    });
  }

  var current = {application: null, fees: []};

  // ---- the menu ------------------------------------------------------------

  function bindMenu() {
    var menu = document.getElementById("menu-collection");
    if (!menu) return;
    menu.addEventListener("click", function () {
      record("menu", menu.textContent);
      document.getElementById("menu-collection-items").hidden = false;
    });
  }

  // ---- the cashier search ------------------------------------------------------

  function renderFees() {
    var body = document.querySelector("table.fees tbody");
    body.innerHTML = current.fees.map(function (fee, index) {
      return "<tr><td><h3><a data-index=\"" + index + "\">" + esc(fee.title) + "</a></h3></td><td>" +
        esc(fee.amount) + "</td><td class=\"fee-state\">" + (fee.state === "paid" ? "مدفوع" : "غير مدفوع") + "</td></tr>";
    }).join("");
    body.querySelectorAll("a").forEach(function (a) {
      a.addEventListener("click", function () { openPayment(Number(a.dataset.index)); });
    });
  }

  function bindSearch() {
    var button = document.getElementById("B121349173117055956");
    if (!button) return;
    button.addEventListener("click", function () {
      var number = document.getElementById("P18_APLC_NO").value;
      var answer = send("GET", "/ords/api/fees?app=" + encodeURIComponent(number));
      current.application = number;
      current.fees = answer ? answer.fees : [];
      renderFees();
    });
  }

  // ---- the payment dialog ----------------------------------------------------------

  var NOTICE_PAID =
    "<div><div><div><div class=\"t-Alert-icon\">&#10003;</div><div><div><h2>تمت عملية الدفع بنجاح</h2></div></div></div></div></div>";
  var NOTICE_ALREADY =
    "<div><div><div><div class=\"t-Alert-icon\">!</div><div><div>تم سداد هذه الرسوم مسبقاً</div></div></div></div></div>";

  function summaryFrame(fee) {
    return "<!DOCTYPE html><html lang=\"ar\" dir=\"rtl\"><head><meta charset=\"utf-8\"></head><body>" +
      "<h3>" + esc(fee.title) + "</h3><p>المبلغ: " + esc(fee.amount) + "</p></body></html>";
  }

  function paymentFrame(fee) {
    return "<!DOCTYPE html><html lang=\"ar\" dir=\"rtl\"><head><meta charset=\"utf-8\">" +
      "<style>.methods li, .method { cursor: pointer; }</style></head><body>" +
      "<form onsubmit=\"return false\"><div>" +
      " <div class=\"t-Dialog-header\">دفع الرسوم</div>" +
      " <div><div><div>" +
      "  <span class=\"success\"></span>" +
      "  <span class=\"already\">" + (fee.state === "paid" ? NOTICE_ALREADY : "") + "</span>" +
      "  <div>" +
      "   <div class=\"fields\">" +
      "    <div id=\"P40008_PAYMENT_METHOD\" class=\"method\">طريقة الدفع</div>" +
      "    <ul class=\"methods\" hidden><li>نقدي</li><li>بطاقة ائتمان</li></ul>" +
      "    <div class=\"chosen\"></div>" +
      "   </div>" +
      "   <div><div><div>" +
      "    <div></div>" +
      "    <div>" +
      "     <div><button type=\"button\" class=\"pay\"><span>دفع</span></button></div>" +
      "     <div></div>" +
      "     <div><div><button type=\"button\" id=\"B173701938953932846\"><span>رجوع</span></button></div></div>" +
      "    </div>" +
      "   </div></div></div>" +
      "  </div>" +
      " </div></div></div>" +
      "</div></form></body></html>";
  }

  function writeFrame(dialog, html) {
    var frame = document.createElement("iframe");
    dialog.appendChild(frame);
    var doc = frame.contentDocument;
    doc.open();
    doc.write(html);
    doc.close();
    return doc;
  }

  function closeDialog() {
    var dialog = document.getElementById("payment-dialog");
    if (dialog) dialog.remove();
    renderFees();
  }

  function openPayment(index) {
    var fee = current.fees[index];
    record("open payment", {application: current.application, fee: index + 1});
    closeDialog();
    var dialog = document.createElement("div");
    dialog.id = "payment-dialog";
    dialog.setAttribute("role", "dialog");
    document.body.appendChild(dialog);
    if (fee.state === "noframe") {
      dialog.innerHTML = "<p>تعذر تحميل نموذج الدفع</p><button type=\"button\" id=\"B173701938953932846\"><span>رجوع</span></button>";
      dialog.querySelector("button").addEventListener("click", function () {
        record("back", {fee: index + 1});
        closeDialog();
      });
      return;
    }
    writeFrame(dialog, summaryFrame(fee));
    var doc = writeFrame(dialog, paymentFrame(fee));
    var method = null;
    doc.getElementById("P40008_PAYMENT_METHOD").addEventListener("click", function () {
      doc.querySelector(".methods").hidden = false;
    });
    doc.querySelectorAll(".methods li").forEach(function (li) {
      li.addEventListener("click", function () {
        method = li.textContent;
        doc.querySelector(".chosen").textContent = method;
        doc.querySelector(".methods").hidden = true;
        record("payment method", {fee: index + 1, method: method});
      });
    });
    doc.querySelector("button.pay").addEventListener("click", function () {
      if (!method || fee.state === "paid") {
        record("pay refused", {fee: index + 1, method: method, state: fee.state});
        return;
      }
      var answer = send("POST", "/ords/api/pay", {application: current.application, fee: index, method: method});
      if (answer && answer.state === "paid") {
        fee.state = "paid";
        doc.querySelector("span.success").innerHTML = NOTICE_PAID;
      }
    });
    doc.getElementById("B173701938953932846").addEventListener("click", function () {
      record("back", {fee: index + 1});
      closeDialog();
    });
  }

  document.addEventListener("DOMContentLoaded", function () {
    bindMenu();
    bindSearch();
  });
})();
