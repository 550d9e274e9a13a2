#pragma once
// What a source component needs to copy its drag's data to the clipboard: CopyToClipboard, the
// choice between flushing and clearing its contents when it goes, and the event that tells the
// application that a cut was pasted. The component's data object goes on the clipboard inside a
// thin data object of this unit, which forwards every call to it while the component lives,
// answers "Preferred DropEffect", reports a target's "Paste Succeeded", bounds a flush, and lets
// go of the component's object when the component goes, whoever still holds the clipboard's.
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <functional>

#include "framework/ComObj.h"
#include "vocabulary/KXClipboard.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

class TClipboardDataObject;

// Raised when a target says it has pasted the component's clipboard contents as a move ("Paste
// Succeeded" after a cut): the application removes what was cut. Effect is the target's effect.
using TKXPasteSucceededType = std::function<void(TObject* Sender, TDropEffect Effect)>;

class KX_API TKXClipboardSource {
 public:
  TKXClipboardSource(const TKXClipboardSource&) = delete;
  TKXClipboardSource& operator=(const TKXClipboardSource&) = delete;

  // Puts a data object with the formats of the component's drag on the clipboard, its contents
  // made when a program asks for them, and "Preferred DropEffect": move for a cut, else copy.
  // False when there is nothing to copy or the clipboard cannot be set.
  bool CopyToClipboard(bool Cut = false);
  // Whether the component's contents are what the clipboard holds now.
  bool getOnClipboard() const;

  // What happens to the component's contents on the clipboard when it goes (and so when the
  // application ends): crFlush (default) renders them into the system's clipboard, where text,
  // pictures and file names stay after the application exits; crClear takes them off.
  TClipboardRetention getClipboardRetention() const { return FRetention; }
  void setClipboardRetention(TClipboardRetention Value) { FRetention = Value; }
  // The largest block a flush renders (64 MiB by default); a format whose data is larger is left
  // out. Virtual files are always left out of a flush: they are asked for by item, which the
  // system's clipboard cannot keep.
  std::uint64_t getClipboardFlushLimit() const { return FFlushLimit; }
  void setClipboardFlushLimit(std::uint64_t Value) { FFlushLimit = Value; }

  const TKXPasteSucceededType& getOnPasteSucceeded() const { return FOnPasteSucceeded; }
  void setOnPasteSucceeded(TKXPasteSucceededType Value) { FOnPasteSucceeded = std::move(Value); }

 protected:
  explicit TKXClipboardSource(vcl::TObject* Sender);
  ~TKXClipboardSource();
  // The data object of a drag of the component as it is now; empty when there is nothing to copy.
  virtual vcl::TComPtr<IDataObject> MakeClipboardData() = 0;
  // The component is going: its contents on the clipboard are flushed or cleared now, while it can
  // still render them (TKXBaseDragSource::ComponentGoing calls it first).
  void ClipboardComponentGone();

 private:
  friend class TClipboardDataObject;
  // A target reported "Paste Succeeded" on the component's contents.
  void PasteSucceeded(DWORD Effect);

  vcl::TObject* FSender;
  vcl::TComPtr<TClipboardDataObject> FOnClipboard;
  TClipboardRetention FRetention = crFlush;
  std::uint64_t FFlushLimit = kDefaultClipboardFlushLimit;
  TKXPasteSucceededType FOnPasteSucceeded;
};

}  // namespace kestrix
