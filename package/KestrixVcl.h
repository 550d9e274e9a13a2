#pragma once
// Library start-up and shut-down.
//
// Nothing runs inside DllMain (OleInitialize is not allowed under the loader lock). The units
// start in the order KXUtil, KXGIFImage, KXComps and stop in reverse, each guarded by its own
// counter. Start-up runs either
//   - explicitly: KestrixStartup()/KestrixShutdown() in pairs, or a TKestrixLibrary guard object
//     for the lifetime of the application's user-interface thread; or
//   - on first use: creating any Kestrix component starts the library if it is not started. Such
//     a start holds no guard and is never taken back: OLE stays initialised on that thread until
//     the process ends (the component's thread is the application's user-interface thread).
// All of it runs on the application's user-interface thread.
#include "framework/Export.h"

namespace kestrix {

KX_API void KestrixStartup();
KX_API void KestrixShutdown();
// Starts the library once, on first use, without a matching shut-down.
KX_API void KestrixEnsureStarted();
// How many times the start-up itself has run in this process (requests beyond the first only
// count the guard).
KX_API int KestrixStartupRuns();

class TKestrixLibrary {
 public:
  TKestrixLibrary() { KestrixStartup(); }
  ~TKestrixLibrary() { KestrixShutdown(); }
  TKestrixLibrary(const TKestrixLibrary&) = delete;
  TKestrixLibrary& operator=(const TKestrixLibrary&) = delete;
};

}  // namespace kestrix
