// SPDX-License-Identifier: MIT
// The page's behaviour: sign-in with an access token, the lines and a card per motor kept
// up to date over the WebSocket, moves over the JSON API, hold-to-run jogs with their
// keep-alive, STOP ALL (button and Escape), the chart of positions and the frame trace.
'use strict';

const KEEPALIVE_MS = 150;     // well within the service's 0.5 s
const CHART_SECONDS = 60;     // the chart's window
const TRACE_KEPT = 200;

const page = {
  token: sessionStorage.getItem('corvexlink.token'),
  who: null,
  lines: [],
  line: null,               // the name of the line shown
  ws: null,
  wsWanted: false,
  cards: new Map(),         // address -> card element
  held: new Set(),          // addresses jogged from this page
  keepAlive: null,
  chart: null,
  charted: new Set(),
  t0: Date.now(),
  last: new Map(),          // address -> {position, at}, for the chart
};

const $ = (id) => document.getElementById(id);

function show(text, isError) {
  const box = $('message');
  box.textContent = text;
  box.className = isError ? 'error' : '';
  box.hidden = !text;
}

async function api(method, path, body) {
  const options = { method, headers: { Authorization: 'Bearer ' + page.token } };
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body);
  }
  const answer = await fetch(path, options);
  const data = await answer.json().catch(() => ({}));
  if (!answer.ok) {
    const error = new Error((data.error && data.error.message) || answer.statusText);
    error.status = answer.status;
    throw error;
  }
  return data;
}

// ---- sign-in ---------------------------------------------------------------------------

async function signIn(token) {
  page.token = token;
  try {
    page.who = await api('GET', '/api/v1/session');
  } catch (error) {
    page.token = null;
    sessionStorage.removeItem('corvexlink.token');
    showSignIn(error.status === 401 ? 'That token is not valid.' : error.message);
    return;
  }
  sessionStorage.setItem('corvexlink.token', token);
  $('sign-in').hidden = true;
  $('desk').hidden = false;
  $('line-box').hidden = false;
  $('sign-out').hidden = false;
  $('who').hidden = false;
  $('who').textContent = page.who.name + ' (' + page.who.role + ')';
  document.body.classList.toggle('viewer', page.who.role !== 'operator');
  show('');
  await loadLines();
  connect();
}

function showSignIn(text) {
  $('desk').hidden = true;
  $('line-box').hidden = true;
  $('sign-out').hidden = true;
  $('who').hidden = true;
  $('sign-in').hidden = false;
  show(text || '', Boolean(text));
  $('token').focus();
}

function signOut() {
  releaseAll();
  page.wsWanted = false;
  if (page.ws) page.ws.close();
  page.token = null;
  page.who = null;
  sessionStorage.removeItem('corvexlink.token');
  showSignIn('');
}

// ---- lines and cards ---------------------------------------------------------------------

async function loadLines() {
  page.lines = await api('GET', '/api/v1/lines');
  const select = $('line-select');
  select.replaceChildren(...page.lines.map((l) => new Option(l.name + ' (' + l.device + ')', l.name)));
  if (!page.lines.some((l) => l.name === page.line)) page.line = page.lines.length ? page.lines[0].name : null;
  select.value = page.line;
  renderLine();
}

function currentLine() {
  return page.lines.find((l) => l.name === page.line);
}

function renderLine() {
  const line = currentLine();
  const badge = $('line-state');
  if (!line) {
    badge.textContent = 'no line';
    return;
  }
  badge.textContent = line.busy ? line.state + ', ' + line.busy : line.state;
  badge.className = 'badge ' + (line.busy ? 'busy' : line.state);
  badge.title = line.reason || '';
  const operator = page.who && page.who.role === 'operator';
  for (const element of document.querySelectorAll('#bar .operator')) element.disabled = !operator;
  const wanted = line.stations.join(',');
  if ($('cards').dataset.stations !== wanted || $('cards').dataset.line !== line.name) {
    $('cards').dataset.stations = wanted;
    $('cards').dataset.line = line.name;
    renderCards(line);
    subscribe();
  }
}

function renderCards(line) {
  const cards = $('cards');
  cards.replaceChildren();
  page.cards.clear();
  page.last.clear();
  for (const address of line.stations) {
    const card = $('card-template').content.firstElementChild.cloneNode(true);
    card.id = 'motor-' + address;
    card.dataset.address = address;
    card.querySelector('.name').textContent = 'Motor ' + address;
    const toggle = card.querySelector('.chart-toggle');
    toggle.checked = page.charted.has(address);
    toggle.addEventListener('change', () => {
      if (toggle.checked) page.charted.add(address); else page.charted.delete(address);
      rebuildChart();
    });
    card.querySelector('.go').addEventListener('click', () => {
      const target = card.querySelector('.target').value.trim();
      if (!/^-?\d+$/.test(target)) return cardError(card, 'Type a whole number as the target.');
      command(card, 'move', { absolute: Number(target) });
    });
    const relative = (sign) => {
      const steps = card.querySelector('.steps').value.trim();
      if (!/^\d+$/.test(steps)) return cardError(card, 'Type a whole number of steps.');
      command(card, 'move', { relative: sign * Number(steps) });
    };
    card.querySelector('.plus').addEventListener('click', () => relative(1));
    card.querySelector('.minus').addEventListener('click', () => relative(-1));
    card.querySelector('.stop').addEventListener('click', () => stopMotor(address));
    holdToRun(card.querySelector('.jog-cw'), address, 'cw');
    holdToRun(card.querySelector('.jog-ccw'), address, 'ccw');
    const operator = page.who && page.who.role === 'operator';
    for (const element of card.querySelectorAll('.operator, .operator *')) element.disabled = !operator;
    cards.append(card);
    page.cards.set(address, card);
  }
  rebuildChart();
}

function cardError(card, text) {
  const box = card.querySelector('.error');
  box.textContent = text || '';
  box.hidden = !text;
}

async function command(card, action, body) {
  cardError(card, '');
  try {
    await api('POST', '/api/v1/lines/' + encodeURIComponent(page.line) + '/motors/' +
              card.dataset.address + '/' + action, body);
  } catch (error) {
    cardError(card, error.message);
  }
}

function showMotor(message) {
  if (message.line !== page.line) return;
  const card = page.cards.get(message.address);
  if (!card) return;
  if (message.error) {
    card.classList.add('stale');
    cardError(card, message.error.message);
    return;
  }
  card.classList.remove('stale');
  card.querySelector('.position').textContent = message.position;
  card.querySelector('.encoder').textContent = message.encoder;
  card.querySelector('.lamp-moving').classList.toggle('on', message.moving);
  card.querySelector('.lamp-cw').classList.toggle('on', message.limits.cw);
  card.querySelector('.lamp-ccw').classList.toggle('on', message.limits.ccw);
  card.dataset.position = message.position;
  card.dataset.moving = message.moving;
  addPoint(message);
}

// ---- WebSocket ---------------------------------------------------------------------------

function connect() {
  page.wsWanted = true;
  const url = (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/api/v1/ws';
  const ws = new WebSocket(url, ['corvexlink.v1', 'bearer.' + page.token]);
  page.ws = ws;
  ws.onopen = () => {
    subscribe();
    traceRequest();
  };
  ws.onmessage = (event) => receive(JSON.parse(event.data));
  ws.onclose = () => {
    if (page.ws === ws) page.ws = null;
    page.held.clear();
    for (const b of document.querySelectorAll('.jog.held')) b.classList.remove('held');
    if (page.wsWanted) {
      show('The connection to the service was lost; trying again…', true);
      setTimeout(() => { if (page.wsWanted && !page.ws) connect(); }, 2000);
    }
  };
}

function send(message) {
  if (page.ws && page.ws.readyState === WebSocket.OPEN) {
    page.ws.send(JSON.stringify(message));
    return true;
  }
  return false;
}

function subscribe() {
  const line = currentLine();
  if (!line) return;
  send({ subscribe: line.stations.map((address) => ({ line: line.name, address })) });
}

function receive(message) {
  if ('address' in message && 'line' in message) return showMotor(message);
  if (message.hello) {
    show('');
    return;
  }
  if (message.lineState) {
    const i = page.lines.findIndex((l) => l.name === message.lineState.name);
    if (i >= 0) page.lines[i] = message.lineState;
    renderLine();
    return;
  }
  if (message.trace) return addTrace(message.trace);
  if (message.error) show(message.error.message, true);
}

// ---- stops and jogs ---------------------------------------------------------------------------

function stopAll() {
  releaseAll();
  if (!page.line || !page.token) return;
  if (!send({ stop: { line: page.line } }))
    api('POST', '/api/v1/lines/' + encodeURIComponent(page.line) + '/stop').catch((e) => show(e.message, true));
}

function stopMotor(address) {
  page.held.delete(address);
  if (!send({ stop: { line: page.line, address } }))
    api('POST', '/api/v1/lines/' + encodeURIComponent(page.line) + '/motors/' + address + '/stop')
      .catch((e) => show(e.message, true));
}

function holdToRun(button, address, direction) {
  const press = (event) => {
    event.preventDefault();
    if (button.disabled) return;
    try { button.setPointerCapture(event.pointerId); } catch (e) { /* a synthetic event */ }
    button.classList.add('held');
    page.held.add(address);
    send({ jog: { line: page.line, address, direction } });
    if (!page.keepAlive) page.keepAlive = setInterval(keepAlive, KEEPALIVE_MS);
  };
  const release = () => {
    if (!button.classList.contains('held')) return;
    button.classList.remove('held');
    page.held.delete(address);
    send({ release: { line: page.line, address } });
  };
  button.addEventListener('pointerdown', press);
  for (const name of ['pointerup', 'pointercancel', 'lostpointercapture', 'pointerleave'])
    button.addEventListener(name, release);
  button.addEventListener('contextmenu', (event) => event.preventDefault());
}

function keepAlive() {
  if (page.held.size === 0) {
    clearInterval(page.keepAlive);
    page.keepAlive = null;
    return;
  }
  send({ keepalive: true });
}

function releaseAll() {
  for (const button of document.querySelectorAll('.jog.held')) {
    button.classList.remove('held');
    send({ release: { line: page.line, address: Number(button.closest('.card').dataset.address) } });
  }
  page.held.clear();
}

// ---- chart -------------------------------------------------------------------------------

const COLOURS = ['#1f6feb', '#c62828', '#2e7d32', '#ef6c00', '#6a1b9a', '#00838f', '#5d4037', '#ad1457'];

function rebuildChart() {
  if (typeof Chart === 'undefined') return;
  const datasets = [...page.charted].sort((a, b) => a - b).map((address) => ({
    label: 'Motor ' + address, address, data: [], borderColor: COLOURS[address % COLOURS.length],
    backgroundColor: COLOURS[address % COLOURS.length], pointRadius: 0, borderWidth: 2, stepped: false,
  }));
  if (page.chart) {
    const old = new Map(page.chart.data.datasets.map((d) => [d.address, d.data]));
    for (const d of datasets) d.data = old.get(d.address) || [];
    page.chart.data.datasets = datasets;
    page.chart.update('none');
    return;
  }
  page.chart = new Chart($('chart'), {
    type: 'line',
    data: { datasets },
    options: {
      animation: false, parsing: false, normalized: true, maintainAspectRatio: false,
      scales: {
        x: { type: 'linear', title: { display: true, text: 'seconds' } },
        y: { title: { display: true, text: 'position (steps)' } },
      },
      plugins: { legend: { position: 'bottom' } },
    },
  });
}

// Points at the time they arrive (the browser's clock), and for a motor whose position has
// not changed for a second its last position again, so a motor at rest draws a flat line.
function addPoint(message) {
  page.last.set(message.address, { position: message.position, at: Date.now() });
  if (!page.chart) return;
  const dataset = page.chart.data.datasets.find((d) => d.address === message.address);
  if (!dataset) return;
  dataset.data.push({ x: (Date.now() - page.t0) / 1000, y: message.position });
}

setInterval(() => {
  if (!page.chart) return;
  const x = (Date.now() - page.t0) / 1000;
  for (const dataset of page.chart.data.datasets) {
    const last = page.last.get(dataset.address);
    if (last && Date.now() - last.at > 1000) dataset.data.push({ x, y: last.position });
    while (dataset.data.length && dataset.data[0].x < x - CHART_SECONDS) dataset.data.shift();
  }
  page.chart.update('none');
}, 250);

// ---- trace -------------------------------------------------------------------------------

function traceRequest() {
  const on = $('trace-toggle').checked;
  $('trace').hidden = !on;
  send({ trace: on && page.line ? [page.line] : [] });
}

function addTrace(event) {
  const list = $('trace');
  const item = document.createElement('li');
  item.className = event.kind;
  item.textContent = event.time.slice(11, 23) + '  ' + event.line + '  ' + event.kind.padEnd(8) +
    ' ' + event.bytes + (event.ms !== undefined ? '  (' + event.ms.toFixed(1) + ' ms)' : '');
  list.append(item);
  while (list.children.length > TRACE_KEPT) list.firstElementChild.remove();
  list.scrollTop = list.scrollHeight;
}

// ---- wiring ------------------------------------------------------------------------------

document.addEventListener('DOMContentLoaded', () => {
  $('sign-in-form').addEventListener('submit', (event) => {
    event.preventDefault();
    signIn($('token').value.trim());
  });
  $('sign-out').addEventListener('click', signOut);
  $('stop-all').addEventListener('click', stopAll);
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') {
      event.preventDefault();
      stopAll();
    }
  });
  window.addEventListener('blur', releaseAll);
  document.addEventListener('visibilitychange', () => { if (document.hidden) releaseAll(); });
  $('line-select').addEventListener('change', () => {
    releaseAll();
    page.line = $('line-select').value;
    renderLine();
    traceRequest();
  });
  $('trace-toggle').addEventListener('change', traceRequest);
  $('reconnect').addEventListener('click', () => lineCommand('reconnect'));
  $('scan').addEventListener('click', () => lineCommand('scan'));
  if (page.token) signIn(page.token); else showSignIn('');
});

async function lineCommand(action) {
  try {
    const line = await api('POST', '/api/v1/lines/' + encodeURIComponent(page.line) + '/' + action);
    const i = page.lines.findIndex((l) => l.name === line.name);
    if (i >= 0) page.lines[i] = line;
    renderLine();
    show('');
  } catch (error) {
    show(error.message, true);
  }
}
