// Asks the updater through its native messaging host. Every way a request
// can end becomes an answer the popup can show: the browser's native
// messaging reports its failures as rejected promises, and the updater
// reports its own as {"ok": false, "error": ...}.

const HOST_NAME = 'is.ostrel.updater';

export const STATUS_STATES = ['checking', 'up_to_date', 'downloading', 'ready', 'installing', 'error'];

// The kinds of answer besides a status document.
export const Failure = Object.freeze({
  hostMissing: 'hostMissing', // no host manifest names the updater
  hostForbidden: 'hostForbidden', // a host manifest names it, but not for this extension
  hostFailed: 'hostFailed', // the host ran but gave no reply (it exited, or the pipe broke)
  refused: 'refused', // the updater answered "ok": false
  unexpected: 'unexpected', // a reply that is no status document
});

// The browser says only in words what went wrong: "Specified native
// messaging host not found.", "Access to the specified native messaging host
// is forbidden.", and for a host that ran and gave no reply "Native host has
// exited.", "Error when communicating with the native messaging host." or
// "Failed to start native messaging host.".
function browserFailure(error) {
  const message = String(error?.message ?? error);
  if (/not found/i.test(message)) return { failure: Failure.hostMissing, detail: message };
  if (/forbidden/i.test(message)) return { failure: Failure.hostForbidden, detail: message };
  return { failure: Failure.hostFailed, detail: message };
}

// At most this much of an answer not understood is kept for "Details".
const UNEXPECTED_DETAIL_LIMIT = 300;

function unexpected(reply) {
  let text;
  try {
    text = JSON.stringify(reply);
  } catch {
    text = String(reply);
  }
  return { failure: Failure.unexpected, detail: String(text).slice(0, UNEXPECTED_DETAIL_LIMIT) };
}

function fromReply(reply) {
  if (reply === null || typeof reply !== 'object' || Array.isArray(reply)) return unexpected(reply);
  if (reply.ok === false) {
    return { failure: Failure.refused, detail: typeof reply.error === 'string' ? reply.error : '' };
  }
  if (reply.ok !== true || !STATUS_STATES.includes(reply.state)) return unexpected(reply);
  return { status: reply };
}

// Resolves to {status} for a status document, or {failure, detail}; never rejects.
export async function askUpdater(action) {
  try {
    return fromReply(await chrome.runtime.sendNativeMessage(HOST_NAME, { action }));
  } catch (error) {
    return browserFailure(error);
  }
}

// Whether the updater is still on its way somewhere: only these states change
// without anyone asking.
export function isMoving(answer) {
  return ['checking', 'downloading', 'installing'].includes(answer.status?.state);
}

// Whether the answer is the updater's settled word: a status document in a
// state that stays until someone asks again.
export function isSettled(answer) {
  return Boolean(answer.status) && !isMoving(answer);
}
