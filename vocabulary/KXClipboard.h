#pragma once
// The OLE clipboard as the components use it: reading what is there for a paste, telling its data
// object what a paste did ("Performed DropEffect", and "Paste Succeeded" after a cut was moved),
// and putting a component's data object there and taking it off again when the component goes.
// Nothing here enumerates the clipboard's formats: other programs' clipboards answer
// EnumFormatEtc wrongly (under Wine, between a 32-bit and a 64-bit process it misreads the list or
// crashes the reader), while QueryGetData and GetData work.
#include <windows.h>
#include <ole2.h>

#include <cstdint>

#include "framework/ComObj.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

// What happens to a component's contents on the clipboard when the component goes (and so at
// shut-down, when the application frees its components).
enum TClipboardRetention {
  // Rendered now into the system's clipboard, where they stay after the application exits: every
  // format not asked by item, each within the component's flush limit. Virtual files are asked by
  // item, which the system's clipboard cannot keep, so they are left out.
  crFlush,
  // Taken off the clipboard.
  crClear,
};

// The largest block a flush renders by default (64 MiB).
inline constexpr std::uint64_t kDefaultClipboardFlushLimit = std::uint64_t{64} << 20;

// "Paste Succeeded", registered on first use.
KX_API UINT PasteSucceededFormat();

// The clipboard's data object (a new reference); empty when the clipboard holds nothing or stays
// open in another program after a few short retries.
KX_API vcl::TComPtr<IDataObject> ClipboardDataObject();

// The effects a paste of Data may choose: copy, and move as well when its "Preferred DropEffect"
// says the contents were cut (move without copy).
KX_API DWORD PasteEffects(IDataObject* Data);

// Tells the data object of a paste what it did: "Performed DropEffect" (Effect), and
// "Paste Succeeded" when the contents were moved. When the clipboard's object refuses (Wine's does
// not pass SetData on) and the contents are this process's own, they are told directly.
KX_API void ReportPaste(IDataObject* Data, DWORD Effect);

// Puts Data on the clipboard (OleSetClipboard); the process remembers it as its own contents.
KX_API HRESULT PutOnClipboard(IDataObject* Data);
// Whether Data is what the clipboard holds now.
KX_API bool IsOnClipboard(IDataObject* Data);
// Takes Data off the clipboard when it is still there: rendered into the system's clipboard first
// (crFlush) or not (crClear). Data's object must answer the flush's requests itself while this
// runs (it is still attached to its component).
KX_API void TakeOffClipboard(IDataObject* Data, TClipboardRetention Retention);

}  // namespace kestrix
