// Keeps the badge true while no popup is open: asks the updater's status when
// the browser starts, when the extension is installed, and on an alarm now
// and then. The alarm wakes this worker; nothing here waits in a loop.

import { askUpdater } from './updater_connection.js';
import { showOnBadge } from './badge.js';

const ALARM = 'updater-status';
// The updater itself looks every few seconds while the browser runs; the
// badge only needs to catch up with it within a minute.
const PERIOD_MINUTES = 1;

async function refreshBadge() {
  await showOnBadge(await askUpdater('status'));
}

// Alarms may not survive a restart of the browser, so each start sets it again.
function start() {
  chrome.alarms.create(ALARM, { periodInMinutes: PERIOD_MINUTES });
  return refreshBadge();
}

chrome.runtime.onInstalled.addListener(start);
chrome.runtime.onStartup.addListener(start);
chrome.alarms.onAlarm.addListener((alarm) => {
  if (alarm.name === ALARM) refreshBadge();
});
