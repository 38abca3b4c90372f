// The station's remote page: both channels, live over the WebSocket, switched through the
// same door as the panel. No framework: the DOM is built once from the first state and
// updated in place; every text from the station goes in as text, never as markup.
'use strict';

(function () {
  const RetryFirstMs = 1000;
  const RetryMostMs = 10000;
  const AnswerWaitMs = 5000;     // a command without an answer by then is reported lost
  const QuietMs = 15000;         // a socket silent this long is asked for the state...
  const QuietAnswerMs = 5000;    // ...and closed when that brings nothing either

  const $ = (id) => document.getElementById(id);

  let socket = null;
  let socketOpen = false;
  let access = null;            // "control" or "view" once the station said so
  let state = null;
  let revision = -1;            // the newest state's on this connection (a restarted station counts anew)
  let problem = '';             // why the station turned the page away, when it said
  let heldToken = '';           // a token from the address not yet taken, for the next try
  let built = false;
  let retryMs = RetryFirstMs;
  let retryTimer = 0;
  let quietTimer = 0;
  let nextId = 1;
  const pending = new Map();    // command id -> {channel, button, timer}
  const picking = [null, null, null]; // per channel: null, or {rx: null|number} while a split is chosen
  let wasOffline = true;        // as the page starts: nothing to announce yet

  // ---- texts ----

  function antennaTitle(number) {
    if (number === null || number === undefined)
      return 'no antenna';
    const antenna = state && state.antennas.find((a) => a.number === number);
    const name = antenna ? String(antenna.name || '').trim().replace(/\s+/g, ' ') : '';
    return name ? 'Ant ' + number + ' (' + name + ')' : 'Ant ' + number;
  }

  function channelText(channel) {
    if (channel.split)
      return 'split, RX ' + antennaTitle(channel.split.rx) + ', TX ' + antennaTitle(channel.split.tx);
    return antennaTitle(channel.antenna);
  }

  function followText(follow) {
    return follow && follow !== 'off' ? 'follows ' + follow : 'no band follow';
  }

  function offlineReason() {
    if (!socketOpen)
      return problem || 'No connection to the station';
    if (!state)
      return 'Waiting for the station';
    if (!state.link.connected)
      return 'The station\u2019s ' + (state.link.kind === 'serial' ? 'serial' : 'LAN') + ' link is down';
    if (!state.link.boxAnswering)
      return 'The box does not answer';
    return '';
  }

  // ---- announcing ----

  let liveQueue = [];
  let liveTimer = 0;
  function announce(text) {
    if (!text)
      return;
    liveQueue.push(text);
    if (liveTimer)
      return;
    // Everything said in one turn of the page goes out as one message; the region is
    // emptied first so that a repeated message is read again.
    liveTimer = setTimeout(() => {
      const live = $('live');
      live.textContent = '';
      live.textContent = liveQueue.join('. ');
      liveQueue = [];
      liveTimer = 0;
    }, 50);
  }

  // ---- building ----

  function el(tag, attributes, text) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(attributes || {}))
      node.setAttribute(key, value);
    if (text !== undefined)
      node.textContent = text;
    return node;
  }

  function build() {
    const root = $('channels');
    root.textContent = '';
    for (const channel of state.channels) {
      const c = channel.number;
      const section = el('section', {class: 'channel', id: 'ch' + c, 'aria-labelledby': 'ch' + c + '-title'});
      const head = el('div', {class: 'head'});
      head.append(el('h2', {id: 'ch' + c + '-title'}, 'Channel ' + c));
      const send = el('p', {class: 'lamp send', id: 'ch' + c + '-send'}, 'SEND');
      send.append(el('span', {class: 'sr-only', id: 'ch' + c + '-send-text'}));
      head.append(send);
      section.append(head);
      const info = el('p', {class: 'info'});
      info.append(el('span', {class: 'band', id: 'ch' + c + '-band'}),
                  el('span', {class: 'follow', id: 'ch' + c + '-follow'}));
      section.append(info);
      const group = el('div', {class: 'antennas', role: 'group', 'aria-label': 'Channel ' + c + ' antennas'});
      for (const antenna of state.antennas) {
        const a = antenna.number;
        const button = el('button', {type: 'button', class: 'ant', id: 'ch' + c + '-ant' + a,
                                     'aria-pressed': 'false', 'data-channel': c, 'data-antenna': a});
        button.append(el('span', {class: 'num'}, 'Ant ' + a),
                      el('span', {class: 'name', id: 'ch' + c + '-ant' + a + '-name'}),
                      el('span', {class: 'role', id: 'ch' + c + '-ant' + a + '-role'}),
                      el('span', {class: 'rxonly', id: 'ch' + c + '-ant' + a + '-rxonly'}, 'RX only'));
        button.addEventListener('click', () => pressAntenna(c, a, button));
        group.append(button);
      }
      section.append(group);
      const row = el('div', {class: 'row'});
      const release = el('button', {type: 'button', class: 'wide', id: 'ch' + c + '-release'}, 'RELEASE');
      release.addEventListener('click', () => command({op: 'release', channel: c}, c, release));
      const split = el('button', {type: 'button', class: 'wide split', id: 'ch' + c + '-split',
                                  'aria-pressed': 'false'}, 'SPLIT');
      split.addEventListener('click', () => pressSplit(c, split));
      row.append(release, split);
      section.append(row);
      section.append(el('p', {class: 'hint', id: 'ch' + c + '-hint'}));
      section.append(el('p', {class: 'reason', id: 'ch' + c + '-reason'}));
      root.append(section);
    }
    built = true;
  }

  // ---- drawing ----

  function setClass(node, name, on) {
    node.classList.toggle(name, !!on);
  }

  function draw() {
    const reason = offlineReason();
    const offline = reason !== '';
    $('conn').textContent = offline ? 'offline' : 'online';
    setClass($('conn'), 'down', offline);
    const detail = $('conn-detail');
    detail.textContent = reason;
    detail.hidden = !offline;
    if (wasOffline !== offline) {
      announce(offline ? 'offline: ' + reason : 'online');
      wasOffline = offline;
    }
    const answering = socketOpen && state && state.link.connected && state.link.boxAnswering;
    setClass($('power'), 'on', answering);
    $('power-text').textContent = answering ? ' the box answers' : ' the box does not answer';
    if (!state)
      return;
    $('station-id').textContent = state.id || '';
    const locked = !!state.locked;
    $('locked').hidden = !locked;
    $('viewonly').hidden = access !== 'view';
    const canSwitch = !offline && access === 'control' && !locked;
    if (!canSwitch)
      picking.fill(null);
    const alarms = [];
    for (const channel of state.channels) {
      const c = channel.number;
      if (channel.alarm)
        alarms.push(channel.alarm);
      setClass($('ch' + c + '-send'), 'on', channel.transmitting);
      $('ch' + c + '-send-text').textContent = channel.transmitting ? ' transmitting' : ' not transmitting';
      $('ch' + c + '-band').textContent = channel.band ? channel.band : 'no band';
      $('ch' + c + '-follow').textContent = followText(channel.follow);
      const split = channel.split;
      let highlighted = null;
      let held = null;
      if (split) {
        highlighted = channel.transmitting ? split.tx : split.rx;
        held = channel.transmitting ? split.rx : split.tx;
      } else {
        held = channel.antenna;
      }
      const onAir = split ? split.tx : channel.antenna;
      const pick = picking[c];
      for (const antenna of state.antennas) {
        const a = antenna.number;
        const button = $('ch' + c + '-ant' + a);
        $('ch' + c + '-ant' + a + '-name').textContent = String(antenna.name || '');
        setClass(button, 'receive-only', antenna.receiveOnly);
        setClass(button, 'highlight', a === highlighted && a !== held);
        setClass(button, 'held', a === held);
        setClass(button, 'alarm', channel.alarm && a === onAir);
        setClass(button, 'picked', pick && pick.rx === a);
        let role = '';
        if (split)
          role = a === split.rx && a === split.tx ? 'RX TX' : a === split.rx ? 'RX' : a === split.tx ? 'TX' : '';
        else if (pick && pick.rx === a)
          role = 'RX';
        $('ch' + c + '-ant' + a + '-role').textContent = role;
        const pressed = a === channel.antenna || (split && a === split.tx);
        button.setAttribute('aria-pressed', pressed ? 'true' : 'false');
        button.disabled = !canSwitch;
      }
      const splitButton = $('ch' + c + '-split');
      splitButton.setAttribute('aria-pressed', split || pick ? 'true' : 'false');
      setClass(splitButton, 'on', split);
      setClass(splitButton, 'choosing', pick);
      splitButton.disabled = !canSwitch;
      $('ch' + c + '-release').disabled = !canSwitch;
      $('ch' + c + '-hint').textContent = !pick ? '' : pick.rx === null
        ? 'Choose the RX position (SPLIT again to cancel)' : 'Choose the TX position:';
    }
    $('alarm').textContent = alarms.join(' ');
  }

  // What changed between two states, in words.
  function tellChanges(before, after) {
    if (!before)
      return;
    if (before.locked !== after.locked)
      announce(after.locked ? 'Remote switching locked by the operator' : 'Remote switching unlocked');
    for (const channel of after.channels) {
      const old = before.channels.find((o) => o.number === channel.number);
      if (!old)
        continue;
      const name = 'Channel ' + channel.number;
      const now = channelText(channel);
      if (now !== channelText(old))
        announce(old.split && !channel.split ? name + ': split off, ' + now : name + ': ' + now);
      if (old.transmitting !== channel.transmitting)
        announce(name + (channel.transmitting ? ' transmitting' : ' stopped transmitting'));
      if (old.band !== channel.band)
        announce(name + ': band ' + (channel.band || 'unknown'));
    }
  }

  function takeState(next) {
    if (!next || !Array.isArray(next.channels) || !Array.isArray(next.antennas))
      return;
    if (typeof next.revision === 'number') {
      if (next.revision < revision)
        return; // an answer overtaken by a newer state
      revision = next.revision;
    }
    const before = state;
    state = next;
    if (!built)
      build();
    tellChanges(before, next);
    draw();
  }

  // ---- commands ----

  function showReason(channel, button, text) {
    const reason = $('ch' + channel + '-reason');
    reason.textContent = text;
    for (const old of document.querySelectorAll('[aria-describedby="ch' + channel + '-reason"]'))
      old.removeAttribute('aria-describedby');
    for (const old of document.querySelectorAll('#ch' + channel + ' .refused'))
      old.classList.remove('refused');
    if (text && button) {
      button.setAttribute('aria-describedby', reason.id);
      button.classList.add('refused');
      // Beside the button: under the row it stands in.
      const cells = Array.from(button.parentNode.children).filter((n) => n.tagName === 'BUTTON');
      const columns = getComputedStyle(button.parentNode).gridTemplateColumns.split(' ').length || 1;
      const after = cells[Math.min(cells.length - 1, (Math.floor(cells.indexOf(button) / columns) + 1) * columns - 1)];
      after.after(reason);
    } else {
      $('ch' + channel).append(reason);
    }
  }

  function command(message, channel, button) {
    if (!socketOpen)
      return;
    const id = nextId++;
    message.id = id;
    showReason(channel, null, '');
    const timer = setTimeout(() => {
      pending.delete(id);
      showReason(channel, button, 'No answer from the station');
      announce('Channel ' + channel + ': no answer from the station');
    }, AnswerWaitMs);
    pending.set(id, {channel, button, timer});
    socket.send(JSON.stringify(message));
  }

  function takeResult(result) {
    const sent = pending.get(result.id);
    if (!sent)
      return;
    clearTimeout(sent.timer);
    pending.delete(result.id);
    if (result.status === 200) {
      showReason(sent.channel, null, '');
      takeState(result.state);
      return;
    }
    const text = result.error && result.error.message ? result.error.message : 'Refused (' + result.status + ')';
    showReason(sent.channel, sent.button, text);
    announce('Channel ' + sent.channel + ': ' + text);
  }

  function pressAntenna(c, a, button) {
    const pick = picking[c];
    if (!pick) {
      command({op: 'select', channel: c, antenna: a}, c, button);
      return;
    }
    if (pick.rx === null) {
      pick.rx = a;
      announce('Channel ' + c + ': RX ' + antennaTitle(a) + '. Choose the TX position');
      draw();
      return;
    }
    const rx = pick.rx;
    picking[c] = null;
    draw();
    command({op: 'split', channel: c, rx: rx, tx: a}, c, button);
  }

  function pressSplit(c, button) {
    const channel = state.channels.find((o) => o.number === c);
    if (picking[c]) {
      picking[c] = null;
      announce('Channel ' + c + ': split cancelled');
      draw();
    } else if (channel && channel.split) {
      command({op: 'splitOff', channel: c}, c, button);
    } else {
      picking[c] = {rx: null};
      showReason(c, null, '');
      announce('Channel ' + c + ': choose the RX position');
      draw();
    }
  }

  document.addEventListener('keydown', (event) => {
    if (event.key !== 'Escape')
      return;
    for (let c = 1; c < picking.length; ++c) {
      if (picking[c]) {
        picking[c] = null;
        announce('Channel ' + c + ': split cancelled');
      }
    }
    if (state)
      draw();
  });

  // ---- the connection ----

  function lose(text) {
    for (const [id, sent] of pending) {
      clearTimeout(sent.timer);
      showReason(sent.channel, sent.button, text);
      pending.delete(id);
    }
  }

  function quietWatch() {
    clearTimeout(quietTimer);
    quietTimer = setTimeout(() => {
      if (!socketOpen)
        return;
      socket.send(JSON.stringify({id: nextId++, op: 'state'}));
      quietTimer = setTimeout(() => socket && socket.close(), QuietAnswerMs);
    }, QuietMs);
  }

  function scheduleRetry() {
    clearTimeout(retryTimer);
    retryTimer = setTimeout(start, retryMs);
    retryMs = Math.min(retryMs * 2, RetryMostMs);
  }

  function openSocket() {
    const url = (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/api/v1/ws';
    let ws;
    try {
      ws = new WebSocket(url);
    } catch (e) {
      scheduleRetry();
      return;
    }
    socket = ws;
    ws.onopen = () => {
      socketOpen = true;
      problem = '';
      revision = -1;
      quietWatch();
    };
    ws.onmessage = (event) => {
      if (ws !== socket)
        return;
      quietWatch();
      let message;
      try {
        message = JSON.parse(event.data);
      } catch (e) {
        return;
      }
      if (message.type === 'hello') {
        access = message.access;
      } else if (message.type === 'state') {
        retryMs = RetryFirstMs; // a working connection starts the count again
        takeState(message.state);
      } else if (message.type === 'result') {
        takeResult(message);
      }
      if (state)
        draw();
    };
    ws.onclose = () => {
      if (ws !== socket)
        return;
      socket = null;
      socketOpen = false;
      clearTimeout(quietTimer);
      lose('Not sent: the connection closed');
      draw();
      scheduleRetry();
    };
  }

  // JSON to or from the station, bounded in time.
  async function call(method, path, body) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), AnswerWaitMs);
    try {
      const options = {method, credentials: 'same-origin', signal: abort.signal, headers: {}};
      if (body !== undefined) {
        options.headers['Content-Type'] = 'application/json';
        options.body = JSON.stringify(body);
      }
      const response = await fetch(path, options);
      let json = null;
      try {
        json = await response.json();
      } catch (e) {
        json = null;
      }
      return {status: response.status, json};
    } finally {
      clearTimeout(timer);
    }
  }

  function errorText(answer, fallback) {
    return answer && answer.json && answer.json.error && answer.json.error.message
      ? answer.json.error.message : fallback;
  }

  function showSignIn(text) {
    const form = $('signin');
    const wasHidden = form.hidden;
    form.hidden = false;
    $('signin-error').textContent = text || '';
    if (wasHidden)
      $('token').focus();
    if (text)
      announce(text);
  }

  async function signIn(token) {
    const answer = await call('POST', '/api/v1/session', {token});
    if (answer.status === 204 || answer.status === 200)
      return '';
    return errorText(answer, 'Sign-in refused (' + answer.status + ')');
  }

  // Asks who we are, then opens the socket; a 401 asks for a token instead.
  async function start() {
    clearTimeout(retryTimer);
    let answer;
    try {
      if (heldToken) {
        const refused = await signIn(heldToken);
        heldToken = '';
        if (refused) {
          showSignIn(refused);
          return;
        }
      }
      answer = await call('GET', '/api/v1/session');
    } catch (e) {
      draw();
      scheduleRetry();
      return;
    }
    if (answer.status === 401) {
      showSignIn('');
      return;
    }
    if (answer.status !== 200) {
      problem = errorText(answer, 'The station answered ' + answer.status);
      draw();
      scheduleRetry();
      return;
    }
    $('signin').hidden = true;
    access = answer.json && answer.json.access;
    openSocket();
  }

  $('signin').addEventListener('submit', async (event) => {
    event.preventDefault();
    const token = $('token').value.trim();
    if (!token)
      return;
    let refused;
    try {
      refused = await signIn(token);
    } catch (e) {
      refused = 'No connection to the station';
    }
    if (refused) {
      showSignIn(refused);
      return;
    }
    $('token').value = '';
    $('signin').hidden = true;
    retryMs = RetryFirstMs;
    start();
  });

  async function begin() {
    draw();
    const match = /(?:^#|&)token=([^&]*)/.exec(location.hash);
    if (match) {
      // The token leaves the address (and the history) before anything else happens.
      history.replaceState(null, '', location.pathname + location.search);
      try {
        heldToken = decodeURIComponent(match[1]);
      } catch (e) {
        heldToken = '';
      }
    }
    start();
  }

  begin();
})();
