'use strict';
// The dashboard: the show's state from the live stream, the operator's operations through the
// API with the token kept in this browser. Everything a Slave says is put in as text, never as
// markup.
(function () {
  const texts = {
    en: {
      linkUp: 'live', linkDown: 'reconnecting…', controls: 'Show', start: 'Start', stop: 'Stop',
      rewind: 'Rewind', segment: 'Segment', cue: 'Cue', frame: 'Frame', goto: 'Go to frame',
      fullScreen: 'Full screen', loop: 'Loop', token: 'Token', tokenSave: 'Save token',
      tokenSaved: 'Token saved in this browser.', screens: 'Screens', log: 'Event log',
      refresh: 'Refresh', report: 'Download the show report', needToken:
        'Enter the token first (Remote_Token in frameLock.ini, or the event log at start).',
      wrongToken: 'Wrong token: the operation was refused. Enter the token again.',
      refused: 'Refused', done: 'Done', unreachable: 'The Master cannot be reached.',
      master: 'Master', state: 'State', startFrame: 'Started on', shownFrame: 'Shows',
      late: 'Late (ms)', heard: 'Last heard', file: 'File', never: 'never', secondsAgo: 's ago',
      running: 'running', held: 'held', noLog: 'The event log is empty or off.',
      health: { ok: 'ok', starting: 'starting', 'not responding': 'not responding',
        frozen: 'frozen', failing: 'failing', gone: 'gone' },
      states: {},
    },
    de: {
      linkUp: 'live', linkDown: 'verbindet neu…', controls: 'Show', start: 'Start', stop: 'Stopp',
      rewind: 'Zurück', segment: 'Segment', cue: 'Anfahren', frame: 'Bild', goto: 'Gehe zu Bild',
      fullScreen: 'Vollbild', loop: 'Schleife', token: 'Token', tokenSave: 'Token speichern',
      tokenSaved: 'Token in diesem Browser gespeichert.', screens: 'Bildschirme',
      log: 'Ereignisprotokoll', refresh: 'Aktualisieren', report: 'Show-Bericht herunterladen',
      needToken:
        'Bitte zuerst das Token eingeben (Remote_Token in frameLock.ini oder das Ereignisprotokoll beim Start).',
      wrongToken: 'Falsches Token: die Bedienung wurde abgelehnt. Bitte das Token neu eingeben.',
      refused: 'Abgelehnt', done: 'Erledigt', unreachable: 'Der Master ist nicht erreichbar.',
      master: 'Master', state: 'Zustand', startFrame: 'Gestartet bei', shownFrame: 'Zeigt',
      late: 'Verspätung (ms)', heard: 'Zuletzt gehört', file: 'Datei', never: 'nie',
      secondsAgo: 's her', running: 'läuft', held: 'angehalten',
      noLog: 'Das Ereignisprotokoll ist leer oder aus.',
      health: { ok: 'in Ordnung', starting: 'startet', 'not responding': 'antwortet nicht',
        frozen: 'steht still', failing: 'Fehler', gone: 'weg' },
      states: { 'no media': 'keine Mediendatei', stopped: 'gestoppt', cued: 'bereit',
        playing: 'spielt', ended: 'am Ende' },
    },
  };
  let language = document.documentElement.lang === 'de' ? 'de' : 'en';
  let show = null;
  let lastLogLoad = 0;
  const $ = (id) => document.getElementById(id);
  const t = (key) => texts[language][key];

  function applyTexts() {
    document.documentElement.lang = language;
    for (const element of document.querySelectorAll('[data-text]')) {
      element.textContent = t(element.dataset.text);
    }
  }

  function say(text, kind) {
    const message = $('message');
    message.textContent = text;
    message.className = kind || '';
  }

  function token() {
    return localStorage.getItem('frameLockToken') || '';
  }

  async function operate(name, argument) {
    if (!token()) {
      say(t('needToken'), 'error');
      return;
    }
    const init = {
      method: 'POST',
      headers: { 'Authorization': 'Bearer ' + token(), 'Content-Type': 'application/json' },
      body: argument === undefined ? '' : JSON.stringify({ argument: argument }),
    };
    try {
      const reply = await fetch('/api/v1/operations/' + encodeURIComponent(name), init);
      const answer = await reply.json().catch(() => ({}));
      if (reply.status === 401) say(t('needToken'), 'error');
      else if (reply.status === 403) say(t('wrongToken'), 'error');
      else if (!reply.ok) say(t('refused') + ': ' + (answer.error || reply.status), 'error');
      else say(t('done') + ': ' + name, 'done');
    } catch (e) {
      say(t('unreachable'), 'error');
    }
    loadLog();
  }

  function field(list, label, value) {
    const dt = document.createElement('dt');
    dt.textContent = label;
    const dd = document.createElement('dd');
    if (value instanceof Node) dd.appendChild(value);
    else dd.textContent = value;
    list.append(dt, dd);
  }

  function shown(value) {
    return value === null || value === undefined ? '–' : String(value);
  }

  // Seconds for a recent word, the time of day for an old one.
  function heard(ms) {
    if (ms === null) return t('never');
    const seconds = Math.max(0, Math.round((Date.now() - ms) / 1000));
    if (seconds < 120) return seconds + ' ' + t('secondsAgo');
    return new Date(ms).toLocaleString(language === 'de' ? 'de-DE' : 'en-GB');
  }

  function card(screen) {
    const element = document.createElement('article');
    element.className = 'card';
    element.dataset.id = screen.id;
    element.dataset.health = screen.health;
    const title = document.createElement('h3');
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = screen.name || (screen.master ? t('master') : screen.id);
    const health = document.createElement('span');
    health.className = 'health';
    health.textContent = t('health')[screen.health] || screen.health;
    title.append(name, health);
    const address = document.createElement('div');
    address.className = 'address';
    address.textContent = screen.address;
    const list = document.createElement('dl');
    field(list, t('state'), t('states')[screen.state] || screen.state || '–');
    field(list, t('segment'), shown(screen.segment));
    field(list, t('startFrame'), shown(screen.startFrame));
    field(list, t('shownFrame'), shown(screen.shownFrame));
    const late = document.createElement('div');
    late.className = 'late';
    late.title = screen.lateMs.join(' ');
    const worst = Math.max(40, ...screen.lateMs.map(Math.abs));
    for (const ms of screen.lateMs) {
      const bar = document.createElement('span');
      bar.style.height = Math.max(2, Math.round((24 * Math.abs(ms)) / worst)) + 'px';
      late.appendChild(bar);
    }
    const lateText = document.createElement('span');
    lateText.textContent = screen.lateMs.length ? ' ' + screen.lateMs[screen.lateMs.length - 1] : '–';
    const lateBox = document.createElement('span');
    lateBox.append(late, lateText);
    field(list, t('late'), screen.lateMs.length ? lateBox : '–');
    field(list, t('heard'), heard(screen.lastHeardMs));
    if (screen.fileName) field(list, t('file'), screen.fileName);
    element.append(title, address, list);
    if (screen.problems.length) {
      const problems = document.createElement('ul');
      problems.className = 'problems';
      for (const problem of screen.problems) {
        const item = document.createElement('li');
        item.textContent = problem;
        problems.appendChild(item);
      }
      element.appendChild(problems);
    }
    return element;
  }

  function render() {
    if (!show) return;
    if (show.language !== language && texts[show.language]) {
      language = show.language;
      applyTexts();
    }
    $('show-name').textContent = show.showName || '';
    $('cards').replaceChildren(...show.screens.map(card));
    const allowed = new Map(show.operations.map((o) => [o.name, o.allowed]));
    for (const button of document.querySelectorAll('button[data-op]')) {
      button.disabled = allowed.get(button.dataset.op) === false;
    }
    $('op-cue').disabled = allowed.get('cue') === false;
    $('op-goto').disabled = allowed.get('goto') === false;
    $('op-fullscreen').checked = show.fullScreen;
    $('op-loop').checked = show.loop;
    const select = $('cue-segment');
    const chosen = select.value;
    select.replaceChildren(...show.syncPoints.map((point, i) => {
      const option = document.createElement('option');
      option.value = String(i + 1);
      option.textContent = (i + 1) + ' (' + point + ')';
      return option;
    }));
    if (chosen) select.value = chosen;
    if (Date.now() - lastLogLoad > 5000) loadLog();
  }

  async function loadLog() {
    lastLogLoad = Date.now();
    try {
      const reply = await fetch('/api/v1/log?lines=200');
      const answer = await reply.json();
      $('log').textContent = answer.lines && answer.lines.length ? answer.lines.join('\n') : t('noLog');
    } catch (e) {
      $('log').textContent = t('unreachable');
    }
  }

  function connect() {
    const stream = new WebSocket('ws://' + location.host + '/api/v1/stream');
    stream.onopen = () => {
      $('link').className = 'link up';
      $('link').dataset.text = 'linkUp';
      $('link').textContent = t('linkUp');
    };
    stream.onmessage = (event) => {
      const message = JSON.parse(event.data);
      if (message.event === 'show') {
        show = message.show;
        render();
      }
    };
    stream.onclose = () => {
      $('link').className = 'link down';
      $('link').dataset.text = 'linkDown';
      $('link').textContent = t('linkDown');
      setTimeout(connect, 2000);
    };
  }

  document.addEventListener('DOMContentLoaded', () => {
    applyTexts();
    $('token').value = token();
    $('token-save').addEventListener('click', () => {
      localStorage.setItem('frameLockToken', $('token').value.trim());
      say(t('tokenSaved'), 'done');
    });
    for (const button of document.querySelectorAll('button[data-op]')) {
      button.addEventListener('click', () => operate(button.dataset.op));
    }
    $('op-cue').addEventListener('click', () => operate('cue', Number($('cue-segment').value)));
    $('op-goto').addEventListener('click', () => operate('goto', Number($('goto-frame').value)));
    $('op-fullscreen').addEventListener('change', (e) => operate('fullscreen', e.target.checked ? 1 : 0));
    $('op-loop').addEventListener('change', (e) => operate('loop', e.target.checked ? 1 : 0));
    $('log-refresh').addEventListener('click', loadLog);
    connect();
  });
})();
