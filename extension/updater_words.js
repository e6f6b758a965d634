// What a user reads for an answer of the updater, as a browser's own "About"
// page says it: a headline that is the state's next step or its plain
// outcome, a detail line, a notice when something went wrong on the way, the
// updater's or the browser's own text for "Details", a tone for the colours,
// the mark and the badge, and the action offered ('check', 'retry' or none).
// Every text comes from the locale's messages; the updater's and the
// browser's own texts are English and appear only under "Details".

import { Failure } from './updater_connection.js';

const text = (name, ...substitutions) => chrome.i18n.getMessage(name, substitutions);

// The updater's failure texts (its "message" member, and a refusal's
// "error") name the step that failed and a code. Two families have a plain
// next step of their own; every other failure is worded as one.
// Reaching the feed: the connection, the request, the reply's status.
const UNREACHABLE = /^(Connect update server|Open update connection|Create update request|Request update|Read update download|Update server returned|Update check canceled|Disable update redirects|Update download ended early)/;
// The download verified and found wrong: nothing of it ever runs.
const NOT_GENUINE = /(SHA-512 mismatch|size mismatch|signature mismatch|exceeds its signed limit|belongs to a different runtime|Invalid (metadata size|release version|installer filename|fixed-feed filename|Base64))/;
// A refusal during a removal (bridge/control_action.cpp).
const UNINSTALLING = /being uninstalled/;

function failedUpdate(message) {
  if (UNREACHABLE.test(message)) return { headline: text('unreachableHeadline'), detail: text('unreachableDetail') };
  if (NOT_GENUINE.test(message)) return { headline: text('notGenuineHeadline'), detail: text('notGenuineDetail') };
  return { headline: text('updateFailedHeadline'), detail: text('updateFailedDetail') };
}

// tone: 'calm' nothing to do, 'busy' under way, 'ready' waits for every
// window of the browser to close, 'problem' something stands in the way.
const STATUS_WORDS = {
  up_to_date: (status) => ({
    tone: 'calm', action: 'check', headline: text('upToDateHeadline'),
    detail: text('installedDetail', status.installedVersion),
  }),
  checking: (status) => ({
    tone: 'busy', headline: text('checkingHeadline'), detail: text('installedDetail', status.installedVersion),
  }),
  downloading: (status) => ({
    tone: 'busy', headline: text('downloadingHeadline', status.availableVersion), detail: text('downloadingDetail'),
  }),
  // A "ready" with a message: the release stays staged, and the last attempt
  // went wrong. The service publishes it when a check fails while a release
  // is staged, and the apply worker when the installation failed; a failure
  // to reach the feed is the former, every other the latter.
  ready: (status) => ({
    tone: 'ready',
    headline: text('readyHeadline', status.availableVersion),
    detail: text('readyDetail', status.availableVersion),
    ...(status.message ? {
      notice: text(UNREACHABLE.test(status.message) ? 'readyCheckFailedNotice' : 'readyInstallFailedNotice'),
      details: { said: 'updaterSaid', text: status.message },
    } : {}),
  }),
  installing: (status) => ({
    tone: 'busy',
    headline: status.availableVersion ? text('installingHeadline', status.availableVersion) : text('installingUnnamedHeadline'),
    detail: text('installingDetail'),
  }),
  error: (status) => ({
    tone: 'problem', action: 'retry', ...failedUpdate(status.message ?? ''),
    details: status.message ? { said: 'updaterSaid', text: status.message } : undefined,
  }),
};

const FAILURE_WORDS = {
  [Failure.hostMissing]: () => ({ headline: text('hostMissingHeadline'), detail: text('hostMissingDetail'), said: 'browserSaid' }),
  [Failure.hostForbidden]: () => ({ headline: text('hostForbiddenHeadline'), detail: text('hostForbiddenDetail'), said: 'browserSaid' }),
  [Failure.hostFailed]: () => ({ headline: text('hostFailedHeadline'), detail: text('hostFailedDetail'), said: 'browserSaid' }),
  [Failure.refused]: (detail) => (UNINSTALLING.test(detail)
    ? { headline: text('uninstallingHeadline'), detail: text('uninstallingDetail'), said: 'updaterSaid', action: null }
    : { headline: text('refusedHeadline'), detail: text('refusedDetail'), said: 'updaterSaid' }),
  [Failure.unexpected]: () => ({ headline: text('unexpectedHeadline'), detail: text('unexpectedDetail'), said: 'answerWas' }),
};

export function describe(answer) {
  if (answer.status) return STATUS_WORDS[answer.status.state](answer.status);
  const { said, ...words } = FAILURE_WORDS[answer.failure](answer.detail ?? '');
  return {
    tone: 'problem', action: 'retry', ...words,
    details: answer.detail ? { said, text: answer.detail } : undefined,
  };
}

// What the popup shows from "Check now" until the updater answers it.
export function checkingWords() {
  return { tone: 'busy', headline: text('checkingHeadline'), detail: '' };
}

// What it shows before the first answer.
export function askingWords() {
  return { tone: 'busy', headline: text('askingHeadline'), detail: '' };
}
