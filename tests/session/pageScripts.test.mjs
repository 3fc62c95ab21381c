// Runs each page script the way the web page does (as the body of an async
// function with its named arguments), against a fake fetch and a fake
// authentication client, and checks the requests it makes and what it
// returns. Usage: node pageScripts.test.mjs <scripts folder>
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";

const folder = process.argv[2];
const api = "https://api.orvo.example";
const AsyncFunction = (async () => {}).constructor;

function script(name, ...parameters) {
    const body = readFileSync(join(folder, `${name}.js`), "utf8").replaceAll("{{apiOrigin}}", api);
    return new AsyncFunction(...parameters, body);
}

// One fake page: fetch answers from a queue, every request is recorded.
function page(answers = []) {
    const state = { requests: [], tokens: 0 };
    globalThis.window = {
        Clerk: { session: { getToken: async () => `tok${++state.tokens}` } },
    };
    globalThis.fetch = async (url, init = {}) => {
        state.requests.push({ url, method: init.method ?? "GET", headers: init.headers ?? {}, body: init.body });
        const answer = answers.shift() ?? { status: 200, body: {} };
        if (answer.throws) throw new TypeError(answer.throws);
        return { status: answer.status, json: async () => answer.body };
    };
    return state;
}

test("sign-in probe is false until the client holds a session", async () => {
    const probe = script("isLoggedIn");
    for (const [window, expected] of [[{}, false], [{ Clerk: {} }, false], [{ Clerk: { session: {} } }, true]]) {
        globalThis.window = window;
        assert.equal(await probe(), expected);
    }
});

test("feed sends page 0 without a cursor and only the cursor with one", async () => {
    const feed = script("feedPage", "cursor");
    const state = page();
    await feed("");
    await feed("c2");
    const request = (token, body) => ({ url: `${api}/api/feed/v3`, method: "POST",
        headers: { Authorization: `Bearer ${token}`, "Content-Type": "application/json" }, body });
    // A fresh token for every run.
    assert.deepEqual(state.requests, [request("tok1", '{"page":0}'), request("tok2", '{"cursor":"c2"}')]);
});

test("feed keeps complete, untrashed clips and fills in defaults", async () => {
    const feed = script("feedPage", "cursor");
    page([{ status: 200, body: {
        clips: [
            { id: "a", title: "A", status: "complete", is_liked: 1, project: { id: "p", name: "P" } },
            { id: "b", title: "", status: "complete", is_trashed: false, project: { id: "", name: "" } },
            { id: "c", status: "complete" },
            { id: "d", status: "streaming" },
            { id: "e", status: "complete", is_trashed: true },
        ],
        next_cursor: "n", has_more: 1,
    } }]);
    assert.deepEqual(await feed(""), {
        clips: [
            { id: "a", title: "A", liked: true, pid: "p", pname: "P" },
            { id: "b", title: "Untitled", liked: false, pid: "", pname: "(no workspace)" },
            { id: "c", title: "Untitled", liked: false, pid: "", pname: "(no workspace)" },
        ],
        nextCursor: "n", hasMore: true,
    });
    page([{ status: 200, body: { has_more: true } }]);
    assert.deepEqual(await feed("x"), { clips: [], nextCursor: "", hasMore: true });
    for (const status of [401, 302]) {
        page([{ status }]);
        assert.deepEqual(await feed(""), { error: status }, "an error status comes back as a number");
    }
});

test("scripts reject when the page holds no session", async () => {
    for (const [name, argument] of [["feedPage", "cursor"], ["convertWav", "id"], ["wavURL", "id"]]) {
        page();
        globalThis.window = { Clerk: {} };
        await assert.rejects(script(name, argument)(""), TypeError);
    }
});

test("conversion posts to the clip's path with the token and no body", async () => {
    const state = page();
    assert.equal(await script("convertWav", "id")("a/b"), true);
    assert.deepEqual(state.requests, [{ url: `${api}/api/gen/a/b/convert_wav/`, method: "POST",
        headers: { Authorization: "Bearer tok1" }, body: undefined }]);
});

test("prod sends both requests with the token, the second even when the first fails", async () => {
    const state = page([{ throws: "Load failed" }, { status: 500 }]);
    assert.equal(await script("triggerMP3Download", "id")("x"), true);
    assert.deepEqual(state.requests, [
        { url: `${api}/api/download/clip/x?format=mp3`, method: "GET",
          headers: { Authorization: "Bearer tok1" }, body: undefined },
        { url: `${api}/api/billing/clips/x/download/`, method: "POST",
          headers: { Authorization: "Bearer tok1", "Content-Type": "application/json" }, body: undefined },
    ]);
});

test("wav address is the named file once ready, else empty", async () => {
    const wav = script("wavURL", "id");
    const state = page([
        { status: 200, body: { wav_file_url: "https://cdn.example/x.wav" } },
        { status: 200, body: { status: "converting" } },
        { status: 404, body: { detail: "no" } },
        { status: 200, body: null },
    ]);
    for (const expected of ["https://cdn.example/x.wav", "", "", ""])
        assert.equal(await wav("x"), expected);
    assert.deepEqual(state.requests[0], { url: `${api}/api/gen/x/wav_file/`, method: "GET",
        headers: { Authorization: "Bearer tok1" }, body: undefined });
});
