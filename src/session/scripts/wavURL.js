if (location.origin !== webOrigin) throw "The Orvo page is not loaded";
const clip = encodeURIComponent(id); // one path segment, whatever the id holds
if (clip === "." || clip === "..") throw "Not a track id"; // a path of their own, even encoded
const api = "{{apiOrigin}}";
const t = await window.Clerk.session.getToken();
const r = await fetch(`${api}/api/gen/${clip}/wav_file/`, {
    headers: { "Authorization": "Bearer " + t },
});
if (r.status < 200 || r.status > 299) return "";
const j = await r.json();
return (j && j.wav_file_url) ? j.wav_file_url : "";
