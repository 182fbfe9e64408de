// The dashboard: the fleet as a grid of unit cards and one unit's page, both fed by the
// server's event streams. Repaints are throttled to at most one per REPAINT_MS.
const REPAINT_MS = 100;
const INPUT_NAMES = ['presença', 'reset', 'rede', 'rede2', 'rede3', 'reserva', 'reserva', 'reserva'];
const LEVELS = ['bat', 'temp', 'umid'];
const VARIANT_BUTTONS = { '110': 'sbCod2', '130': 'sbCod3', '150': 'sbCod4' };

const $ = (id) => document.getElementById(id);

// ---- The token ----------------------------------------------------------------------------
// Kept in this tab's session storage, never in the address: a link given as ?token=... is
// moved there and the address bar cleaned at once. Requests carry it as "Authorization:
// Bearer"; event streams, which cannot send headers, as ?access_token=.
const TOKEN_KEY = 'vexa-token';
let token = sessionStorage.getItem(TOKEN_KEY) || '';
{
  const params = new URLSearchParams(location.search);
  if (params.has('token')) {
    token = params.get('token');
    sessionStorage.setItem(TOKEN_KEY, token);
    params.delete('token');
    const query = params.toString();
    history.replaceState(null, '', location.pathname + (query ? '?' + query : '') + location.hash);
  }
}

function withToken(path) {
  if (!token) return path;
  return path + (path.includes('?') ? '&' : '?') + 'access_token=' + encodeURIComponent(token);
}

// Shows the token form instead of the units; the message says whether one was refused.
let asking = false;
function askForToken() {
  if (asking) return;  // already asked: what is being typed stays
  asking = true;
  stopStream();
  setBanner('');
  $('login-message').textContent = token
    ? 'The token was refused. Enter the token the simulator was started with (--api-token).'
    : 'This simulator asks for a token (--api-token). Enter it to see the units.';
  $('login').hidden = false;
  $('fleet').hidden = true;
  $('unit').hidden = true;
  $('filter').hidden = true;
  $('token').value = '';
  $('token').focus();
}

$('login').addEventListener('submit', (event) => {
  event.preventDefault();
  token = $('token').value.trim();
  if (!token) return;
  sessionStorage.setItem(TOKEN_KEY, token);
  asking = false;
  $('login').hidden = true;
  route();
});

// ---- Requests and their errors in words ---------------------------------------------------

const STATUS_WORDS = {
  400: 'The request was not understood',
  401: 'The token was refused',
  403: 'The request was refused',
  404: 'Not found',
  409: 'The unit refused the change',
  413: 'The request is too large',
  415: 'The request was not sent as JSON',
  422: 'A value is out of range',
  429: 'Too many requests',
  503: 'The simulator is busy',
};
const NO_ANSWER = 'The simulator does not answer: the connection is lost.';

class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;  // 0: no answer at all
  }
}

// "Not found (HTTP 404): no unit 9", from a status and the server's JSON error, if any.
function inWords(status, statusText, data) {
  const meaning = STATUS_WORDS[status] || ('HTTP ' + status + (statusText ? ' ' + statusText : ''));
  const detail = data && data.error && data.error.message;
  return meaning + (STATUS_WORDS[status] ? ' (HTTP ' + status + ')' : '') + (detail ? ': ' + detail : '');
}

async function api(method, path, body) {
  const headers = {};
  if (token) headers.Authorization = 'Bearer ' + token;
  const init = { method, headers };
  if (method !== 'GET') {
    headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body === undefined ? {} : body);
  }
  let response;
  try {
    response = await fetch(path, init);
  } catch (failure) {
    throw new ApiError(0, NO_ANSWER);
  }
  const data = await response.json().catch(() => null);
  if (!response.ok) {
    if (response.status === 401) askForToken();
    throw new ApiError(response.status, inWords(response.status, response.statusText, data));
  }
  return data;
}

// Why an event stream failed: null when its path answers now, else the ApiError. Asks the
// path itself with fetch (which, unlike EventSource, shows the status) and hangs up at once.
async function streamProblem(path) {
  const controller = new AbortController();
  const headers = token ? { Authorization: 'Bearer ' + token } : {};
  try {
    const response = await fetch(path, { headers, signal: controller.signal });
    if (response.ok) {
      controller.abort();
      return null;
    }
    const data = await response.json().catch(() => null);
    return new ApiError(response.status, inWords(response.status, response.statusText, data));
  } catch (failure) {
    return new ApiError(0, NO_ANSWER);
  }
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

function setBanner(text) {
  $('banner').hidden = !text;
  $('banner').textContent = text;
}

// One event stream at a time. When it fails, a look at its path says why: a refused token
// asks for the token; anything else is shown in words and the stream retried every second.
let stream = null;
let retry = null;
function stopStream() {
  if (stream) stream.close();
  stream = null;
  clearTimeout(retry);
  retry = null;
}
function openStream(path, handlers) {
  stopStream();
  const source = new EventSource(withToken(path));
  stream = source;
  source.onopen = () => setBanner('');
  source.onerror = async () => {
    if (stream !== source) return;
    source.close();
    const problem = await streamProblem(path);
    if (stream !== source) return;
    if (problem && problem.status === 401) return askForToken();
    const said = problem ? problem.message.replace(/\.?$/, '. ') : '';
    setBanner(problem ? said + 'Retrying every second…' : '');
    retry = setTimeout(() => { if (stream === source) openStream(path, handlers); }, 1000);
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

// A whole number is a unit's number or UDP port, exactly ("5" is unit 5, not every unit
// with a 5 in it); other text must hold every word among the card's words.
function cardMatches(data) {
  if (!filterText) return true;
  if (/^[0-9]+$/.test(filterText)) {
    const number = String(Number(filterText));
    return data.id === number || String(data.port) === number;
  }
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

function setFleetError(text) {
  $('fleet-error').hidden = !text;
  $('fleet-error').textContent = text;
}

$('fleet').addEventListener('click', (event) => {
  const led = event.target.closest('button.led');
  if (!led || led.disabled) return;
  const id = led.closest('.card').dataset.unit;
  api('PATCH', '/api/v1/units/' + encodeURIComponent(id), { toggle: [Number(led.dataset.bit)] })
    .then(() => setFleetError(''), (error) => setFleetError(error.message));
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

// What the page says under the unit: why it could not be read (cleared by the next reading)
// and what became of the last change (kept until the next change).
const unitNotes = { load: '', change: '' };
function setUnitNote(kind, text) {
  unitNotes[kind] = text;
  $('unit-error').textContent = [unitNotes.load, unitNotes.change].filter(Boolean).join(' ');
}

const paintUnit = throttled(() => {
  if (!unit || unit.id !== unitId) return;
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

// The unit page shows nothing of a unit until its first snapshot has come ("loading"), and
// says so when there is no such unit ("missing"), so another unit's values never linger.
function setUnitState(state) {
  $('unit').dataset.state = state;
}

async function loadUnit() {
  const id = unitId;
  if (!id || asking) return;
  try {
    const snapshot = await api('GET', '/api/v1/units/' + encodeURIComponent(id));
    if (id !== unitId) return;
    unit = snapshot;
    if ($('unit').dataset.state !== 'shown') {
      setUnitState('shown');
      openUnitStream(id);
    }
    setUnitNote('load', '');
    paintUnit();
  } catch (error) {
    if (id !== unitId) return;
    if (error.status === 404) {
      setUnitState('missing');
      setUnitNote('load', 'No such unit: ' + id + '.');
    } else {
      setUnitNote('load', error.message);
    }
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
      setUnitNote('change', clamped);
      paintUnit();
    })
    .catch((error) => setUnitNote('change', error.message));
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
// The reset countdown and auto levels move on their own; a look every second keeps up (and
// retries a unit that could not be read yet).
setInterval(() => {
  if (unitId && $('unit').dataset.state !== 'missing') reloadUnit();
}, 1000);

function openUnitStream(id) {
  const refresh = () => reloadUnit();
  openStream('/api/v1/units/' + encodeURIComponent(id) + '/events?framed=1', {
    request: onTraffic, reply: (event) => { onTraffic(event); refresh(); }, write: refresh,
    input: refresh, level: refresh, endpoint: refresh,
  });
}

// ---- Routes: "#/" the fleet, "#/unit/ID" one unit -----------------------------------------

function route() {
  setFleetError('');
  if (asking) return;
  const match = /^#\/unit\/([A-Za-z0-9_.-]+)$/.exec(location.hash);
  $('fleet').hidden = !!match;
  $('unit').hidden = !match;
  $('filter').hidden = !!match;
  if (match) {
    unitId = decodeURIComponent(match[1]);
    unit = null;
    traffic = null;
    setUnitState('loading');
    setUnitNote('load', '');
    setUnitNote('change', '');
    $('unit-title').textContent = 'Unit ' + unitId;
    stopStream();  // the unit's own stream opens once the unit is known
    loadUnit();
  } else {
    unitId = '';
    for (const entry of cards.values()) entry.element.remove();
    cards.clear();
    openStream('/api/v1/cards', { cards: onCards });
  }
}
window.addEventListener('hashchange', route);
route();
