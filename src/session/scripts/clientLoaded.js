if (location.origin !== webOrigin) throw "The Orvo page is not loaded";
return !!(window.Clerk && window.Clerk.loaded);
