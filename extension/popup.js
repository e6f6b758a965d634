// The popup: says what the updater is doing on opening, and on "Check now"
// asks for a check and follows the status until it settles.

import { askUpdater, isMoving } from './updater_connection.js';
import { checkingWords, describe } from './updater_words.js';
import { showOnBadge } from './badge.js';

const FOLLOW_INTERVAL_MS = 1000;
// The reply to "check", and the status for a moment after it, is usually the
// document from before the check: the service publishes only once it has
// looked. An unchanged settled document is taken as the check's outcome only
// after this long.
const CHECK_GRACE_MS = 10000;

const region = document.getElementById('state');
const headline = document.getElementById('headline');
const detail = document.getElementById('detail');
const button = document.getElementById('check');
let following = false;

const pause = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));

function localise() {
  document.documentElement.lang = chrome.i18n.getUILanguage();
  document.title = chrome.i18n.getMessage('popupTitle');
  for (const element of document.querySelectorAll('[data-message]')) {
    element.textContent = chrome.i18n.getMessage(element.dataset.message);
  }
}

function show(words) {
  region.dataset.tone = words.tone;
  headline.textContent = words.headline;
  detail.textContent = words.detail;
  button.textContent = chrome.i18n.getMessage(words.retry ? 'tryAgain' : 'checkNow');
}

// The button keeps its place in the focus order while a request runs: it is
// marked, not disabled, so a keyboard user's focus stays on it.
function setFollowing(value) {
  following = value;
  button.setAttribute('aria-disabled', String(value));
  region.setAttribute('aria-busy', String(value));
}

async function whileFollowing(task) {
  if (following) return;
  setFollowing(true);
  try {
    await task();
  } finally {
    setFollowing(false);
  }
}

// Shows each answer in wordsWhileWaiting's words and asks "status" again
// while stillWaiting holds; the settled answer goes to the popup and the badge.
async function follow(first, stillWaiting, wordsWhileWaiting) {
  let answer = first;
  while (stillWaiting(answer)) {
    show(wordsWhileWaiting(answer));
    await pause(FOLLOW_INTERVAL_MS);
    answer = await askUpdater('status');
  }
  show(describe(answer));
  await showOnBadge(answer);
}

function sameStatus(answer, other) {
  return Boolean(answer.status) && JSON.stringify(answer.status) === JSON.stringify(other.status);
}

function checkNow() {
  return whileFollowing(async () => {
    show(checkingWords());
    const before = await askUpdater('check');
    const asked = Date.now();
    const unanswered = (answer) => sameStatus(answer, before) && Date.now() - asked < CHECK_GRACE_MS;
    await follow(before, (answer) => isMoving(answer) || unanswered(answer),
      (answer) => (isMoving(answer) ? describe(answer) : checkingWords()));
  });
}

localise();
button.addEventListener('click', checkNow);
whileFollowing(async () => follow(await askUpdater('status'), isMoving, describe));
