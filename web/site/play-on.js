// "Play on": songs play in this page or on a MIDI device. The browser is
// asked for its MIDI devices (Web MIDI) only when the visitor opens the
// choice, and the page says in words when it has none or may not use them.

import {element} from './dom.js';
import {player} from './song.js';
import {setPlayOn} from './sound.js';
import {reason} from './words.js';

const choice = document.getElementById('play-on');
const list = document.getElementById('play-on-list');
const shown = document.getElementById('play-on-choice');
const status = document.getElementById('play-on-status');
const here = document.getElementById('play-on-page');

const THIS_PAGE = 'this page';
let access = null;
let asked = false;
let chosen = null;  // the MIDIOutput songs play on, or null for this page

function nameOf(output) {
  return output.name || 'MIDI device ' + output.id;
}

function say(text) {
  status.textContent = text;
  status.hidden = text === '';
}

async function choose(output) {
  chosen = output;
  setPlayOn(output);
  shown.textContent = output ? nameOf(output) : THIS_PAGE;
  choice.dataset.playOn = output ? 'midi' : 'page';
  try {
    await player.changeSink();
  } catch (error) {
    say('The song could not go on there (' + reason(error) + ').');
  }
}

function radio(value, label) {
  const input = element('input');
  Object.assign(input, {type: 'radio', name: 'play-on', value});
  const item = element('label', 'play-on-item');
  item.append(input, ' ', label);
  return item;
}

// The list of outputs connected, as the browser has them now.
function showOutputs() {
  for (const item of [...list.querySelectorAll('.play-on-item.device')]) item.remove();
  const outputs = [...access.outputs.values()].filter((output) => output.state !== 'disconnected');
  for (const output of outputs) {
    const item = radio(output.id, nameOf(output));
    item.classList.add('device');
    const input = item.querySelector('input');
    input.checked = chosen !== null && chosen.id === output.id;
    input.addEventListener('change', () => choose(output));
    list.append(item);
  }
  if (chosen && !outputs.some((output) => output.id === chosen.id)) {
    here.checked = true;
    choose(null);
    say('The MIDI device the songs played on is gone; they play in this page again.');
  } else if (outputs.length === 0) {
    say('No MIDI device is connected. Connect one and it shows here.');
  } else {
    say('');
  }
}

async function ask() {
  asked = true;
  if (!navigator.requestMIDIAccess) {
    say('This browser cannot play on MIDI devices: it has no Web MIDI. Songs play in this page.');
    return;
  }
  say('Asking the browser for its MIDI devices…');
  try {
    access = await navigator.requestMIDIAccess();
  } catch (error) {
    asked = false;
    say('The browser did not let this page use its MIDI devices' +
        (error && error.message ? ' (' + reason(error) + ')' : '') +
        '. Songs play in this page; close and open this choice to ask again.');
    return;
  }
  access.addEventListener('statechange', showOutputs);
  showOutputs();
}

choice.addEventListener('toggle', () => {
  if (choice.open && !asked) ask();
});
here.addEventListener('change', () => choose(null));

// A device keeps no note on after the page has gone.
window.addEventListener('pagehide', () => player.stop());
