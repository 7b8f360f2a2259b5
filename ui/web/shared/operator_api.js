// Talking to the operator server: the access token, commands and queries.
//
// The token comes from the address (?token=...) of the first load and is kept for this tab, so
// that a reload of the bare address still works; every call carries it in a header.

const tokenKey = `qorsv_token_${location.port}`;

function findToken() {
  const fromAddress = new URLSearchParams(location.search).get('token');
  if (fromAddress) {
    sessionStorage.setItem(tokenKey, fromAddress);
    return fromAddress;
  }
  return sessionStorage.getItem(tokenKey) ?? '';
}

export const token = findToken();

// Runs a command of a source ("console", "messages", ...) on the server's UI thread. Resolves to
// the answer {ok, result} or {ok: false, error}; never rejects, so a click handler needs no
// try/catch. A page whose server has gone gets {ok: false}.
export async function command(source, name, args = {}) {
  try {
    const response = await fetch('/api/command', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', 'X-Qorsv-Token': token },
      body: JSON.stringify({ source, command: name, args }),
    });
    return await response.json();
  } catch (error) {
    return { ok: false, error: String(error) };
  }
}

// A query (GET /api/NAME) with parameters. Rejects with the server's error text.
export async function query(name, params = {}) {
  const response = await fetch(`/api/${name}?${new URLSearchParams(params)}`, {
    headers: { 'X-Qorsv-Token': token },
  });
  const answer = await response.json().catch(() => ({ ok: false, error: response.statusText }));
  if (!response.ok) throw new Error(answer.error ?? response.statusText);
  return answer;
}
