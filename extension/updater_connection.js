// Asks the updater through its native messaging host. Every way a request
// can end becomes an answer the popup can show: the browser's native
// messaging reports its failures as rejected promises, and the updater
// reports its own as {"ok": false, "error": ...}.

const HOST_NAME = 'is.ostrel.updater';

export const STATUS_STATES = ['checking', 'up_to_date', 'downloading', 'ready', 'installing', 'error'];

// The kinds of answer besides a status document.
export const Failure = Object.freeze({
  hostMissing: 'hostMissing', // no host manifest names the updater
  hostFailed: 'hostFailed', // the host ran but gave no reply (it exited, or the pipe broke)
  refused: 'refused', // the updater answered "ok": false
  unexpected: 'unexpected', // a reply that is no status document
});

// The browser says only in words that no host manifest was found.
function isHostMissing(error) {
  return /not found/i.test(error.message);
}

function fromReply(reply) {
  if (reply === null || typeof reply !== 'object' || Array.isArray(reply)) {
    return { failure: Failure.unexpected, detail: '' };
  }
  if (reply.ok === false) {
    return { failure: Failure.refused, detail: typeof reply.error === 'string' ? reply.error : '' };
  }
  if (reply.ok !== true || !STATUS_STATES.includes(reply.state)) {
    return { failure: Failure.unexpected, detail: '' };
  }
  return { status: reply };
}

// Resolves to {status} for a status document, or {failure, detail}; never rejects.
export async function askUpdater(action) {
  try {
    return fromReply(await chrome.runtime.sendNativeMessage(HOST_NAME, { action }));
  } catch (error) {
    if (isHostMissing(error)) return { failure: Failure.hostMissing, detail: '' };
    return { failure: Failure.hostFailed, detail: error.message };
  }
}

// Whether the updater is still on its way somewhere: only these states change
// without anyone asking.
export function isMoving(answer) {
  return ['checking', 'downloading', 'installing'].includes(answer.status?.state);
}
