"use strict";
// Sorting of the tables by any column and the filter boxes over the
// failing records. Without this script the page shows everything unsorted.
(function () {
  var root = document.documentElement;
  root.classList.remove("sem-script");
  function key(cell) {
    var v = cell.getAttribute("data-v");
    return v === null ? cell.textContent : parseFloat(v);
  }
  function sort(table, column, header) {
    var body = table.tBodies[0];
    var ascending = header.getAttribute("aria-sort") !== "ascending";
    var rows = Array.prototype.slice.call(body.rows);
    rows.sort(function (a, b) {
      var x = key(a.cells[column]), y = key(b.cells[column]);
      var order = typeof x === "number" && typeof y === "number" ? x - y : String(x).localeCompare(String(y), "pt-BR");
      return ascending ? order : -order;
    });
    rows.forEach(function (row) { body.appendChild(row); });
    Array.prototype.forEach.call(table.tHead.rows[0].cells, function (th) { th.removeAttribute("aria-sort"); });
    header.setAttribute("aria-sort", ascending ? "ascending" : "descending");
  }
  Array.prototype.forEach.call(document.querySelectorAll("table.ordenavel"), function (table) {
    Array.prototype.forEach.call(table.tHead.rows[0].cells, function (th, column) {
      var button = th.querySelector("button");
      if (button) button.addEventListener("click", function () { sort(table, column, th); });
    });
  });
  Array.prototype.forEach.call(document.querySelectorAll(".filtro input"), function (input) {
    var table = document.getElementById(input.getAttribute("aria-controls"));
    input.addEventListener("input", function () {
      var words = input.value.toLocaleLowerCase("pt-BR");
      Array.prototype.forEach.call(table.tBodies[0].rows, function (row) {
        row.hidden = words !== "" && row.textContent.toLocaleLowerCase("pt-BR").indexOf(words) < 0;
      });
    });
  });
})();
