// The popup: says what the updater is doing on opening, follows it while it
// is at work, and on "Check now" asks for a check.

import { askUpdater, isMoving } from './updater_connection.js';
import { askingWords, checkingWords, describe } from './updater_words.js';
import { lastChecked, onLastCheckedChange, remember } from './last_checked.js';

const FOLLOW_INTERVAL_MS = 1000;
// The popup follows a busy state for this long at most, then stops asking
// and says since when it has not: a state that never settles (one a process
// left behind as it died, until the updater next starts) must not
// keep it asking, nor hide "Check now", for as long as it is open. A test
// may shorten it with ?followSeconds=N.
const FOLLOW_LIMIT_MS = 1000 * (Number(new URLSearchParams(location.search).get('followSeconds')) || 120);
// "Checking…" lasts only until the updater has answered the check. "check"
// starts the service when it is not running and answers at once with the
// status it last published. While the browser runs the service looks at the
// feed every few seconds and publishes each time, and the extension's worker
// asks "check" when the browser starts, so that answer is its latest look,
// and the popup shows it as the check's outcome. Only a service that had
// ended (a user stopped it, or it failed) looks after the answer: it then
// publishes within a pass, and a new release shows as "downloading". So the
// popup asks "status" for a while more after the answer, showing the answer
// meanwhile and any change as it comes, with "Check now" at hand.
const WATCH_AFTER_CHECK_MS = 6000;

const text = (name, ...substitutions) => chrome.i18n.getMessage(name, substitutions);
const region = document.getElementById('state');
const headline = document.getElementById('headline');
const detail = document.getElementById('detail');
const notice = document.getElementById('notice');
const details = document.getElementById('details');
const detailsSaid = document.getElementById('details-said');
const detailsText = document.getElementById('details-text');
const button = document.getElementById('check');
const lastCheckedLine = document.getElementById('last-checked');
// Each follow and each check takes the next number; one whose number is no
// longer the latest stops, so a click always goes through.
let latest = 0;

const pause = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));

// The page's language is that of the messages shown, which may differ from
// the browser's interface language (a locale the extension lacks falls back
// to English).
const language = text('language');
const timeFormat = new Intl.DateTimeFormat(language, { dateStyle: 'medium', timeStyle: 'short' });

function localise() {
  document.documentElement.lang = language;
  document.title = text('popupTitle');
  for (const element of document.querySelectorAll('[data-message]')) {
    element.textContent = text(element.dataset.message);
  }
}

// Only a change is written, so the live region announces each new state
// once, and a state that stays is not repeated.
function setText(element, value) {
  if (element.textContent !== (value ?? '')) element.textContent = value ?? '';
}

function show(words, stoppedAt = null) {
  region.dataset.tone = words.tone;
  region.dataset.action = words.action ?? '';
  setText(headline, words.headline);
  setText(detail, words.detail);
  setText(notice, stoppedAt === null ? words.notice : text('followStopped', timeFormat.format(stoppedAt)));
  details.hidden = !words.details;
  if (words.details) {
    setText(detailsSaid, text(words.details.said));
    setText(detailsText, words.details.text);
  }
  // No button while the updater is at work; after the popup stopped
  // following it, "Check now" asks again.
  const action = words.action ?? (stoppedAt !== null ? 'check' : null);
  const hadFocus = document.activeElement === button;
  button.hidden = !action;
  if (action) setText(button, text(action === 'retry' ? 'tryAgain' : 'checkNow'));
  // A keyboard user's focus is not lost with the button: it goes to the
  // state, and back to the button when the button comes back.
  if (hadFocus && button.hidden) region.focus();
  if (!button.hidden && document.activeElement === region) button.focus();
}

function showLastChecked(time) {
  lastCheckedLine.hidden = time === null;
  if (time !== null) setText(lastCheckedLine, text('lastChecked', timeFormat.format(time)));
}

// Shows the answer, and asks "status" again while the updater is at work
// (for at most FOLLOW_LIMIT_MS) or until watchUntil.
async function follow(first, turn, watchUntil = 0) {
  const started = Date.now();
  let answer = first;
  for (;;) {
    if (turn !== latest) return;
    show(describe(answer));
    await remember(answer);
    const moving = isMoving(answer);
    if (!moving && Date.now() >= watchUntil) return;
    if (moving && Date.now() - started >= FOLLOW_LIMIT_MS) {
      if (turn === latest) show(describe(answer), Date.now());
      return;
    }
    await pause(FOLLOW_INTERVAL_MS);
    if (turn !== latest) return;
    answer = await askUpdater('status');
  }
}

async function checkNow() {
  const turn = ++latest;
  show(checkingWords());
  const answer = await askUpdater('check');
  await follow(answer, turn, Date.now() + WATCH_AFTER_CHECK_MS);
}

async function start() {
  localise();
  show(askingWords());
  showLastChecked(await lastChecked());
  onLastCheckedChange(showLastChecked);
  button.addEventListener('click', checkNow);
  const turn = ++latest;
  await follow(await askUpdater('status'), turn);
}

start();
