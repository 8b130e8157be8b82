// The worker needs nothing from any network. Without these the module would first ask
// fetch for its inline WebAssembly (a data: URL, which the page's policy refuses) and then
// decode it itself; now it decodes it at once, and nothing here can send anything.
self.fetch = undefined;
self.XMLHttpRequest = undefined;
