// The ids of the elements clicked, in order: window.clicks.
window.clicks = [];
function record(name) { window.clicks.push(name); }
