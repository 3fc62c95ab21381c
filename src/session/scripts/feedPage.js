if (location.origin !== webOrigin) throw "The Orvo page is not loaded";
const api = "{{apiOrigin}}";
const t = await window.Clerk.session.getToken();
const r = await fetch(`${api}/api/feed/v3`, {
    method: "POST",
    headers: { "Authorization": "Bearer " + t, "Content-Type": "application/json" },
    body: JSON.stringify((cursor && cursor.length) ? { cursor } : { page: 0 }),
});
if (r.status < 200 || r.status > 299) return { error: r.status };
const j = await r.json();
const clips = (j.clips || [])
    .filter(c => c.status === 'complete' && !c.is_trashed)
    .map(c => ({
        id: c.id,
        title: c.title || "Untitled",
        liked: !!c.is_liked,
        pid: (c.project && c.project.id) ? c.project.id : "",
        pname: (c.project && c.project.name) ? c.project.name : "(no workspace)",
    }));
return { clips, nextCursor: j.next_cursor || "", hasMore: !!j.has_more };
