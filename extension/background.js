// Keeps the machine updated and the badge true while no popup is open. The
// updater's service runs only while something has asked it to check, so this
// worker asks "check" when the browser starts and when the extension is
// installed, and again now and then; in between it asks "status" on an
// alarm. Each settled answer sets the popup's "Last checked". The alarms
// wake this worker; nothing here waits in a loop.

import { askUpdater } from './updater_connection.js';
import { remember } from './last_checked.js';

const STATUS_ALARM = 'updater-status';
const CHECK_ALARM = 'updater-check';
// The updater itself looks every few seconds while the browser runs; the
// badge only needs to catch up with it within a minute.
const STATUS_PERIOD_MINUTES = 1;
// While the browser runs the service polls by itself, so a check from here
// only matters once the service has ended: stopped by a user, or ended by a
// failure. An hour lets a user's stop stand for a while and still brings a
// machine that is never restarted back to its updates.
const CHECK_PERIOD_MINUTES = 60;

async function ask(action) {
  await remember(await askUpdater(action));
}

// Alarms may not survive a restart of the browser, so each start sets them again.
function start() {
  chrome.alarms.create(STATUS_ALARM, { periodInMinutes: STATUS_PERIOD_MINUTES });
  chrome.alarms.create(CHECK_ALARM, { periodInMinutes: CHECK_PERIOD_MINUTES });
  return ask('check');
}

chrome.runtime.onInstalled.addListener(start);
chrome.runtime.onStartup.addListener(start);
chrome.alarms.onAlarm.addListener((alarm) => {
  if (alarm.name === STATUS_ALARM) ask('status');
  if (alarm.name === CHECK_ALARM) ask('check');
});
