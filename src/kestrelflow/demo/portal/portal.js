// Shows the panel named by the fragment (#home by default) and answers searches.
function showPanel() {
  var name = location.hash.slice(1) || "home";
  document.querySelectorAll(".panel").forEach(function (panel) {
    panel.classList.toggle("current", panel.id === name);
  });
}

window.addEventListener("hashchange", showPanel);
showPanel();

document.getElementById("search-button").addEventListener("click", function () {
  var plot = document.getElementById("search-box").value;
  document.getElementById("query").textContent = "Results for plot " + plot;
  document.getElementById("results").hidden = false;
});
