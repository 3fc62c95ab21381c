if (location.origin !== webOrigin) throw "The Orvo page is not loaded";
const api = "{{apiOrigin}}";
const t = await window.Clerk.session.getToken();
const r = await fetch(`${api}/api/gen/${id}/wav_file/`, {
    headers: { "Authorization": "Bearer " + t },
});
if (r.status < 200 || r.status > 299) return "";
const j = await r.json();
return (j && j.wav_file_url) ? j.wav_file_url : "";
