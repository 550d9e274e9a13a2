#pragma once
// The common controls: list view in report mode (SysListView32), tree view (SysTreeView32) and
// rich edit (RICHEDIT50W from msftedit.dll, or RichEdit20W from riched20.dll where that is all
// there is). Item and node objects are thin handles on what the window holds: their texts and
// states are read from the window each time. Adding items, nodes or columns creates the window.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/StdCtrls.h"

namespace vcl {

enum TItemState : std::uint8_t { isNone, isCut, isDropHilited, isFocused, isSelected, isActivating };
using TItemStates = TSet<TItemState>;
enum TSearchDirection : std::uint8_t { sdLeft, sdRight, sdAbove, sdBelow, sdAll };

class TCustomListView;
class TListItems;
class TListColumns;

// One row of a list view. An item is told apart from the others by its item data (lParam): items
// added through TListItems carry their own object there; a row the application inserted itself is
// named by the data it gave the row (rows sharing one value resolve to the first of them).
class KX_API TListItem : public TPersistent {
 public:
  ~TListItem() override;
  TListItems* Owner() const { return FOwner; }
  TCustomListView* ListView() const;
  // The row's current index; -1 when the row is gone.
  int Index() const;
  std::wstring Caption() const;
  void SetCaption(const std::wstring& Value);
  // The texts of the row's cells after the first, up to the last non-empty one. Add writes the
  // next cell, which needs a column (EListError otherwise). Sub-items carry no objects.
  TStrings& SubItems() const { return *FSubItems; }
  bool Selected() const;
  void SetSelected(bool Value);
  // Removes the row; the item object is freed with it.
  void Delete();

 private:
  friend class TListItems;
  friend class TListSubItems;
  TListItem(TListItems* AOwner, LPARAM Key);
  std::wstring CellText(int SubItem) const;
  void SetCellText(int SubItem, const std::wstring& Value);

  TListItems* FOwner;
  LPARAM FKey;
  std::unique_ptr<TStrings> FSubItems;
};

class KX_API TListItems : public TPersistent {
 public:
  explicit TListItems(TCustomListView* AOwner);
  ~TListItems() override;
  TCustomListView* Owner() const { return FOwner; }
  // Appends a row, or inserts one before Index.
  TListItem* Add();
  TListItem* Insert(int Index);
  int Count() const;
  // The row at Index; EListError when there is none.
  TListItem* Item(int Index) const;
  TListItem* operator[](int Index) const { return Item(Index); }
  void Delete(int Index);
  void Clear();

 private:
  friend class TCustomListView;
  friend class TListItem;
  // The item object for the row at Index; nullptr when there is no such row.
  TListItem* ItemAt(int Index) const;
  LRESULT Send(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0) const;
  void Forget(LPARAM Key);
  void ForgetAll();

  TCustomListView* FOwner;
  mutable std::map<LPARAM, std::unique_ptr<TListItem>> FItems;
};

class KX_API TListColumn : public TPersistent {
 public:
  int Index() const { return FIndex; }
  std::wstring Caption() const;
  void SetCaption(const std::wstring& Value);
  int Width() const;
  void SetWidth(int Value);

 private:
  friend class TListColumns;
  TListColumn(TListColumns* AOwner, int AIndex) : FOwner(AOwner), FIndex(AIndex) {}
  TListColumns* FOwner;
  int FIndex;
};

class KX_API TListColumns : public TPersistent {
 public:
  explicit TListColumns(TCustomListView* AOwner) : FOwner(AOwner) {}
  ~TListColumns() override;
  // Appends a column (50 pixels wide).
  TListColumn* Add();
  int Count() const;
  TListColumn* Items(int Index) const;
  TListColumn* operator[](int Index) const { return Items(Index); }

 private:
  friend class TListColumn;
  LRESULT Send(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0) const;
  TCustomListView* FOwner;
  mutable std::vector<std::unique_ptr<TListColumn>> FColumns;
};

// A list view in report mode.
class KX_API TCustomListView : public TWinControl {
 public:
  explicit TCustomListView(TComponent* AOwner);
  TCustomListView(TComponent* AOwner, HWND Wnd);
  ~TCustomListView() override;

  TListItems& Items() const { return *FItems; }
  TListColumns& Columns() const { return *FColumns; }
  // Several rows may be selected; read from and written to the window's style.
  bool MultiSelect() const;
  void SetMultiSelect(bool Value);
  // The first selected row; nullptr for none. Setting selects that row alone (nullptr: none).
  TListItem* Selected() const;
  void SetSelected(TListItem* Value);
  int SelCount() const;
  // The next row after StartItem (from the first row when StartItem is nullptr) in Direction
  // that has all of States; nullptr when there is none.
  TListItem* GetNextItem(TListItem* StartItem, TSearchDirection Direction, TItemStates States) const;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;

 private:
  friend class TListItems;
  friend class TListColumns;
  std::unique_ptr<TListItems> FItems;
  std::unique_ptr<TListColumns> FColumns;
  bool FMultiSelect = false;
};

class KX_API TListView : public TCustomListView {
 public:
  using TCustomListView::TCustomListView;
};

class TCustomTreeView;
class TTreeNodes;

// One node of a tree view, standing for one item (HTREEITEM) of the window.
class KX_API TTreeNode : public TPersistent {
 public:
  TTreeNodes* Owner() const { return FOwner; }
  TCustomTreeView* TreeView() const;
  HTREEITEM ItemId() const { return FItemId; }
  std::wstring Text() const;
  void SetText(const std::wstring& Value);
  TTreeNode* Parent() const;
  TTreeNode* GetFirstChild() const;
  TTreeNode* GetNextSibling() const;
  TTreeNode* GetPrevSibling() const;
  // The number of direct children.
  int Count() const;
  bool HasChildren() const { return GetFirstChild() != nullptr; }
  bool Selected() const;
  void SetSelected(bool Value);
  // Removes the node and its children; their node objects are freed with them.
  void Delete();

 private:
  friend class TTreeNodes;
  TTreeNode(TTreeNodes* AOwner, HTREEITEM AItemId) : FOwner(AOwner), FItemId(AItemId) {}
  TTreeNode* Relative(UINT Code) const;
  TTreeNodes* FOwner;
  HTREEITEM FItemId;
};

class KX_API TTreeNodes : public TPersistent {
 public:
  explicit TTreeNodes(TCustomTreeView* AOwner) : FOwner(AOwner) {}
  ~TTreeNodes() override;
  TCustomTreeView* Owner() const { return FOwner; }
  // A new last sibling of Sibling (a new last root node when Sibling is nullptr).
  TTreeNode* Add(TTreeNode* Sibling, const std::wstring& S);
  // A new last child of Parent (a new last root node when Parent is nullptr).
  TTreeNode* AddChild(TTreeNode* Parent, const std::wstring& S);
  // All nodes of the tree.
  int Count() const;
  TTreeNode* GetFirstNode() const;
  void Delete(TTreeNode* Node);
  void Clear();
  // The node object for an item of the window (items added by others get one on first use);
  // nullptr for a null item.
  TTreeNode* GetNode(HTREEITEM ItemId) const;

 private:
  friend class TCustomTreeView;
  friend class TTreeNode;
  TTreeNode* Insert(HTREEITEM Parent, HTREEITEM After, const std::wstring& S);
  LRESULT Send(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0) const;
  void ForgetSubtree(HTREEITEM Item);

  TCustomTreeView* FOwner;
  mutable std::map<HTREEITEM, std::unique_ptr<TTreeNode>> FNodes;
};

class KX_API TCustomTreeView : public TWinControl {
 public:
  explicit TCustomTreeView(TComponent* AOwner);
  TCustomTreeView(TComponent* AOwner, HWND Wnd);
  ~TCustomTreeView() override;

  TTreeNodes& Items() const { return *FItems; }
  // The selected node; nullptr for none.
  TTreeNode* Selected() const;
  void SetSelected(TTreeNode* Value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;

 private:
  friend class TTreeNodes;
  std::unique_ptr<TTreeNodes> FItems;
};

class KX_API TTreeView : public TCustomTreeView {
 public:
  using TCustomTreeView::TCustomTreeView;
};

// A rich edit. Selection positions are the control's own character positions (a paragraph break
// counts one); SelText gives line breaks as CR LF. Text and Lines as for a memo. Its Handle is what
// EM_STREAMIN / EM_STREAMOUT are sent to.
class KX_API TCustomRichEdit : public TCustomMemo {
 public:
  explicit TCustomRichEdit(TComponent* AOwner);
  TCustomRichEdit(TComponent* AOwner, HWND Wnd);

  std::wstring SelText() const override;
  // The window class rich edits are created with: "RICHEDIT50W" or "RichEdit20W" (loads the DLL).
  static std::wstring WindowClassName();

 protected:
  void CreateParams(TCreateParams& Params) override;
  void InitializeWindow() override;
  std::pair<int, int> GetSelection() const override;
  void SetSelection(int Start, int End) override;
};

class KX_API TRichEdit : public TCustomRichEdit {
 public:
  using TCustomRichEdit::TCustomRichEdit;
};

}  // namespace vcl
