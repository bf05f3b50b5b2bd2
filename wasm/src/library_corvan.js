// Link-time additions to Emscripten's runtime for the threaded module.
// Standard output is written by whichever thread prints (the command loop,
// the search): each write runs on the worker's own thread, the caller waiting
// until it is done, so that lines reach the page whole and in the order the
// engine wrote them.
mergeInto(LibraryManager.library, {
  fd_write__proxy: 'sync',
});
