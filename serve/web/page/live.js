// SPDX-License-Identifier: GPL-3.0-or-later
// The live view: the server's state and the chart's pixel columns over one WebSocket, the
// settings and the start and stop button as the window has them.
"use strict";

const $ = (id) => document.getElementById(id);
let state = null;
let appliedSettings = "";
let chart = null;
let columns = null;  // {run, count, width, ch0: [min, max, ...], ch1: [...], filled}
let drawPending = false;
let socket = null;

function microvolts(code) {
  return (code - state.codeRule.midScale) * state.codeRule.microvoltsPerCode;
}

function connect() {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  socket = new WebSocket(`${scheme}//${location.host}/live/socket`);
  socket.onopen = () => sendWidth();
  socket.onmessage = (event) => {
    const message = JSON.parse(event.data);
    if (message.state) showState(message.state);
    if (message.chart) takeColumns(message.chart);
  };
  socket.onclose = () => {
    $("status").textContent = "サーバーとの接続が切れました。再接続します。。。";
    setTimeout(connect, 2000);
  };
}

function sendWidth() {
  if (socket && socket.readyState === WebSocket.OPEN) {
    socket.send(`columns ${Math.max(1, Math.round($("chart").clientWidth))}`);
  }
}

function fillChoices(select, texts) {
  if (select.options.length === texts.length) return;
  select.replaceChildren(...texts.map((text, i) => new Option(text, i)));
}

function showState(next) {
  state = next;
  fillChoices($("rate"), state.rates);
  fillChoices($("channel"), state.channels);
  $("count").max = state.countMost;
  if ($("counts").options.length === 0) {
    $("counts").replaceChildren(...state.counts.map((n) => new Option(n, n)));
  }
  // The instrument's settings replace the form's only when they changed there.
  const settings = JSON.stringify(state.settings);
  if (settings !== appliedSettings) {
    appliedSettings = settings;
    $("rate").value = state.settings.rate;
    $("count").value = state.settings.count;
    $("channel").value = state.settings.channel;
    document.querySelector(`input[name=filter][value=${state.settings.filter}]`).checked = true;
  }
  $("status").textContent = state.status;
  if (!state.running) $("progress").textContent = "";
  $("measure").textContent = state.busy ? "測定停止" : "測定開始";
  const locked = !state.control.allowed;
  $("measure").disabled = locked;
  for (const input of $("settings").querySelectorAll("select, input[type=number], input[name=filter]")) {
    input.disabled = locked || state.busy;
  }
  $("control-note").textContent = state.control.note;
  showResult();
}

function showResult() {
  const result = state.result;
  $("result").hidden = !result;
  if (!result) return;
  const volt = $("volt").checked;
  const lines = volt ? result.statistics.volts : result.statistics.codes;
  $("statistics").replaceChildren(...lines.map((line) => {
    const div = document.createElement("div");
    div.className = "statistics-line";
    div.textContent = line;
    return div;
  }));
  $("download-dta").classList.toggle("off", !result.dataFile);
  $("figures").replaceChildren(...result.figures.map(figureTable));
  const footnote = document.createElement("p");
  footnote.className = "note";
  footnote.textContent = result.footnote;
  $("figures").append(footnote);
}

function figureTable(channel) {
  const table = document.createElement("table");
  table.className = "figures";
  table.createCaption().textContent = `CH${channel.channel}`;
  for (const row of channel.rows) {
    const tr = table.insertRow();
    tr.insertCell().textContent = row.name;
    tr.insertCell().textContent = row.unit && row.value !== "—" ? `${row.value} ${row.unit}` : row.value;
    tr.insertCell().textContent = row.note;
  }
  return table;
}

function takeColumns(message) {
  if (!columns || columns.run !== message.run || columns.count !== message.count ||
      columns.width !== message.columns) {
    columns = {run: message.run, count: message.count, width: message.columns, ch0: null, ch1: null, filled: 0};
  }
  for (const name of ["ch0", "ch1"]) {
    const pairs = message[name];
    if (!pairs) continue;
    if (!columns[name]) columns[name] = [];
    columns[name].splice(2 * message.first, pairs.length, ...pairs);
  }
  columns.filled = Math.max(columns.ch0 ? columns.ch0.length / 2 : 0, columns.ch1 ? columns.ch1.length / 2 : 0);
  if (message.progress) $("progress").textContent = message.progress;
  scheduleDraw();
}

function scheduleDraw() {
  if (drawPending) return;
  drawPending = true;
  requestAnimationFrame(() => {
    drawPending = false;
    draw();
  });
}

// Codes and microvolts as the window's axes write them, not in exponent form.
function plain(value) {
  return String(Math.round(value * 100) / 100);
}

function draw() {
  if (!columns || !state) return;
  const volt = $("volt").checked;
  const value = volt ? microvolts : (code) => code;
  const names = ["ch0", "ch1"].filter((name) => columns[name]);
  const rows = [];
  for (let c = 0; c < columns.filled; c++) {
    const row = [Math.floor((c * columns.count) / columns.width) + 1];
    for (const name of names) {
      const pairs = columns[name];
      if (2 * c + 1 < pairs.length) {
        const low = value(pairs[2 * c]);
        const high = value(pairs[2 * c + 1]);
        row.push([low, (low + high) / 2, high]);
      } else {
        row.push(null);
      }
    }
    rows.push(row);
  }
  $("chart").dataset.filled = columns.filled;
  if (rows.length === 0 || names.length === 0) {
    if (chart) chart.updateOptions({file: [[0, ...names.map(() => null)]]});
    return;
  }
  const options = {
    file: rows,
    labels: ["データ番号", ...names.map((name) => name.toUpperCase())],
    customBars: true,
    ylabel: volt ? "電圧値 [uV]" : "AD変換値",
    xlabel: "データ番号",
    dateWindow: [1, columns.count],
    series: names.length === 2 ? {CH1: {axis: "y2"}} : {},
    y2label: names.length === 2 ? "CH1" : undefined,
    axes: {y: {axisLabelWidth: 80, axisLabelFormatter: plain},
           y2: {independentTicks: true, axisLabelWidth: 90, axisLabelFormatter: plain}},
    colors: names.map((name) => (name === "ch0" ? "#0000c0" : "#c00000")),
    animatedZooms: false,
    legend: "always",
  };
  if (!chart) {
    chart = new Dygraph($("chart"), rows, options);
  } else {
    chart.updateOptions(options);
  }
}

async function control(path) {
  $("refusal").textContent = "";
  const response = await fetch(path, {method: "POST", headers: {"X-Selkoran-Control": "1"},
                                      credentials: "same-origin"});
  if (!response.ok) $("refusal").textContent = (await response.text()).trim();
}

$("measure").addEventListener("click", () => {
  if (state && state.busy) {
    control("/control/stop");
    return;
  }
  const filter = document.querySelector("input[name=filter]:checked").value;
  const query = new URLSearchParams({rate: $("rate").value, filter,
                                     channel: $("channel").value, count: $("count").value});
  control(`/control/start?${query}`);
});
$("volt").addEventListener("change", () => {
  if (state) showResult();
  draw();
});
// A scroll bar that comes or goes changes the chart's width without resizing the window.
let widthSent = 0;
new ResizeObserver(() => {
  const width = Math.round($("chart").clientWidth);
  if (width === widthSent) return;
  widthSent = width;
  sendWidth();
  if (chart) chart.resize();
}).observe($("chart"));
connect();
