// The DEVU portal of the demo: one page routed by the fragment (#dashboard,
// #services, #service/<name>, #application/<number>, #landsearch).  What a
// visitor does (tabs, searches, choices, clicks) is reported to the server
// at once, so that a run can be checked afterwards.
(function () {
  "use strict";

  var query = new URLSearchParams(location.search);
  var LANG = query.get("lang") === "ar" ? "ar" : "en";
  // "default", "devu" (the DEVU list layout) or "forms" (the release whose
  // filters and search tabs sit inside app-form blocks).
  var LAYOUT = {devu: "devu", forms: "forms"}[query.get("layout")] || "default";

  var LABELS = {
    en: {home: "Home", services: "Services", landsearch: "Land search", all: "All",
         inbox: "My Inbox", pending: "Pending", completed: "Completed", search: " Search ",
         searchDevu: " Search", number: "Application number", searchOwner: "Search Owner",
         searchApp: "Search By Application", searchPlot: "Search By Plot", reset: "Reset",
         plotSearch: "Search", upload: "Upload official letter", details: "Application Details",
         cont: "Continue", finish: "Finish", select: "Select...", noResults: "No results found",
         loading: "Loading..."},
    ar: {home: "الرئيسية", services: "الخدمات", landsearch: "البحث عن الأراضي", all: "الكل",
         inbox: "صندوق الوارد", pending: "قيد الانتظار", completed: "مكتملة", search: " بحث ",
         searchDevu: " بحث", number: "رقم الطلب", searchOwner: "بحث بالمالك",
         searchApp: "بحث بالطلب", searchPlot: "بحث بالقطعة", reset: "إعادة تعيين",
         plotSearch: "بحث", upload: "رفع الخطاب الرسمي", details: "تفاصيل الطلب",
         cont: "متابعة", finish: "إنهاء", select: "اختر...", noResults: "لا توجد نتائج",
         loading: "Loading..."}
  };
  var T = LABELS[LANG];

  var DATA = null;

  function load(url) {
    var request = new XMLHttpRequest();
    request.open("GET", url, false);
    request.send();
    return JSON.parse(request.responseText);
  }

  // Synchronous on purpose: the event is on record before the click returns.
  function record(kind, detail) {
    var request = new XMLHttpRequest();
    request.open("POST", "/__record", false);
    request.setRequestHeader("Content-Type", "application/json");
    request.send(JSON.stringify({app: "devu", kind: kind, detail: detail === undefined ? null : detail}));
  }

  function esc(text) {
    return String(text).replace(/[&<>"']/g, function (c) {
      return {"&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;", "'": "&#39;"}[c];
    });
  }

  function $(selector, root) { return (root || document).querySelector(selector); }

  // ---- the loader ------------------------------------------------------------

  function showLoader(ms) {
    var loader = $(".page-loader");
    loader.textContent = T.loading;
    setTimeout(function () { loader.textContent = ""; }, ms === undefined ? 200 : ms);
  }

  // ---- views -------------------------------------------------------------------

  var state = {tab: "all", filter: "", ownerTable: null};

  function applicationRows(list) {
    return list.map(function (a) {
      return "<tr><td class=\"app-number\">" + esc(a.number) + "</td><td>" + esc(a.service) +
             "</td><td>" + esc(a.status) + "</td></tr>";
    }).join("");
  }

  function listedApplications() {
    return DATA.applications.filter(function (a) {
      var inTab = state.tab === "all" || a.status === state.tab;
      var matches = !state.filter || a.number.indexOf(state.filter) !== -1;
      return inTab && matches;
    });
  }

  function renderDashboard() {
    if (LAYOUT === "devu") return renderDashboardDevu();
    if (LAYOUT === "forms") return renderDashboardForms();
    var filterDivs = "";
    // Search buttons at the top (5), in the compact toolbar (7) and at the
    // end (8) of the filter form; they all do the same.
    for (var i = 2; i <= 8; i++) {
      if (i === 5 || i === 7 || i === 8) {
        filterDivs += "<div><div><button type=\"button\" class=\"inbox-search\">" + esc(T.search) + "</button></div></div>";
      } else {
        filterDivs += "<div class=\"filter-slot\"></div>";
      }
    }
    var html =
      "<div>" +
      " <div class=\"crumbs\">" + esc(T.home) + "</div>" +
      " <div class=\"stats\"></div>" +
      " <div class=\"news\"></div>" +
      " <div>" +
      "  <div><div>" +
      "   <div class=\"filters-title\">" + esc(T.number) + "</div>" +
      "   <div><div><form id=\"inbox_filters\" onsubmit=\"return false\">" +
      "    <div><div><input id=\"inbox_filters_1\" type=\"text\" autocomplete=\"off\"></div></div>" +
           filterDivs +
      "   </form></div></div>" +
      "  </div></div>" +
      "  <div><application-list><div>" +
      "   <div><div class=\"tabs\">" +
      "    <a data-tab=\"all\">" + esc(T.all) + "</a><a data-tab=\"inbox\">" + esc(T.inbox) +
      "</a><a data-tab=\"pending\">" + esc(T.pending) + "</a><a data-tab=\"completed\">" + esc(T.completed) + "</a>" +
      "   </div></div>" +
      "   <div><table class=\"applications\"><tbody>" + applicationRows(listedApplications()) + "</tbody></table></div>" +
      "  </div></application-list></div>" +
      " </div>" +
      "</div>";
    $("#view").innerHTML = html;
    $("#view").querySelectorAll(".tabs a").forEach(function (a) {
      if (a.dataset.tab === state.tab) a.classList.add("active");
      a.addEventListener("click", function () {
        state.tab = a.dataset.tab;
        record("inbox tab", a.textContent);
        renderDashboard();
      });
    });
    $("#view").querySelectorAll("button.inbox-search").forEach(function (button) {
      button.addEventListener("click", function () {
        state.filter = $("#inbox_filters_1").value;
        record("inbox search", state.filter);
        showLoader();
        $("table.applications tbody").innerHTML = applicationRows(listedApplications());
        bindRows();
      });
    });
    $("#inbox_filters_1").value = state.filter;
    bindRows();
  }

  function renderDashboardForms() {
    var html =
      "<div>" +
      " <div class=\"crumbs\">" + esc(T.home) + "</div>" +
      " <div><table class=\"applications\"><tbody>" + applicationRows(listedApplications()) + "</tbody></table></div>" +
      " <div><div><div>" +
      "  <div class=\"filters-title\">" + esc(T.number) + "</div>" +
      "  <div>" +
      "   <div><form onsubmit=\"return false\"><div><div class=\"number-filter\" contenteditable=\"true\"></div></div></form></div>" +
      "   <app-form><form onsubmit=\"return false\"><div></div><div><div><div><button type=\"button\" id=\"forms-search\"><span>" +
           esc(T.search) + "</span><i class=\"icon\">&#128269;</i></button></div></div></div></form></app-form>" +
      "  </div>" +
      " </div></div></div>" +
      "</div>";
    $("#view").innerHTML = html;
    $("#forms-search").addEventListener("click", function () {
      searchApplications($("#view .number-filter").textContent.trim());
    });
    bindRows();
  }

  function renderDashboardDevu() {
    var html =
      "<div>" +
      " <div class=\"crumbs\">" + esc(T.home) + "</div>" +
      " <div id=\"datatable_filters\"><app-form><form onsubmit=\"return false\">" +
      "  <div><label>" + esc(T.number) + "</label><input id=\"applicationNumber_input\" type=\"text\" autocomplete=\"off\"></div>" +
      "  <div><div><div><button type=\"button\" id=\"devu-search\"><i class=\"icon\">&#128269;</i>" + esc(T.searchDevu) + "</button></div></div></div>" +
      " </form></app-form></div>" +
      " <div><table class=\"applications\"><tbody>" + applicationRows(listedApplications()) + "</tbody></table></div>" +
      "</div>";
    $("#view").innerHTML = html;
    $("#devu-search").addEventListener("click", function () {
      searchApplications($("#applicationNumber_input").value);
    });
    bindRows();
  }

  // Lists the applications for the filter, behind the loader.
  function searchApplications(filter) {
    state.filter = filter;
    record("inbox search", state.filter);
    showLoader();
    $("table.applications tbody").innerHTML = applicationRows(listedApplications());
    bindRows();
  }

  function bindRows() {
    $("#view").querySelectorAll("td.app-number").forEach(function (td) {
      td.addEventListener("click", function () {
        record("open application", td.textContent);
        location.hash = "#application/" + td.textContent;
      });
    });
  }

  function renderServices() {
    var html =
      "<div>" +
      " <div><div><div><span class=\"search-box\"><input id=\"fontawsome-search\" type=\"text\" autocomplete=\"off\"></span></div></div></div>" +
      " <div class=\"cards\"></div>" +
      "</div>";
    $("#view").innerHTML = html;
    var box = $("#fontawsome-search");
    function cards() {
      var wanted = box.value.toLowerCase();
      $("#view .cards").innerHTML = DATA.services.filter(function (s) {
        return s.name.toLowerCase().indexOf(wanted) !== -1;
      }).map(function (s) {
        return "<div class=\"card\"><a><span>" + esc(s.name) + "</span><div>" + esc(s.description) + "</div></a></div>";
      }).join("");
      $("#view").querySelectorAll(".card a").forEach(function (a) {
        a.addEventListener("click", function () {
          var name = a.querySelector("span").textContent;
          record("open service", name);
          location.hash = "#service/" + encodeURIComponent(name);
        });
      });
    }
    box.addEventListener("input", cards);
    cards();
  }

  function renderService(name) {
    $("#view").innerHTML = "<div><div><h2 id=\"service-title\">" + esc(name) + "</h2></div></div>";
  }

  function detailRows(a, labels) {
    return "<div class=\"details\">" + labels.map(function (pair) {
      return "<div><span class=\"label\">" + esc(pair[0]) + "</span> <span class=\"value\">" + esc(a[pair[1]] || "") + "</span></div>";
    }).join("") + "</div>";
  }

  var EN_LABELS = [["Service", "service"], ["Application Number", "number_shown"],
                   ["Application Start Date", "start"], ["On Behalf Of", "on_behalf_of"],
                   ["Submit Date", "submitted"], ["Current Inbox", "inbox"]];
  var AR_LABELS = [["الخدمة", "service"], ["رقم الطلب", "number_shown"], ["تاريخ بدء الطلب", "start"],
                   ["نيابة عن", "on_behalf_of"], ["تاريخ التقديم", "submitted"], ["الصندوق الحالي", "inbox"]];

  function renderApplication(number) {
    var a = DATA.applications.filter(function (x) { return x.number === number; })[0];
    if (!a) { $("#view").innerHTML = "<div><div>Not found</div></div>"; return; }
    if (a.number_shown === undefined) a.number_shown = a.number;
    var labels = a.layout === "arabic" ? AR_LABELS : EN_LABELS;
    var header = "<div><h2>" + esc(a.service) + "</h2></div>";
    var actions = "<div><button type=\"button\" id=\"upload-letter\">" + esc(T.upload) + "</button></div>";
    var numberPanel =
      "<div><div>" + esc(T.number) + "</div><div class=\"widget-body app-application-details\"><div>" +
      "<div class=\"icon\">#</div>" +
      "<div id=\"number-panel\"><div class=\"label\">Application Number</div> <div class=\"value\"><span data-bind=\"text: applicationNumber\">" +
      esc(a.number_shown) + "</span></div></div>" +
      "</div></div></div>";
    var html;
    if (a.layout === "long") {
      var panel = function (title, body) { return "<div><div>" + esc(title) + "</div><div><div>" + body + "</div></div></div>"; };
      html = "<div>" + header + actions + panel("Summary", "Fees due: 2") + numberPanel +
        panel("History", "Submitted by the applicant") + panel("Documents", "Site plan.pdf") +
        panel(T.details, detailRows(a, labels)) + "</div>";
    } else if (a.layout === "reservation") {
      html = "<div>" + header + actions +
        "<div><div>" + esc(T.details) + "</div><div><div>" + esc(a.service) + "</div></div></div>" +
        numberPanel +
        "<div><div>Reservation</div><div><div>Reservation summary</div><div><div>" + esc(T.details) + "</div><div>" +
        detailRows(a, labels) + "</div></div></div></div>" +
        "</div>";
    } else {
      html = "<div" + (a.layout === "arabic" ? " dir=\"rtl\"" : "") + ">" + header + actions +
        "<div><div>" + esc(T.details) + "</div><div><div>" + detailRows(a, labels) + "</div></div></div>" +
        numberPanel + "</div>";
    }
    $("#view").innerHTML = html;
    $("#upload-letter").addEventListener("click", function () { record("upload clicked", number); });
  }

  // ---- select2-style lists -------------------------------------------------------

  function closePanel() {
    var open = document.querySelector("body > span.select2-container");
    if (open) open.remove();
  }

  function select2(id, options, onChoose) {
    var container = document.getElementById("select2-" + id + "-container");
    container.addEventListener("click", function () {
      closePanel();
      var panel = document.createElement("span");
      panel.className = "select2-container select2-container--open";
      panel.innerHTML = "<span class=\"select2-dropdown\"><span class=\"select2-search\"><input class=\"select2-search__field\" type=\"search\" autocomplete=\"off\"></span>" +
        "<span class=\"select2-results\"><ul></ul></span></span>";
      document.body.appendChild(panel);
      var input = panel.querySelector("input");
      function fill() {
        var wanted = input.value.toLowerCase();
        var shown = options.filter(function (o) { return o.toLowerCase().indexOf(wanted) !== -1; });
        var ul = panel.querySelector("ul");
        if (!shown.length) {
          ul.innerHTML = "<li class=\"select2-results__message\">" + esc(T.noResults) + "</li>";
          return;
        }
        ul.innerHTML = shown.map(function (o) { return "<li class=\"select2-results__option\">" + esc(o) + "</li>"; }).join("");
        ul.querySelectorAll("li").forEach(function (li) {
          li.addEventListener("click", function () {
            container.textContent = li.textContent;
            record("choose " + id, li.textContent);
            onChoose(li.textContent);
            closePanel();
          });
        });
      }
      input.addEventListener("input", fill);
      fill();
      input.focus();
    });
  }

  // ---- land search -----------------------------------------------------------------

  var criteria = {};

  function flagSpan(binding, value) {
    if (value === "absent") return "";
    return "<span data-bind=\"if: " + binding + "\" class=\"flag\"" + (value ? "" : " style=\"display:none\"") + ">&#9873;</span>";
  }

  function plotRow(p) {
    var flags = p.broken ? "<td></td><td></td>" :
      "<td>" + flagSpan("hasBlock", p.hasBlock) + "</td><td>" + flagSpan("hasMortgage", p.hasMortgage) + "</td>";
    return "<tr data-bind=\"css: { selected: item.selected }\"><td><label><input type=\"checkbox\"" +
      (p.selected ? " checked" : "") + "></label></td>" +
      "<td>" + esc(p.municipalityName) + "</td><td>" + esc(p.districtName) + "</td><td>" + esc(p.communityName) +
      "</td><td>" + esc(p.roadName) + "</td><td>" + esc(p.plotNumber) + "</td><td>" + esc(p.landUseName) + "</td>" +
      flags + "</tr>";
  }

  function ownerRow(p) {
    return "<tr><td><label><input type=\"checkbox\" data-plot=\"" + esc(p.plotNumber) + "\"></label></td>" +
      "<td data-bind=\"text: municipalityName\">" + esc(p.municipalityName) + "</td>" +
      "<td data-bind=\"text: districtName\">" + esc(p.districtName) + "</td>" +
      "<td data-bind=\"text: communityName\">" + esc(p.communityName) + "</td>" +
      "<td data-bind=\"text: roadName\">" + esc(p.roadName) + "</td>" +
      "<td data-bind=\"text: plotNumber\">" + esc(p.plotNumber) + "</td>" +
      "<td data-bind=\"text: landUseName\">" + esc(p.landUseName) + "</td>" +
      "<td>" + flagSpan("hasBlock", p.hasBlock) + "</td><td>" + flagSpan("hasMortgage", p.hasMortgage) + "</td></tr>";
  }

  // The "forms" release puts the search block inside app-form > form.  The
  // plot pane holds a form of its own, and the HTML parser drops a form
  // nested in another, so the wrapper is built node by node.
  function wrapInAppForm(block) {
    var appForm = document.createElement("app-form");
    var form = document.createElement("form");
    var heading = document.createElement("div");
    var body = document.createElement("div");
    heading.className = "search-heading";
    while (block.firstChild) body.appendChild(block.firstChild);
    form.appendChild(heading);
    form.appendChild(body);
    form.addEventListener("submit", function (event) { event.preventDefault(); });
    appForm.appendChild(form);
    block.appendChild(appForm);
  }

  function renderLandSearch() {
    var html =
      "<div>" +
      " <div><h2>" + esc(T.landsearch) + "</h2></div>" +
      " <div><div><div class=\"land-search\">" +
      "  <div class=\"search-heading\"></div>" +
      "  <div>" +
      "   <ul class=\"nav-tabs\"><li data-pane=\"owner\"><a>" + esc(T.searchOwner) + "</a></li><li data-pane=\"application\" class=\"active\"><a>" +
           esc(T.searchApp) + "</a></li><li data-pane=\"plot\"><a>" + esc(T.searchPlot) + "</a></li></ul>" +
      "   <div>" +
      "    <div class=\"pane\" data-pane=\"owner\" hidden><app-list><div>" +
      "     <div><label>National number</label> <input id=\"nationalNumber_input\" type=\"text\" autocomplete=\"off\"></div>" +
      "     <div class=\"owner-results\"></div>" +
      "    </div></app-list></div>" +
      "    <div class=\"pane\" data-pane=\"application\"><div>" + esc(T.number) + " <input type=\"text\"></div></div>" +
      "    <div class=\"pane\" data-pane=\"plot\" hidden><app-list><app-form><form onsubmit=\"return false\">" +
      "     <div class=\"criteria\">" +
      "      <div>Municipality <span class=\"select2-selection\" id=\"select2-municipalityId_input-container\">" + esc(T.select) + "</span></div>" +
      "      <div>Plot number <input id=\"plotNumber_input\" type=\"text\" autocomplete=\"off\"></div>" +
      "      <div>District / zone <span class=\"select2-selection\" id=\"select2-districtId_input-container\">" + esc(T.select) + "</span></div>" +
      "      <div>Land use <span class=\"select2-selection\" id=\"select2-landuseId_input-container\">" + esc(T.select) + "</span></div>" +
      "     </div>" +
      "     <div><div></div><div><div><button type=\"button\" id=\"plot-reset\">" + esc(T.reset) +
      "</button><button type=\"button\" id=\"plot-search\"><i class=\"icon\">&#128269;</i>" + esc(T.plotSearch) + "</button></div></div></div>" +
      "    </form></app-form><div class=\"plot-results\"></div></app-list></div>" +
      "   </div>" +
      "  </div>" +
      " </div></div></div>" +
      "</div>";
    $("#view").innerHTML = html;
    if (LAYOUT === "forms") wrapInAppForm($("#view .land-search"));
    criteria = {};
    $("#view").querySelectorAll("ul.nav-tabs li").forEach(function (li) {
      li.addEventListener("click", function () {
        record("land search tab", li.textContent);
        $("#view").querySelectorAll("ul.nav-tabs li").forEach(function (x) { x.classList.toggle("active", x === li); });
        $("#view").querySelectorAll(".pane").forEach(function (p) { p.hidden = p.dataset.pane !== li.dataset.pane; });
      });
    });
    select2("municipalityId_input", DATA.municipalities, function (v) { criteria.municipality = v; });
    select2("districtId_input", DATA.districts, function (v) { criteria.district = v; });
    select2("landuseId_input", DATA.land_uses, function (v) { criteria.land_use = v; });
    $("#plot-search").addEventListener("click", function () {
      criteria.plot_number = $("#plotNumber_input").value;
      record("plot search", criteria);
      showLoader();
      var found = DATA.plots.filter(function (p) {
        return p.municipalityName === criteria.municipality && p.districtName === criteria.district &&
               p.landUseName === criteria.land_use && p.plotNumber === criteria.plot_number;
      });
      $(".plot-results").innerHTML = "<table class=\"table table-striped table-bordered table-hover\"><tbody>" +
        found.map(plotRow).join("") + "</tbody></table>";
    });
    var national = $("#nationalNumber_input");
    national.addEventListener("keydown", function (event) {
      if (event.key !== "Enter") return;
      record("owner search", national.value);
      showLoader();
      var owner = DATA.owners[national.value];
      var results = $(".owner-results");
      if (!owner) { results.innerHTML = "<div class=\"empty\">" + esc(T.noResults) + "</div>"; return; }
      results.innerHTML = "<table class=\"" + esc(owner.table_class) + "\"><tbody>" + owner.plots.map(ownerRow).join("") + "</tbody></table>";
      results.querySelectorAll("input[type=checkbox]").forEach(function (box) {
        box.addEventListener("change", function () { record("owner plot ticked", {plot: box.dataset.plot, checked: box.checked}); });
      });
    });
  }

  // ---- the introduction tour ---------------------------------------------------------

  function renderTour(stage) {
    var tour = $("#intro-tour");
    if (stage > 3) { tour.hidden = true; record("intro finished"); return; }
    tour.hidden = false;
    var button = function (label) { return "<div class=\"tour-button\" data-next=\"" + (stage + 1) + "\">" + esc(label) + "</div>"; };
    var panel;
    if (stage === 1) panel = "<div>Welcome to the portal.</div><div></div><div><div>" + button(T.cont) + "</div></div>";
    else if (stage === 2) panel = "<div>Find your services here.</div><div><div>" + button(T.cont) + "</div></div>";
    else panel = "<div>Your inbox lists your applications.</div><div><div><div>" + button(T.finish) + "</div></div></div>";
    $("#tour-steps").innerHTML = "<div class=\"tour-progress\">" + stage + " / 3</div><div>" + panel + "</div>";
    $("#tour-steps .tour-button").addEventListener("click", function (event) {
      record("intro " + event.target.textContent);
      renderTour(stage + 1);
    });
  }

  // ---- routing -------------------------------------------------------------------

  function route() {
    closePanel();
    var hash = decodeURIComponent(location.hash.replace(/^#/, "")) || "dashboard";
    showLoader();
    if (hash === "dashboard") renderDashboard();
    else if (hash === "services") renderServices();
    else if (hash.indexOf("service/") === 0) renderService(hash.slice(8));
    else if (hash.indexOf("application/") === 0) renderApplication(hash.slice(12));
    else if (hash === "landsearch") renderLandSearch();
    $(".page-title").textContent = hash;
  }

  document.addEventListener("DOMContentLoaded", function () {
    DATA = load("/__data");
    if (LANG === "ar") { document.documentElement.lang = "ar"; document.documentElement.dir = "rtl"; }
    document.querySelectorAll(".top-menu li").forEach(function (li) {
      var a = li.querySelector("a");
      a.textContent = T[a.dataset.label];
      li.addEventListener("click", function () {
        record("menu", li.dataset.route);
        location.hash = "#" + li.dataset.route;
      });
    });
    window.addEventListener("hashchange", route);
    route();
    if (query.get("intro") === "1") renderTour(1);
  });

  // Lets a demo or a test change the number panel while the page is open.
  window.devu = {
    setShownNumber: function (text) {
      var span = document.querySelector("span[data-bind='text: applicationNumber']");
      var details = document.querySelectorAll(".details .value")[1];
      if (span) span.textContent = text;
      if (details) details.textContent = text;
    }
  };
})();
