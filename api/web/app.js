// The dashboard: the fleet as a grid of unit cards and one unit's page, both fed by the
// server's event streams. Repaints are throttled to at most one per REPAINT_MS.
const REPAINT_MS = 100;
const INPUT_NAMES = ['presença', 'reset', 'rede', 'rede2', 'rede3', 'reserva', 'reserva', 'reserva'];
const LEVELS = ['bat', 'temp', 'umid'];
const VARIANT_BUTTONS = { '110': 'sbCod2', '130': 'sbCod3', '150': 'sbCod4' };

// A token given as ?token=... is sent with every request (streams take it as a parameter).
const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

function withToken(path) {
  if (!token) return path;
  return path + (path.includes('?') ? '&' : '?') + 'access_token=' + encodeURIComponent(token);
}

async function api(method, path, body) {
  const headers = { 'Content-Type': 'application/json' };
  if (token) headers.Authorization = 'Bearer ' + token;
  const init = { method, headers };
  if (method !== 'GET') init.body = JSON.stringify(body === undefined ? {} : body);
  const response = await fetch(path, init);
  const data = await response.json().catch(() => ({}));
  if (!response.ok) {
    throw new Error(data.error ? data.error.message : response.status + ' ' + response.statusText);
  }
  return data;
}

// Runs `paint` at most once per REPAINT_MS, however often it is asked for.
function throttled(paint) {
  let timer = null;
  let last = 0;
  return () => {
    if (timer !== null) return;
    const wait = Math.max(0, last + REPAINT_MS - performance.now());
    timer = setTimeout(() => {
      timer = null;
      last = performance.now();
      paint();
    }, wait);
  };
}

function setConnection(lost) {
  const banner = $('banner');
  banner.hidden = !lost;
  banner.textContent = lost
    ? 'The simulator does not answer: the connection is lost. Retrying every second…'
    : '';
}

// One event stream at a time, reopened when the server closes it for good.
let stream = null;
function openStream(path, handlers) {
  if (stream) stream.close();
  const source = new EventSource(withToken(path));
  stream = source;
  source.onopen = () => setConnection(false);
  source.onerror = () => {
    setConnection(true);
    if (source.readyState === EventSource.CLOSED && stream === source) {
      setTimeout(() => { if (stream === source) openStream(path, handlers); }, 1000);
    }
  };
  for (const [name, handler] of Object.entries(handlers)) {
    source.addEventListener(name, (message) => handler(JSON.parse(message.data)));
  }
}

function ledButton(bit) {
  const led = document.createElement('button');
  led.type = 'button';
  led.className = 'led';
  led.dataset.bit = String(bit);
  led.title = 'Input ' + bit + ' (' + INPUT_NAMES[bit] + ')';
  return led;
}

function paintLeds(container, inputs, clickable) {
  container.querySelectorAll('.led').forEach((led) => {
    const bit = Number(led.dataset.bit);
    led.classList.toggle('on', ((inputs >> bit) & 1) === 1);
    led.disabled = ((clickable >> bit) & 1) === 0;
    led.setAttribute('aria-pressed', String(((inputs >> bit) & 1) === 1));
  });
}

// ---- The fleet ----------------------------------------------------------------------------

const cards = new Map();  // id -> {element, data, lines, time, rate, seen, dirty}
let filterText = '';

function makeCard(id) {
  const card = document.createElement('article');
  card.className = 'card';
  card.dataset.unit = id;
  const title = document.createElement('div');
  title.className = 'title';
  const link = document.createElement('a');
  link.href = '#/unit/' + encodeURIComponent(id);
  link.textContent = 'Unit ' + id;
  const endpoint = document.createElement('span');
  endpoint.className = 'endpoint';
  title.append(link, endpoint);
  const leds = document.createElement('div');
  leds.className = 'leds';
  for (let bit = 0; bit < 8; ++bit) leds.append(ledButton(bit));
  const levels = document.createElement('div');
  levels.className = 'levels';
  const meta = document.createElement('div');
  meta.className = 'meta';
  card.append(title, leds, levels, meta);
  return card;
}

function cardMatches(data) {
  if (!filterText) return true;
  const words = [data.id, String(data.port), data.variant, data.endpoint ? 'on' : 'off',
    data.auto ? 'auto' : 'manual'].join(' ').toLowerCase();
  return filterText.split(/\s+/).every((word) => words.includes(word));
}

function paintCard(entry) {
  const { element, data } = entry;
  element.querySelector('.endpoint').textContent = 'UDP ' + data.port + (data.endpoint ? ' on' : ' off');
  element.querySelector('.endpoint').classList.toggle('on', data.endpoint);
  element.classList.toggle('off', !data.endpoint);
  paintLeds(element.querySelector('.leds'), data.inputs, data.clickable_inputs);
  const [bat, temp, umid] = data.level_texts;
  element.querySelector('.levels').textContent = 'bat ' + bat + ' · temp ' + temp + ' · umid ' + umid;
  element.querySelector('.meta').textContent = 'variant ' + data.variant +
    (data.auto ? ' · auto' : '') + ' · ' + entry.rate.toFixed(1) + ' req/s';
}

const paintFleet = throttled(() => {
  let shown = 0;
  for (const entry of cards.values()) {
    const visible = cardMatches(entry.data);
    entry.element.hidden = !visible;
    if (visible) ++shown;
    if (entry.dirty && visible) {
      paintCard(entry);
      entry.dirty = false;
    }
  }
  $('count').textContent = shown + ' of ' + cards.size + ' units';
});

function onCards(message) {
  const time = message.time_ns / 1e9;
  if (message.full) {
    const ids = new Set(message.cards.map((c) => c.id));
    for (const [id, entry] of cards) {
      if (!ids.has(id)) { entry.element.remove(); cards.delete(id); }
    }
  }
  for (const data of message.cards) {
    let entry = cards.get(data.id);
    if (!entry) {
      entry = { element: makeCard(data.id), lines: data.lines, time, rate: 0 };
      cards.set(data.id, entry);
      $('fleet').append(entry.element);
    } else if (time > entry.time) {
      entry.rate = (data.lines - entry.lines) / (time - entry.time);
      entry.lines = data.lines;
      entry.time = time;
    }
    entry.data = data;
    entry.seen = performance.now();
    entry.dirty = true;
  }
  paintFleet();
}

// A unit that has had no update for a while has had no requests.
setInterval(() => {
  const now = performance.now();
  for (const entry of cards.values()) {
    if (entry.rate !== 0 && now - entry.seen > 1500) {
      entry.rate = 0;
      entry.dirty = true;
      paintFleet();
    }
  }
}, 1000);

$('fleet').addEventListener('click', (event) => {
  const led = event.target.closest('button.led');
  if (!led || led.disabled) return;
  const id = led.closest('.card').dataset.unit;
  api('PATCH', '/api/v1/units/' + encodeURIComponent(id), { toggle: [Number(led.dataset.bit)] })
    .catch((error) => { $('count').textContent = error.message; });
});

$('filter').addEventListener('input', (event) => {
  filterText = event.target.value.trim().toLowerCase();
  for (const entry of cards.values()) entry.dirty = true;
  paintFleet();
});

// ---- One unit -----------------------------------------------------------------------------

let unitId = '';
let unit = null;      // the latest snapshot
let traffic = null;   // the traffic boxes as the event stream left them
const editing = [0, 0, 0];  // when each slider was last moved by hand

function trimmed(text) {
  return text.replace(/^[\x00-\x20]+|[\x00-\x20]+$/g, '');
}
function hexOf(bytes) {
  return Array.from(bytes, (c) => c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0')).join(' ');
}
// R(x): to the nearest integer, halves to even, as the window's sliders round.
function roundHalfEven(x) {
  const floor = Math.floor(x);
  const diff = x - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return floor % 2 === 0 ? floor : floor + 1;
}

function setUnitError(text) {
  $('unit-error').textContent = text;
}

const paintUnit = throttled(() => {
  if (!unit) return;
  const c = unit.config;
  const live = unit.live;
  $('unit-title').textContent = 'Unit ' + unit.id + ' · UDP port ' + unit.port;
  $('stMac').value = c.mac;
  $('stIP').value = c.ip;
  $('stMsk').value = c.mask;
  $('stGW').value = c.gateway;
  $('stScl').value = String(c.scale);
  $('stAjTp').value = String(c.aj_temp);
  $('stAjUm').value = String(c.aj_umid);
  $('stVrs2').value = c.version_date;
  paintLeds($('unit-leds'), live.inputs, live.clickable_inputs);
  $('ldRst').classList.toggle('on', live.reset_countdown > 0);
  $('ldUDP').classList.toggle('on', live.endpoint);
  $('cbCT13').checked = live.endpoint;
  $('cbAut').checked = live.auto;
  $('cbBat').value = String(live.battery);
  const positions = [live.levels.bat.value, roundHalfEven(live.levels.temp.value * 1.5),
    live.levels.umid.value];
  LEVELS.forEach((name, i) => {
    const slider = $('slNv0' + i);
    $('stNv0' + i).value = live.levels[name].text;
    slider.disabled = live.auto;
    if (performance.now() - editing[i] > 1000) slider.value = String(positions[i]);
  });
  for (const [variant, id] of Object.entries(VARIANT_BUTTONS)) {
    $(id).classList.toggle('down', live.variant === variant);
    $(id).setAttribute('aria-pressed', String(live.variant === variant));
  }
  const t = traffic || unit.traffic;
  $('stRx1').value = t.request;
  $('stTx1').value = t.reply;
  $('stTx2').value = t.framed_hex;
  $('stTx3').value = t.framed;
  $('stVrs1').value = unit.traffic.version;
});

async function loadUnit() {
  if (!unitId) return;
  try {
    unit = await api('GET', '/api/v1/units/' + encodeURIComponent(unitId));
    setUnitError('');
    paintUnit();
  } catch (error) {
    setUnitError(error.message);
  }
}
const reloadUnit = throttled(loadUnit);

function onTraffic(event) {
  traffic = traffic || { request: '', reply: '', framed_hex: '', framed: '' };
  if (event.kind === 'request') {
    traffic.request = trimmed(event.line) + ' (' + event.line.length + ')';
  } else {
    traffic.reply = trimmed(event.body) + ' (' + (event.body.length + 2) + ')';
    traffic.framed_hex = hexOf(event.framed);
    traffic.framed = trimmed(event.framed) + ' (' + event.framed.length + ')';
  }
  paintUnit();
}

function change(body) {
  api('PATCH', '/api/v1/units/' + encodeURIComponent(unitId), body)
    .then((reply) => {
      unit = reply.unit;
      const clamped = reply.clamped.map((c) => c.field + ' held at ' + c.applied).join(', ');
      setUnitError(clamped);
      paintUnit();
    })
    .catch((error) => setUnitError(error.message));
}

$('unit-leds').append(...[0, 1, 2, 3, 4, 5, 6, 7].map(ledButton));
$('unit-leds').addEventListener('click', (event) => {
  const led = event.target.closest('button.led');
  if (led && !led.disabled) change({ toggle: [Number(led.dataset.bit)] });
});
LEVELS.forEach((name, i) => {
  const slider = $('slNv0' + i);
  slider.addEventListener('input', () => { editing[i] = performance.now(); });
  slider.addEventListener('change', () => {
    editing[i] = performance.now();
    const position = Number(slider.value);
    change({ levels: { [name]: i === 1 ? Math.round(position / 1.5) : position } });
  });
});
$('cbAut').addEventListener('change', (event) => change({ auto: event.target.checked }));
$('cbCT13').addEventListener('change', (event) => change({ endpoint: event.target.checked }));
$('cbBat').addEventListener('change', (event) => change({ battery: Number(event.target.value) }));
for (const id of Object.values(VARIANT_BUTTONS)) {
  $(id).addEventListener('click', (event) => change({ variant: event.target.dataset.variant }));
}
// The reset countdown and auto levels move on their own; a look every second keeps up.
setInterval(() => { if (unitId) reloadUnit(); }, 1000);

// ---- Routes: "#/" the fleet, "#/unit/ID" one unit -----------------------------------------

function route() {
  const match = /^#\/unit\/([A-Za-z0-9_.-]+)$/.exec(location.hash);
  $('fleet').hidden = !!match;
  $('unit').hidden = !match;
  $('filter').hidden = !!match;
  if (match) {
    unitId = decodeURIComponent(match[1]);
    unit = null;
    traffic = null;
    loadUnit();
    const refresh = () => reloadUnit();
    openStream('/api/v1/units/' + encodeURIComponent(unitId) + '/events?framed=1', {
      request: onTraffic, reply: (event) => { onTraffic(event); refresh(); }, write: refresh, input: refresh, level: refresh,
      endpoint: refresh,
    });
  } else {
    unitId = '';
    for (const entry of cards.values()) entry.element.remove();
    cards.clear();
    openStream('/api/v1/cards', { cards: onCards });
  }
}
window.addEventListener('hashchange', route);
route();
