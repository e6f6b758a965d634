// When the popup or the background worker last had a settled answer from the
// updater, kept in the extension's local storage: the updater's status
// document carries no time, and stays as it is.

import { isSettled } from './updater_connection.js';
import { showOnBadge } from './badge.js';

const KEY = 'lastChecked';

// Every answer goes to the badge; a settled one also sets the time.
export async function remember(answer) {
  await showOnBadge(answer);
  if (isSettled(answer)) await chrome.storage.local.set({ [KEY]: Date.now() });
}

// The time in milliseconds since the epoch, or null before any settled answer.
export async function lastChecked() {
  const stored = await chrome.storage.local.get(KEY);
  return typeof stored[KEY] === 'number' ? stored[KEY] : null;
}

export function onLastCheckedChange(listener) {
  chrome.storage.onChanged.addListener((changes, area) => {
    if (area === 'local' && changes[KEY]) listener(changes[KEY].newValue ?? null);
  });
}
