// Put at the top of the npm package's module factory (tessera_node.mjs). This emscripten's Node
// support predates ES modules and takes the script's folder from CommonJS's __dirname, which an
// ES module lacks; the .wasm is inlined in the file, so that folder is never used to read one.
var __dirname = '';
