// The page's sign-in client. `Clerk.session` exists only while the site's
// session cookie names a live session; getToken() trades that cookie for a
// short-lived bearer token for the studio API.
(() => {
  const listeners = new Set();
  const clerk = {
    version: "orvo-sim",
    loaded: false,
    session: null,
    user: null,
    async load() {
      let info = null;
      try {
        const response = await fetch("/auth/session", { credentials: "same-origin", cache: "no-store" });
        if (response.ok) info = await response.json();
      } catch (e) {}
      setSession(info && info.signedIn ? info : null);
      clerk.loaded = true;
      notify();
      return clerk;
    },
    addListener(listener) {
      listeners.add(listener);
      if (clerk.loaded) listener(clerk);
      return () => listeners.delete(listener);
    },
    async signOut() {
      await fetch("/auth/sign-out", { method: "POST", credentials: "same-origin" });
      setSession(null);
      notify();
    },
  };

  function notify() {
    for (const listener of listeners) {
      try { listener(clerk); } catch (e) {}
    }
  }

  function setSession(info) {
    if (!info) {
      clerk.session = null;
      clerk.user = null;
      return;
    }
    clerk.user = info.user;
    clerk.session = {
      id: info.sessionId,
      status: "active",
      user: info.user,
      async getToken() {
        const response = await fetch("/auth/token", { method: "POST", credentials: "same-origin", cache: "no-store" });
        if (response.status === 401) {
          // Signed out elsewhere: no session, and no token.
          setSession(null);
          notify();
          return null;
        }
        if (!response.ok) throw new Error("Token request failed with status " + response.status);
        const body = await response.json();
        return body.jwt;
      },
    };
  }

  window.Clerk = clerk;
  clerk.load();
})();
