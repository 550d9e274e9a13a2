#pragma once
// TTextDropTarget: the OLE drop-target object behind a TKXTextTarget. It accepts a drag when the
// data object offers a text kind the component accepts, and on Drop fetches the first accepted
// format in the order custom formats, then the text formats in the order of their table (URL,
// bookmark, HTML, rich text, files, Unicode text, text).
#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

#include "targets/KXDropTargetBase.h"

namespace kestrix {

class TKXTextTarget;

// Drop's result when QueryDrop refuses the drop, or when no row could be tried: all bits set.
inline constexpr HRESULT kTextDropNotTaken = static_cast<HRESULT>(0xFFFFFFFF);

// What a drop brings to the text target component.
struct TTextDropResult {
  // The index of the custom format fetched, -1 for none (set whenever QueryDrop let the drop in).
  int CustomFormatIndex = -1;
  // False when no format could be fetched: nothing below applies.
  bool Fetched = false;
  TDropTextFormat Kind = dtfText;
  std::wstring Text;
  // Set by URL drops only (empty when the drag has no usable title).
  std::optional<std::wstring> URLTitle;
  // HTML drops: the fragment (all of a browser's "text/html") and the page it came from.
  std::wstring HTMLFragment;
  std::wstring HTMLSourceURL;
  // The effect reported to the source.
  TDropEffect Effect = deNone;
};

// What a text drop target asks of its component (TKXTextTarget implements it).
class TTextDropOwner {
 public:
  // The component takes the result of a drop, before OnDrop is raised.
  virtual void ApplyDrop(const TTextDropResult& Result) = 0;

 protected:
  ~TTextDropOwner() = default;
};

// The names of a dropped HDROP as the shell reads them, one per line.
std::wstring DroppedFileNames(HDROP hDrop);
// The names of a dropped HDROP block, one entry each; empty when its name list does not lie
// inside the block (such a block is never handed to the shell).
std::vector<std::wstring> DroppedFileList(HGLOBAL block);

class KX_API TTextDropTarget : public TKXDropTargetBase {
 public:
  bool AcceptsCurrentFormats() override;
  bool ReadsFileNames() override;
  void OwnerGone() override;
  // S_OK after a fetch; kTextDropNotTaken when refused; else the last fetch's failure.
  STDMETHODIMP Drop(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;

  // The text of the last drop, as handed to OnDrop.
  const std::wstring& getString() const { return theString; }

 private:
  friend struct vcl::TComObjectFactory;
  explicit TTextDropTarget(TKXTextTarget* aOwner);

  HRESULT DoDrop(DWORD grfKeyState, POINTL pt, DWORD& dwEffect);
  // Fetches the first accepted format into Result; the HRESULT of the last fetch tried.
  HRESULT FetchText(TTextDropResult& Result);
  // The title of a URL drop: the second line of "text/x-moz-url", else the name in the drag's file
  // group descriptor (Unicode, else ANSI) when it names an internet shortcut, without its ".url".
  std::wstring URLTitle(UINT fetchedFormat) const;

  TKXTextTarget* theOwner;
  std::wstring theString;
};

}  // namespace kestrix
