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

test("scripts reject before any request when the page holds no session", async () => {
    for (const [name, argument] of [["feedPage", "cursor"], ["convertWav", "id"], ["wavURL", "id"],
                                    ["triggerMP3Download", "id"]]) {
        const state = page();
        globalThis.window = { Clerk: {} };
        await assert.rejects(script(name, argument)(""), TypeError);
        assert.deepEqual(state.requests, [], name);
    }
});

test("track scripts send exactly the requests the API accepts", async () => {
    const bearer = { Authorization: "Bearer tok1" };
    const request = (method, path, headers = bearer) => ({ url: `${api}${path}`, method, headers, body: undefined });
    for (const [name, answers, expected] of [
        ["convertWav", [], [request("POST", "/api/gen/a/b/convert_wav/")]],
        ["wavURL", [], [request("GET", "/api/gen/a/b/wav_file/")]],
        // The prod's second request goes out whatever became of the first.
        ["triggerMP3Download", [{ throws: "Load failed" }, { status: 500 }], [
            request("GET", "/api/download/clip/a/b?format=mp3"),
            request("POST", "/api/billing/clips/a/b/download/", { ...bearer, "Content-Type": "application/json" }),
        ]],
    ]) {
        const state = page(answers);
        await script(name, "id")("a/b");
        assert.deepEqual(state.requests, expected, name);
    }
});

test("wav address is the named file once ready, else empty", async () => {
    const wav = script("wavURL", "id");
    page([
        { status: 200, body: { wav_file_url: "https://cdn.example/x.wav" } },
        { status: 200, body: { status: "converting" } },
        { status: 404, body: { detail: "no" } },
        { status: 200, body: null },
    ]);
    for (const expected of ["https://cdn.example/x.wav", "", "", ""])
        assert.equal(await wav("x"), expected);
});
