// The toolbar icon's badge: marked while a release waits for the browser to
// close or a problem stands, cleared otherwise. Its colours stand apart from
// the icon's deep blue, its text is readable on them (at least 4.5:1), and
// its tooltip says the state in the popup's words, for those who cannot see
// the colours.

import { describe } from './updater_words.js';

export const MARKS = {
  ready: { text: 'badgeReady', color: '#fbbc04', textColor: '#202124' },
  problem: { text: 'badgeProblem', color: '#c62828', textColor: '#ffffff' },
};

export async function showOnBadge(answer) {
  const words = describe(answer);
  const mark = MARKS[words.tone];
  await chrome.action.setBadgeText({ text: mark ? chrome.i18n.getMessage(mark.text) : '' });
  if (mark) {
    await chrome.action.setBadgeBackgroundColor({ color: mark.color });
    await chrome.action.setBadgeTextColor({ color: mark.textColor });
  }
  await chrome.action.setTitle({ title: `${chrome.i18n.getMessage('extensionName')}: ${words.headline}` });
}
