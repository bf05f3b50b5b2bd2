#include "driver/session.h"

#include "driver/limits.h"

CommandLock commandLock;
SpinLock outputLock;
Position gamePosition;
ThinkRequest thinkRequest;

// A search that only "stop" would end is stopped first, exactly as "stop"
// would: the loop reads nothing while it waits, so without this a controller
// that forgot its "stop" would hang the engine. Bounded searches are waited for.
void acquireCommandLock() {
  if (searchAwaitsStop(thinkRequest.limits)) requestStop();
  commandLock.acquire();
}
