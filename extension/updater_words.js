// What a user reads for an answer of the updater: a headline, a detail line,
// a tone for the colours and the badge, and whether "Check now" is a retry.
// Every text comes from the locale's messages.

import { Failure } from './updater_connection.js';

const text = (name, ...substitutions) => chrome.i18n.getMessage(name, substitutions);

// tone: 'calm' nothing to do, 'busy' under way, 'ready' waits for the
// browser to close, 'problem' something stands in the way.
const STATUS_WORDS = {
  up_to_date: (status) => ({ tone: 'calm', headline: text('upToDateHeadline'), detail: text('installedDetail', status.installedVersion) }),
  checking: (status) => ({ tone: 'busy', headline: text('checkingHeadline'), detail: text('installedDetail', status.installedVersion) }),
  downloading: (status) => ({ tone: 'busy', headline: text('downloadingHeadline', status.availableVersion), detail: text('downloadingDetail') }),
  ready: (status) => ({ tone: 'ready', headline: text('readyHeadline', status.availableVersion), detail: text('readyDetail') }),
  installing: (status) => ({
    tone: 'busy',
    headline: status.availableVersion ? text('installingHeadline', status.availableVersion) : text('installingUnnamedHeadline'),
    detail: text('installingDetail'),
  }),
  error: (status) => ({ tone: 'problem', retry: true, headline: text('errorHeadline'), detail: text('updaterSaid', status.message ?? '') }),
};

const FAILURE_WORDS = {
  [Failure.hostMissing]: () => ({ headline: text('hostMissingHeadline'), detail: text('hostMissingDetail') }),
  [Failure.hostFailed]: (detail) => ({ headline: text('hostFailedHeadline'), detail: text('browserSaid', detail) }),
  [Failure.refused]: (detail) => ({ headline: text('refusedHeadline'), detail: text('updaterSaid', detail) }),
  [Failure.unexpected]: () => ({ headline: text('unexpectedHeadline'), detail: text('unexpectedDetail') }),
};

export function describe(answer) {
  if (answer.status) return STATUS_WORDS[answer.status.state](answer.status);
  return { tone: 'problem', retry: true, ...FAILURE_WORDS[answer.failure](answer.detail) };
}

// What the popup shows while a check it asked for has not been answered yet.
export function checkingWords() {
  return { tone: 'busy', headline: text('checkingHeadline'), detail: '' };
}
