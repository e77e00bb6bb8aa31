#pragma once

#include "RVUtil/Export.h"

namespace RVUtil {

// Sees every record the library writes, wherever the log itself goes (standard error, or
// the folder the backend probe chose): a host can show, keep or count them. Records arrive
// one at a time, on the thread that writes them, with their level (8 error, 16 warning,
// 64 notice, ...) and their text as written to the log (control characters escaped, no
// time or level in front). OnLogRecord must not throw, nor add or remove observers; a
// record it writes itself is seen too.
class RVUTIL_API IRVLogObserver {
  public:
    virtual ~IRVLogObserver();
    virtual void OnLogRecord(int level, const char* text) = 0;
};

// The observer is called from now on until it is removed; the host keeps it alive until
// then. Adding one twice calls it twice; removing one that was never added does nothing.
RVUTIL_API void RVUtil_gfnAddLogObserver(IRVLogObserver* observer);
RVUTIL_API void RVUtil_gfnRemoveLogObserver(IRVLogObserver* observer);

// Where the log goes from now on: files in folder (created when missing), or, with a null
// folder, nowhere at all (observers still see every record). A host that chooses so keeps
// its choice: the backend probe then leaves the log where the host put it. False when the
// folder cannot be written; the log then stays where it went.
RVUTIL_API bool RVUtil_gfnSetLogFolder(const char* folder);

}  // namespace RVUtil
