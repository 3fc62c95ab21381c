if (location.origin !== webOrigin) throw "The Orvo page is not loaded";
const clip = encodeURIComponent(id); // one path segment, whatever the id holds
if (clip === "." || clip === "..") throw "Not a track id"; // a path of their own, even encoded
const api = "{{apiOrigin}}";
const t = await window.Clerk.session.getToken();
await fetch(`${api}/api/gen/${clip}/convert_wav/`, {
    method: "POST",
    headers: { "Authorization": "Bearer " + t },
});
return true;
