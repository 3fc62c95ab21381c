return !!(window.Clerk && window.Clerk.session);
