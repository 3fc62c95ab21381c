if (location.origin !== webOrigin) throw "The Orvo page is not loaded";
const api = "{{apiOrigin}}";
const t = await window.Clerk.session.getToken();
await fetch(`${api}/api/gen/${id}/convert_wav/`, {
    method: "POST",
    headers: { "Authorization": "Bearer " + t },
});
return true;
