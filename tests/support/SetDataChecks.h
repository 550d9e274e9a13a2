#pragma once
// The shell's side of a data object's SetData protocol, run against any data object: formats of
// others stored on global memory and streams, taken or copied as fRelease says, replaced by a
// second SetData, offered back after the object's own formats, never replacing those; every
// medium counted so that none leaks once the object is gone.
#include <windows.h>
#include <ole2.h>

namespace kxtest {

// Runs the protocol on Data, whose own formats include Own (on global memory); Data must hold
// the only reference, which the check releases.
void CheckSetDataProtocol(IDataObject* Data, CLIPFORMAT Own);

// One GetData into a medium whose every field is poisoned first, as each must be written; a
// medium that came back is released with this.
struct PoisonedGet {
  PoisonedGet(IDataObject* Data, FORMATETC Fe);
  ~PoisonedGet();
  PoisonedGet(const PoisonedGet&) = delete;
  PoisonedGet& operator=(const PoisonedGet&) = delete;

  HRESULT hr;
  STGMEDIUM m;
};

}  // namespace kxtest
