'use strict';
// The line as /events tells it. Every text from a station is put in with
// textContent: none is ever read as markup.

const tones = {
  programming: 'working', 'setting clock': 'working', verifying: 'working',
  ok: 'good', failed: 'bad',
  gone: 'warning', interrupted: 'warning', 'not recorded': 'warning', 'not served': 'warning',
  'waits for the database': 'warning'
};

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined && text !== null) made.textContent = String(text);
  return made;
}

function clock(iso) {
  return iso ? new Date(iso).toLocaleTimeString() : '';
}

function stateText(slot) {
  if (slot.state === 'programming') return 'Programming ' + slot.progress + ' of ' + slot.total;
  if (slot.state === 'ok') return 'OK';
  if (slot.state === 'failed') return 'FAILED';
  return slot.state.charAt(0).toUpperCase() + slot.state.slice(1);
}

function slotTile(slot) {
  const tile = element('div', 'slot ' + (tones[slot.state] || 'idle'));
  tile.append(element('div', 'name', slot.slot), element('div', 'state', stateText(slot)));
  if (slot.line) tile.append(element('div', 'line', slot.line));
  if (slot.unit) tile.append(element('div', 'unit', 'Unit ' + slot.unit));
  const work = [slot.release, slot.order ? 'order ' + slot.order : null].filter(Boolean).join(' · ');
  if (work) tile.append(element('div', 'work', work));
  tile.append(element('div', 'since', 'since ' + clock(slot.since)));
  return tile;
}

function stationBlock(station) {
  const block = element('section', 'station' + (station.silent ? ' silent' : ''));
  block.append(element('h2', null, station.station));
  const about = [station.host, 'Morlank ' + station.version,
    station.records_waiting + ' records waiting for the database'];
  block.append(element('p', 'about', about.join(' · ')));
  if (station.silent) block.append(element('p', 'silence', 'Silent since ' + clock(station.last_seen)));
  const slots = element('div', 'slots');
  for (const slot of station.slots) slots.append(slotTile(slot));
  block.append(slots);
  return block;
}

function percent(ratio) {
  return ratio === null || ratio === undefined ? '–' : (ratio * 100).toFixed(1) + ' %';
}

function showToday(today) {
  document.getElementById('units').textContent = today ? String(today.units) : '–';
  document.getElementById('yield').textContent = today ? percent(today.first_pass_yield) : '–';
  const rate = document.getElementById('rate');
  const rated = today && today.units_per_hour !== null;
  // Too short a span for a rate: the reason in its place.
  rate.textContent = rated ? today.units_per_hour.toFixed(1) : (today && today.units_per_hour_reason) || '–';
  rate.classList.toggle('reason', !rated);
  const failures = document.getElementById('failures');
  failures.replaceChildren();
  for (const failure of (today ? today.failures : [])) {
    failures.append(element('li', null, 'line ' + failure.line + ': ' + failure.command + ' (' + failure.count + ')'));
  }
}

function show(line) {
  const problem = document.getElementById('problem');
  problem.hidden = !line.error;
  problem.textContent = line.error || '';
  showToday(line.today);
  const stations = document.getElementById('stations');
  stations.replaceChildren(...line.stations.map(stationBlock));
}

function connect() {
  const connection = document.getElementById('connection');
  const events = new EventSource('/events');
  events.onopen = () => {
    connection.textContent = 'Live';
    connection.classList.remove('lost');
  };
  events.onmessage = (event) => show(JSON.parse(event.data));
  // EventSource connects again by itself; the page says so meanwhile.
  events.onerror = () => {
    connection.textContent = 'Connection lost: connecting again…';
    connection.classList.add('lost');
  };
}

connect();
