// The toolbar icon's badge: marked while a release waits for the browser to
// close or a problem stands, cleared otherwise. Its tooltip says the state in
// the popup's words, for those who cannot see the colours.

import { describe } from './updater_words.js';

const MARKS = {
  ready: { text: 'badgeReady', color: '#1a7f37' },
  problem: { text: 'badgeProblem', color: '#c62828' },
};

export async function showOnBadge(answer) {
  const words = describe(answer);
  const mark = MARKS[words.tone];
  await chrome.action.setBadgeText({ text: mark ? chrome.i18n.getMessage(mark.text) : '' });
  if (mark) await chrome.action.setBadgeBackgroundColor({ color: mark.color });
  await chrome.action.setTitle({ title: `${chrome.i18n.getMessage('extensionName')}: ${words.headline}` });
}
