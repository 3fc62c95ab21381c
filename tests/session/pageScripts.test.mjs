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

const web = "https://orvo.example";

// The script as the bridge runs it, on a page at `origin`.
function script(name, parameter, origin = web) {
    const body = readFileSync(join(folder, `${name}.js`), "utf8").replaceAll("{{apiOrigin}}", api);
    const run = new AsyncFunction("webOrigin", ...(parameter ? [parameter] : []), body);
    return (argument) => {
        globalThis.location = { origin };
        return run(web, argument);
    };
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

test("scripts send exactly the requests the API accepts, each run with a fresh token", async () => {
    const state = page([{ throws: "Load failed" }, { status: 500 }]);
    // An id cannot reach another path or add a query: it is one path segment.
    const id = "../../billing/x?y=1#z";
    for (const [name, parameter, argument] of [["triggerMP3Download", "id", id], ["convertWav", "id", id],
                                               ["wavURL", "id", id], ["feedPage", "cursor", ""],
                                               ["feedPage", "cursor", "c2"]])
        await script(name, parameter)(argument);
    const request = (method, path, token, json, body) => ({ url: `${api}${path}`, method, body,
        headers: { Authorization: `Bearer tok${token}`, ...(json && { "Content-Type": "application/json" }) } });
    assert.deepEqual(state.requests, [
        // The prod's second request goes out whatever became of the first.
        request("GET", "/api/download/clip/..%2F..%2Fbilling%2Fx%3Fy%3D1%23z?format=mp3", 1),
        request("POST", "/api/billing/clips/..%2F..%2Fbilling%2Fx%3Fy%3D1%23z/download/", 1, true),
        request("POST", "/api/gen/..%2F..%2Fbilling%2Fx%3Fy%3D1%23z/convert_wav/", 2),
        request("GET", "/api/gen/..%2F..%2Fbilling%2Fx%3Fy%3D1%23z/wav_file/", 3),
        request("POST", "/api/feed/v3", 4, true, '{"page":0}'),
        request("POST", "/api/feed/v3", 5, true, '{"cursor":"c2"}'),
    ]);
});

test("an id that is a path of its own is refused before any request", async () => {
    for (const name of ["convertWav", "wavURL", "triggerMP3Download"])
        for (const id of [".", ".."]) {
            const state = page();
            await assert.rejects(script(name, "id")(id), (reason) => reason === "Not a track id", name);
            assert.deepEqual(state.requests, [], name);
        }
});

test("on a page off the web origin no script touches the page's client or fetch", async () => {
    for (const [name, parameter] of [["isLoggedIn"], ["feedPage", "cursor"], ["convertWav", "id"],
                                     ["wavURL", "id"], ["triggerMP3Download", "id"]]) {
        const state = page([{ status: 200, body: {} }]);
        let clientRead = false;
        globalThis.window = { get Clerk() { clientRead = true; return { session: {} }; } };
        await assert.rejects(script(name, parameter, "https://impostor.example")(""),
                             (reason) => reason === "The Orvo page is not loaded", name);
        assert.deepEqual(state.requests, [], name);
        assert.equal(clientRead, false, name);
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
