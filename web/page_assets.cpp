// The style sheet and the script of the results page (web/results_page.h).
#include "web/results_page.h"

QByteArray pageStyle()
{
    return QByteArrayLiteral(R"css(*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%;text-size-adjust:100%}
body{margin:0;font:16px/1.35 system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;background:#fff;color:#111}
header{padding:10px 12px;background:#12324a;color:#fff;position:sticky;top:0;z-index:1}
h1{font-size:1.25em;margin:0 0 2px;overflow-wrap:anywhere}
.asof{margin:0;font-size:.85em;opacity:.85}
#live{color:#8fe388}
.controls{display:flex;gap:8px;margin-top:8px}
.controls select,.controls input{flex:1 1 0;min-width:0;font-size:16px;padding:6px;border-radius:4px;border:1px solid #9ab}
main{padding:0 8px 24px}
h2{font-size:1.05em;margin:16px 4px 6px;overflow-wrap:anywhere}
table{width:100%;border-collapse:collapse;table-layout:fixed}
th,td{padding:6px 4px;border-bottom:1px solid #ddd;vertical-align:top}
th{font-size:.8em;text-align:left;color:#555;font-weight:600}
.pl{width:2.4em;text-align:right}
.tot{width:3.7em;text-align:right;font-weight:700}
.tb{width:2.2em;text-align:right;color:#444}
th.tot,th.tb,th.pl{text-align:right}
.nm{overflow-wrap:anywhere}
.name{display:block;font-weight:600}
.club{display:block;font-size:.85em;color:#555}
.tot small{display:block;font-weight:400;font-size:.75em;color:#a33}
.fault{color:#a00}
.empty{color:#666;margin:4px}
@media (max-width:330px){.tb{display:none}}
[hidden]{display:none!important}
body.hall{background:#101820;color:#f4f4f4;font-size:clamp(20px,2.6vw,52px)}
body.hall header{background:#0b1218;position:static}
body.hall .controls{display:none}
body.hall th,body.hall td{border-bottom-color:#2b3a48}
body.hall th,body.hall .club,body.hall .tb{color:#9fb3c8}
body.hall .list{display:none}
body.hall .list.current{display:block}
body.hall .pl{width:3em}
body.hall .tot{width:4.5em}
body.hall .tb{width:2.6em}
)css");
}

QByteArray pageScript()
{
    return QByteArrayLiteral(R"js((function () {
'use strict';
var hall = document.body.classList.contains('hall');
var chooser = document.getElementById('list');
var search = document.getElementById('search');
var main = document.getElementById('lists');
var asof = document.getElementById('asof');
var live = document.getElementById('live');
var shown = 0;

function el(tag, cls, text) {
  var e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function row(a) {
  var tr = el('tr');
  tr.appendChild(el('td', 'pl', String(a.place)));
  var nm = el('td', 'nm');
  nm.appendChild(el('span', 'name', a.name));
  nm.appendChild(el('span', 'club', a.country));
  tr.appendChild(nm);
  var tot = el('td', 'tot', String(a.total));
  if (a.arrows < a.arrowsPerCard) tot.appendChild(el('small', '', a.arrows + '/' + a.arrowsPerCard));
  tr.appendChild(tot);
  [a.tens, a.xs, a.nines].forEach(function (v) { tr.appendChild(el('td', 'tb', String(v))); });
  return tr;
}

function section(list) {
  var s = el('section', 'list');
  s.dataset.list = list.name;
  s.appendChild(el('h2', '', list.name));
  list.faults.forEach(function (f) { s.appendChild(el('p', 'fault', f)); });
  if (list.faults.length) return s;
  var table = el('table'), head = el('tr'), body = el('tbody');
  [['pl', '#'], ['nm', 'Name'], ['tot', 'Total'], ['tb', '10'], ['tb', 'X'], ['tb', '9']].forEach(function (h) {
    head.appendChild(el('th', h[0], h[1]));
  });
  var thead = el('thead');
  thead.appendChild(head);
  table.appendChild(thead);
  list.archers.forEach(function (a) { body.appendChild(row(a)); });
  table.appendChild(body);
  s.appendChild(table);
  if (!list.archers.length) s.appendChild(el('p', 'empty', 'No archers.'));
  return s;
}

function sections() { return Array.prototype.slice.call(main.querySelectorAll('section.list')); }

// The chosen list alone (or all), and in each only the archers whose name
// holds the searched text.
function apply() {
  var chosen = chooser.value, q = search.value.trim().toLowerCase();
  sections().forEach(function (s, i) {
    s.hidden = chosen !== '' && s.dataset.list !== chosen;
    s.classList.toggle('current', i === shown);
    Array.prototype.forEach.call(s.querySelectorAll('tbody tr'), function (tr) {
      var name = tr.querySelector('.name').textContent.toLowerCase();
      tr.hidden = q !== '' && name.indexOf(q) < 0;
    });
  });
}

function render(data) {
  var title = data.competition.name || 'Results';
  document.getElementById('competition').textContent = title;
  document.title = title;
  asof.dateTime = data.asOf;
  asof.textContent = new Date(data.asOf).toLocaleTimeString();
  var chosen = chooser.value;
  var options = [el('option', '', 'All lists')];
  options[0].value = '';
  data.lists.forEach(function (l) { options.push(el('option', '', l.name)); });
  chooser.replaceChildren.apply(chooser, options);
  chooser.value = data.lists.some(function (l) { return l.name === chosen; }) ? chosen : '';
  var y = window.scrollY;
  main.replaceChildren.apply(main, data.lists.map(section));
  if (shown >= data.lists.length) shown = 0;
  apply();
  if (!hall) window.scrollTo(0, y);
}

chooser.addEventListener('change', apply);
search.addEventListener('input', apply);
apply();

// The hall's screen turns its own pages: down a long list a screenful at a
// time, then on to the next list.
if (hall) {
  setInterval(function () {
    var all = sections();
    if (!all.length) return;
    var atEnd = window.innerHeight + window.scrollY >= document.body.scrollHeight - 2;
    if (atEnd) {
      shown = (shown + 1) % all.length;
      apply();
      window.scrollTo(0, 0);
    } else {
      window.scrollBy(0, window.innerHeight * 0.9);
    }
  }, 8000);
}

if (window.EventSource) {
  var events = new EventSource('/api/events');
  events.addEventListener('results', function (e) {
    render(JSON.parse(e.data));
    live.textContent = '\u25cf live';
  });
  events.onerror = function () { live.textContent = 'reconnecting\u2026'; };
}
})();
)js");
}
