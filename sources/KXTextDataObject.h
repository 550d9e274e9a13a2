#pragma once
// TTextDataObject: the data object of a text drag. It renders its source component's text as
// CF_TEXT and CF_UNICODETEXT (and its HTML, when it has some, as "HTML Format" and "text/html"),
// or, when the component has custom formats, exactly those formats instead; keeps what others
// store through SetData; and lets a drop target finish the drop asynchronously (IAsyncOperation).
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/ComObj.h"
#include "sources/KXBaseDataObject.h"
#include "sources/KXDragSourceLoop.h"
#include "vocabulary/KXCustomFormats.h"

namespace kestrix {

class TKXTextSource;

// What a text data object asks of the component it renders for (TKXTextSource implements it).
class TTextDataOwner {
 public:
  // The component's drag: where a handler's exception raised while rendering goes, and where the
  // object registers to be told when the component goes.
  virtual TDragSourceState& DragState() = 0;
  // The text to render (the donor's current text when there is a donor).
  virtual const std::wstring& CurrentText() = 0;
  // HTML to offer beside the text ("HTML Format", "text/html"); empty for none.
  virtual const std::wstring& CurrentHTML() = 0;
  // The page the HTML comes from ("HTML Format"'s SourceURL); empty for none.
  virtual const std::wstring& CurrentHTMLSourceURL() = 0;
  // Never null; custom formats replace the text when there are any.
  virtual TCustomFormatDataList* CustomFormats() = 0;
  // A request matched the custom item Index (-1: none).
  virtual void CustomFormatRequested(int Index) = 0;
  // Asks the application for the content of an item stored empty; false without a handler.
  virtual bool RenderCustomFormat(const std::wstring& Name, std::wstring& Content) = 0;
  // A custom item is about to be rendered: its content becomes the component's text.
  virtual void CustomFormatRendered(const std::string& Content) = 0;
  virtual void AsyncOperationStarted() = 0;
  virtual void AsyncOperationEnded() = 0;

 protected:
  ~TTextDataOwner() = default;
};

// Every creation function takes one reference for its creator, who releases it when done; OLE
// and drop targets hold their own. The object never owns its component, form or list.
//
// With a component, rendering reads the component's Text (and so its donor) and custom formats on
// every request and reports back to it (CustomFormatIndex, OnRenderCustomFormat, the asynchronous
// events). Without one (Create, createWithFormats, createWithOwner) the object renders its own
// string, or the list it was given, in the same way, and raises nothing. When the component is
// destroyed while a target still holds the object (an asynchronous drop), the object keeps a copy
// of the component's custom formats and its last rendered text and goes on rendering those.
class KX_API TTextDataObject : public TKXBaseDataObject {
 public:
  static TTextDataObject* Create(const std::wstring& aString);
  // The list stays the caller's and must outlive the object.
  static TTextDataObject* createWithFormats(TCustomFormatDataList* aCDFL);
  static TTextDataObject* createWithOwner(const std::wstring& aString, vcl::TComponent* aOwner);
  static TTextDataObject* createEx(const std::wstring& aString, TKXTextSource* aComponent);
  static TTextDataObject* createExWithFormats(TCustomFormatDataList* aCDFL, TKXTextSource* aComponent);

  // Objects of this class alive in the process (diagnostics: a drag that leaks one shows here).
  static LONG LiveCount();

  // What GetData renders (the rest of IDataObject and IAsyncOperation: see TKXBaseDataObject):
  // CF_UNICODETEXT: UTF-16 plus one zero code unit; CF_TEXT: ANSI plus one zero byte; with HTML,
  // "HTML Format": a block of byte offsets around the HTML as its fragment, and "text/html": the
  // HTML in UTF-8, each plus one zero byte; custom items
  // on global memory: their bytes (plus a zero terminator when AllowTrailingNull), on other media
  // the handle or interface held in their Content. pUnkForRelease is always null: the receiver owns
  // what it gets. Formats set through SetData follow the object's own, in the order they were
  // first set.

 private:
  friend struct vcl::TComObjectFactory;
  TTextDataObject(const std::wstring& aString, TCustomFormatDataList* aCDFL, vcl::TComponent* aOwner,
                  TTextDataOwner* aComponent);
  ~TTextDataObject() override;

  // ---- TKXBaseDataObject ----
  std::vector<FORMATETC> OwnFormats() override;
  HRESULT Render(const FORMATETC& fe, STGMEDIUM& medium) override;
  bool CanRender(const FORMATETC& fe) override;
  // Plain text and HTML always, whatever is offered now, and every custom item's format.
  bool RendersItself(CLIPFORMAT cf) override;
  // The component is going: keep what it would have rendered, forget the component.
  void KeepComponentsData() override;
  void AsyncOperationStarted() override;
  void AsyncOperationEnded(HRESULT Result, DWORD Effects) override;

  TCustomFormatDataList* Formats() const;
  const std::wstring& CurrentText();
  const std::wstring& CurrentHTML();
  const std::wstring& CurrentHTMLSourceURL();
  // Index of the first custom item the request matches, or -1.
  int MatchCustom(const FORMATETC& fe) const;
  HRESULT RenderGlobal(const FORMATETC& fe, const TCustomFormatData* item, STGMEDIUM& medium);
  HRESULT RenderHandle(const TCustomFormatData& item, STGMEDIUM& medium);

  vcl::TComponent* theOwner;
  std::wstring theString;
  TCustomFormatDataList* theFormats;
  TTextDataOwner* theComponent;
  // The copy of the component's custom formats taken when the component went first.
  std::unique_ptr<TCustomFormatDataList> FOrphanFormats;
  // The component's HTML and its page, kept when the component went.
  std::wstring FOrphanHTML;
  std::wstring FOrphanHTMLSourceURL;
};

}  // namespace kestrix
