#include "framework/ComCtrls.h"

#include <richedit.h>

#include <algorithm>

#include "framework/SysUtils.h"

namespace vcl {

namespace {

void InitCommonControlsOnce() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

[[noreturn]] void IndexError(int Index) { throw EListError(Format(L"List index out of bounds (%d)", Index)); }

// Reads a text of unknown length through a message that fills a buffer of a given size and
// cannot report truncation: the buffer grows until the text no longer fills it.
template <class Fill>
std::wstring ReadGrowing(Fill FillBuffer) {
  constexpr size_t kLimit = size_t{1} << 24;
  for (size_t size = 256;; size *= 2) {
    std::wstring buffer(size, L'\0');
    size_t n = std::min(FillBuffer(buffer.data(), static_cast<int>(size)), size - 1);
    if (n < size - 1 || size >= kLimit) {
      buffer.resize(n);
      return buffer;
    }
  }
}

}  // namespace

// ---- sub-items: the cells of a list view row after the first ----

class TListSubItems : public TStrings {
 public:
  explicit TListSubItems(TListItem& Item) : FItem(Item) {}

  int Count() const override {
    int n = Cells() - 1;
    while (n > 0 && FItem.CellText(n).empty()) --n;
    return std::max(n, 0);
  }
  std::wstring Strings(int Index) const override {
    Check(Index);
    return FItem.CellText(Index + 1);
  }
  void SetStrings(int Index, const std::wstring& S) override {
    Check(Index);
    FItem.SetCellText(Index + 1, S);
  }
  TObject* Objects(int Index) const override {
    Check(Index);
    return nullptr;
  }
  void SetObjects(int, TObject*) override {}
  void InsertObject(int Index, const std::wstring& S, TObject*) override {
    const int n = Count();
    if (Index < 0 || Index > n) IndexError(Index);
    if (n + 1 >= Cells()) throw EListError(L"The list view has no column for another sub-item");
    for (int k = n; k > Index; --k) FItem.SetCellText(k + 1, FItem.CellText(k));
    FItem.SetCellText(Index + 1, S);
  }
  void Delete(int Index) override {
    const int n = Count();
    if (Index < 0 || Index >= n) IndexError(Index);
    for (int k = Index + 1; k < n; ++k) FItem.SetCellText(k, FItem.CellText(k + 1));
    FItem.SetCellText(n, L"");
  }
  void Clear() override {
    for (int k = Count(); k > 0; --k) FItem.SetCellText(k, L"");
  }

 private:
  int Cells() const { return FItem.ListView()->Columns().Count(); }
  void Check(int Index) const {
    if (Index < 0 || Index >= Count()) IndexError(Index);
  }
  TListItem& FItem;
};

// ---- TListItem ----

TListItem::TListItem(TListItems* AOwner, LPARAM Key)
    : FOwner(AOwner), FKey(Key), FSubItems(std::make_unique<TListSubItems>(*this)) {}

TListItem::~TListItem() = default;

TCustomListView* TListItem::ListView() const { return FOwner->Owner(); }

int TListItem::Index() const {
  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = FKey;
  return static_cast<int>(FOwner->FOwner->HandleAllocated() ? FOwner->Send(LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                                                           reinterpret_cast<LPARAM>(&find))
                                                            : -1);
}

std::wstring TListItem::CellText(int SubItem) const {
  const int index = Index();
  if (index < 0) return {};
  return ReadGrowing([&](wchar_t* buffer, int size) {
    LVITEMW item{};
    item.iSubItem = SubItem;
    item.pszText = buffer;
    item.cchTextMax = size;
    return static_cast<size_t>(
        std::max<LRESULT>(FOwner->Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)), 0));
  });
}

void TListItem::SetCellText(int SubItem, const std::wstring& Value) {
  const int index = Index();
  if (index < 0) throw EListError(L"The list item has been deleted");
  LVITEMW item{};
  item.iSubItem = SubItem;
  item.pszText = const_cast<wchar_t*>(Value.c_str());
  if (!FOwner->Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)))
    throw EListError(Format(L"Cannot set the text of cell %d", SubItem));
}

std::wstring TListItem::Caption() const { return CellText(0); }
void TListItem::SetCaption(const std::wstring& Value) { SetCellText(0, Value); }

bool TListItem::Selected() const {
  const int index = Index();
  return index >= 0 && (FOwner->Send(LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_SELECTED) & LVIS_SELECTED);
}

void TListItem::SetSelected(bool Value) {
  const int index = Index();
  if (index < 0) throw EListError(L"The list item has been deleted");
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED;
  item.state = Value ? LVIS_SELECTED : 0;
  FOwner->Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void TListItem::Delete() {
  const int index = Index();
  if (index >= 0) FOwner->Delete(index);  // frees this object
}

// ---- TListItems ----

TListItems::TListItems(TCustomListView* AOwner) : FOwner(AOwner) {}
TListItems::~TListItems() = default;

LRESULT TListItems::Send(UINT Msg, WPARAM WParam, LPARAM LParam) const {
  return FOwner->FHandle ? SendMessageW(FOwner->FHandle, Msg, WParam, LParam) : 0;
}

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(int Index) {
  if (Index < 0 || Index > Count()) IndexError(Index);
  FOwner->HandleNeeded();
  std::unique_ptr<TListItem> owned(new TListItem(this, 0));
  TListItem* item = owned.get();
  item->FKey = reinterpret_cast<LPARAM>(item);
  FItems.emplace(item->FKey, std::move(owned));
  LVITEMW row{};
  row.mask = LVIF_TEXT | LVIF_PARAM;
  row.iItem = Index;
  row.pszText = const_cast<wchar_t*>(L"");
  row.lParam = item->FKey;
  if (Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)) < 0) {
    FItems.erase(item->FKey);
    throw EOutOfMemory(L"The list view cannot take another item");
  }
  return item;
}

int TListItems::Count() const { return static_cast<int>(std::max<LRESULT>(Send(LVM_GETITEMCOUNT), 0)); }

TListItem* TListItems::ItemAt(int Index) const {
  if (Index < 0 || !FOwner->FHandle) return nullptr;
  LVITEMW row{};
  row.mask = LVIF_PARAM;
  row.iItem = Index;
  if (!Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&row))) return nullptr;
  auto& slot = FItems[row.lParam];
  if (!slot) slot.reset(new TListItem(const_cast<TListItems*>(this), row.lParam));
  return slot.get();
}

TListItem* TListItems::Item(int Index) const {
  if (TListItem* item = ItemAt(Index)) return item;
  IndexError(Index);
}

void TListItems::Delete(int Index) {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  Send(LVM_DELETEITEM, static_cast<WPARAM>(Index));
}

void TListItems::Clear() { Send(LVM_DELETEALLITEMS); }

void TListItems::Forget(LPARAM Key) { FItems.erase(Key); }
void TListItems::ForgetAll() { FItems.clear(); }

// ---- columns ----

TListColumns::~TListColumns() = default;

LRESULT TListColumns::Send(UINT Msg, WPARAM WParam, LPARAM LParam) const {
  return FOwner->FHandle ? SendMessageW(FOwner->FHandle, Msg, WParam, LParam) : 0;
}

int TListColumns::Count() const {
  auto header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
  return header ? static_cast<int>(std::max<LRESULT>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 0)) : 0;
}

TListColumn* TListColumns::Add() {
  FOwner->HandleNeeded();
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH | LVCF_TEXT;
  column.cx = 50;
  column.pszText = const_cast<wchar_t*>(L"");
  LRESULT at = Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(Count()), reinterpret_cast<LPARAM>(&column));
  if (at < 0) throw EOutOfMemory(L"The list view cannot take another column");
  return Items(static_cast<int>(at));
}

TListColumn* TListColumns::Items(int Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  while (FColumns.size() <= static_cast<size_t>(Index))
    FColumns.emplace_back(new TListColumn(const_cast<TListColumns*>(this), static_cast<int>(FColumns.size())));
  return FColumns[static_cast<size_t>(Index)].get();
}

std::wstring TListColumn::Caption() const {
  return ReadGrowing([&](wchar_t* buffer, int size) -> size_t {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = buffer;
    column.cchTextMax = size;
    if (!FOwner->Send(LVM_GETCOLUMNW, static_cast<WPARAM>(FIndex), reinterpret_cast<LPARAM>(&column))) return 0;
    return wcsnlen(buffer, static_cast<size_t>(size));
  });
}

void TListColumn::SetCaption(const std::wstring& Value) {
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = const_cast<wchar_t*>(Value.c_str());
  FOwner->Send(LVM_SETCOLUMNW, static_cast<WPARAM>(FIndex), reinterpret_cast<LPARAM>(&column));
}

int TListColumn::Width() const { return static_cast<int>(FOwner->Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(FIndex))); }

void TListColumn::SetWidth(int Value) {
  FOwner->Send(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(FIndex), MAKELPARAM(Value, 0));
}

// ---- TCustomListView ----

TCustomListView::TCustomListView(TComponent* AOwner)
    : TWinControl(AOwner), FItems(std::make_unique<TListItems>(this)), FColumns(std::make_unique<TListColumns>(this)) {
  FWidth = 250;
  FHeight = 150;
}

TCustomListView::TCustomListView(TComponent* AOwner, HWND Wnd)
    : TWinControl(AOwner, Wnd),
      FItems(std::make_unique<TListItems>(this)),
      FColumns(std::make_unique<TListColumns>(this)) {}

TCustomListView::~TCustomListView() = default;

void TCustomListView::CreateParams(TCreateParams& Params) {
  InitCommonControlsOnce();
  TWinControl::CreateParams(Params);
  Params.WinClassName = WC_LISTVIEWW;
  Params.Style |= WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | (FMultiSelect ? 0 : LVS_SINGLESEL);
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

bool TCustomListView::MultiSelect() const {
  return FHandle ? (GetWindowLongPtrW(FHandle, GWL_STYLE) & LVS_SINGLESEL) == 0 : FMultiSelect;
}

void TCustomListView::SetMultiSelect(bool Value) {
  FMultiSelect = Value;
  if (!FHandle) return;
  LONG_PTR style = GetWindowLongPtrW(FHandle, GWL_STYLE);
  SetWindowLongPtrW(FHandle, GWL_STYLE, Value ? style & ~static_cast<LONG_PTR>(LVS_SINGLESEL) : style | LVS_SINGLESEL);
}

TListItem* TCustomListView::Selected() const {
  return FItems->ItemAt(static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
}

void TCustomListView::SetSelected(TListItem* Value) {
  HandleNeeded();
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED;
  Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  if (Value) Value->SetSelected(true);
}

int TCustomListView::SelCount() const { return static_cast<int>(Send(LVM_GETSELECTEDCOUNT)); }

TListItem* TCustomListView::GetNextItem(TListItem* StartItem, TSearchDirection Direction, TItemStates States) const {
  static constexpr UINT kDirections[] = {LVNI_TOLEFT, LVNI_TORIGHT, LVNI_ABOVE, LVNI_BELOW, LVNI_ALL};
  UINT flags = kDirections[Direction <= sdAll ? Direction : sdAll];
  if (States.Contains(isCut)) flags |= LVNI_CUT;
  if (States.Contains(isDropHilited)) flags |= LVNI_DROPHILITED;
  if (States.Contains(isFocused)) flags |= LVNI_FOCUSED;
  if (States.Contains(isSelected)) flags |= LVNI_SELECTED;
  const int start = StartItem ? StartItem->Index() : -1;
  if (!FHandle) return nullptr;
  return FItems->ItemAt(static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), static_cast<LPARAM>(flags))));
}

void TCustomListView::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case LVM_DELETEITEM: {
      // The row's item object goes with the row, however the deletion was asked for.
      LVITEMW row{};
      row.mask = LVIF_PARAM;
      row.iItem = static_cast<int>(Message.WParam);
      const bool known = Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&row)) != 0;
      TWinControl::WndProc(Message);
      if (known && Message.Result) FItems->Forget(row.lParam);
      return;
    }
    case LVM_DELETEALLITEMS:
    case WM_DESTROY:
      TWinControl::WndProc(Message);
      if (Message.Msg == WM_DESTROY || Message.Result) FItems->ForgetAll();
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

// ---- TTreeNode ----

TCustomTreeView* TTreeNode::TreeView() const { return FOwner->Owner(); }

std::wstring TTreeNode::Text() const {
  return ReadGrowing([&](wchar_t* buffer, int size) -> size_t {
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = FItemId;
    item.pszText = buffer;
    item.cchTextMax = size;
    if (!FOwner->Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return wcsnlen(buffer, static_cast<size_t>(size));
  });
}

void TTreeNode::SetText(const std::wstring& Value) {
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = FItemId;
  item.pszText = const_cast<wchar_t*>(Value.c_str());
  FOwner->Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

TTreeNode* TTreeNode::Relative(UINT Code) const {
  return FOwner->GetNode(reinterpret_cast<HTREEITEM>(FOwner->Send(TVM_GETNEXTITEM, Code, reinterpret_cast<LPARAM>(FItemId))));
}

TTreeNode* TTreeNode::Parent() const { return Relative(TVGN_PARENT); }
TTreeNode* TTreeNode::GetFirstChild() const { return Relative(TVGN_CHILD); }
TTreeNode* TTreeNode::GetNextSibling() const { return Relative(TVGN_NEXT); }
TTreeNode* TTreeNode::GetPrevSibling() const { return Relative(TVGN_PREVIOUS); }

int TTreeNode::Count() const {
  int n = 0;
  for (TTreeNode* child = GetFirstChild(); child; child = child->GetNextSibling()) ++n;
  return n;
}

bool TTreeNode::Selected() const { return TreeView()->Selected() == this; }

void TTreeNode::SetSelected(bool Value) {
  if (Value) TreeView()->SetSelected(this);
  else if (Selected()) TreeView()->SetSelected(nullptr);
}

void TTreeNode::Delete() { FOwner->Delete(this); }  // frees this object

// ---- TTreeNodes ----

TTreeNodes::~TTreeNodes() = default;

LRESULT TTreeNodes::Send(UINT Msg, WPARAM WParam, LPARAM LParam) const {
  return FOwner->FHandle ? SendMessageW(FOwner->FHandle, Msg, WParam, LParam) : 0;
}

TTreeNode* TTreeNodes::Insert(HTREEITEM Parent, HTREEITEM After, const std::wstring& S) {
  FOwner->HandleNeeded();
  TVINSERTSTRUCTW insert{};
  insert.hParent = Parent;
  insert.hInsertAfter = After;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = const_cast<wchar_t*>(S.c_str());
  auto item = reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  if (!item) throw EOutOfMemory(L"The tree view cannot take another node");
  return GetNode(item);
}

TTreeNode* TTreeNodes::Add(TTreeNode* Sibling, const std::wstring& S) {
  HTREEITEM parent = Sibling ? reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_PARENT,
                                                                 reinterpret_cast<LPARAM>(Sibling->ItemId())))
                             : nullptr;
  return Insert(parent ? parent : TVI_ROOT, TVI_LAST, S);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* Parent, const std::wstring& S) {
  return Insert(Parent ? Parent->ItemId() : TVI_ROOT, TVI_LAST, S);
}

int TTreeNodes::Count() const { return static_cast<int>(Send(TVM_GETCOUNT)); }

TTreeNode* TTreeNodes::GetFirstNode() const {
  return GetNode(reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_ROOT, 0)));
}

void TTreeNodes::Delete(TTreeNode* Node) {
  if (Node) Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(Node->ItemId()));
}

void TTreeNodes::Clear() { Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)); }

TTreeNode* TTreeNodes::GetNode(HTREEITEM ItemId) const {
  if (!ItemId) return nullptr;
  auto& slot = FNodes[ItemId];
  if (!slot) slot.reset(new TTreeNode(const_cast<TTreeNodes*>(this), ItemId));
  return slot.get();
}

// ---- TCustomTreeView ----

TCustomTreeView::TCustomTreeView(TComponent* AOwner) : TWinControl(AOwner), FItems(std::make_unique<TTreeNodes>(this)) {
  FWidth = 121;
  FHeight = 97;
}

TCustomTreeView::TCustomTreeView(TComponent* AOwner, HWND Wnd)
    : TWinControl(AOwner, Wnd), FItems(std::make_unique<TTreeNodes>(this)) {}

TCustomTreeView::~TCustomTreeView() = default;

void TCustomTreeView::CreateParams(TCreateParams& Params) {
  InitCommonControlsOnce();
  TWinControl::CreateParams(Params);
  Params.WinClassName = WC_TREEVIEWW;
  Params.Style |= WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

TTreeNode* TCustomTreeView::Selected() const {
  return FItems->GetNode(reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_CARET, 0)));
}

void TCustomTreeView::SetSelected(TTreeNode* Value) {
  HandleNeeded();
  Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Value ? Value->ItemId() : nullptr));
}

void TCustomTreeView::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case TVM_DELETEITEM: {
      // The node objects go with their items, however the deletion was asked for.
      auto item = reinterpret_cast<HTREEITEM>(Message.LParam);
      std::vector<HTREEITEM> doomed;
      if (item && item != TVI_ROOT && !FItems->FNodes.empty()) {
        doomed.push_back(item);
        for (size_t i = 0; i < doomed.size(); ++i)
          for (auto child = reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(doomed[i])));
               child; child = reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child))))
            doomed.push_back(child);
      }
      TWinControl::WndProc(Message);
      if (!Message.Result) return;
      if (!item || item == TVI_ROOT) FItems->FNodes.clear();
      for (HTREEITEM h : doomed) FItems->FNodes.erase(h);
      return;
    }
    case WM_DESTROY:
      TWinControl::WndProc(Message);
      FItems->FNodes.clear();
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

// ---- TCustomRichEdit ----

TCustomRichEdit::TCustomRichEdit(TComponent* AOwner) : TCustomMemo(AOwner) {}
TCustomRichEdit::TCustomRichEdit(TComponent* AOwner, HWND Wnd) : TCustomMemo(AOwner, Wnd) {}

std::wstring TCustomRichEdit::WindowClassName() {
  static const wchar_t* const name = []() -> const wchar_t* {
    if (LoadLibraryW(L"msftedit.dll")) return L"RICHEDIT50W";
    if (LoadLibraryW(L"riched20.dll")) return L"RichEdit20W";
    return nullptr;
  }();
  if (!name) throw EOSError(L"No rich edit control is available");
  return name;
}

void TCustomRichEdit::CreateParams(TCreateParams& Params) {
  TCustomMemo::CreateParams(Params);
  Params.WinClassName = WindowClassName();
}

void TCustomRichEdit::InitializeWindow() {
  // The control's default limit (32767 characters) would cut long text streamed or typed in.
  Send(EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  TCustomMemo::InitializeWindow();
}

std::pair<int, int> TCustomRichEdit::GetSelection() const {
  CHARRANGE range{0, 0};
  Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  return {range.cpMin, range.cpMax};
}

void TCustomRichEdit::SetSelection(int Start, int End) {
  HandleNeeded();
  CHARRANGE range{Start, End};
  Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

std::wstring TCustomRichEdit::SelText() const {
  auto [start, end] = GetSelection();
  if (end <= start) return {};
  // Each paragraph break the selection holds becomes CR LF: at most twice the characters.
  const size_t capacity = 2 * static_cast<size_t>(end - start) + 1;
  std::wstring text(capacity, L'\0');
  GETTEXTEX request{};
  request.cb = static_cast<DWORD>(capacity * sizeof(wchar_t));
  request.flags = GT_SELECTION | GT_USECRLF;
  request.codepage = 1200;  // UTF-16
  LRESULT copied = Send(EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(std::clamp<LRESULT>(copied, 0, static_cast<LRESULT>(capacity - 1))));
  return text;
}

}  // namespace vcl
