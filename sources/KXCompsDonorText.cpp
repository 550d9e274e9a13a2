#include "sources/KXCompsDonorText.h"

#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/StdCtrls.h"
#include "package/KXConsts.h"

namespace kestrix {

namespace {

using namespace vcl;

std::wstring listItemText(TListItem* item) {
  if (!item) return {};
  std::wstring text = item->Caption();
  const TStrings& subItems = item->SubItems();
  for (int i = 0, n = subItems.Count(); i < n; ++i) {
    text += L'\t';
    text += subItems.Strings(i);
  }
  return text;
}

std::wstring treeNodeText(TTreeNode* node) { return node ? node->Text() : std::wstring(); }

std::wstring listBoxText(TCustomListBox& listBox) {
  const int count = listBox.Count();
  if (count <= 0) return {};
  auto* plain = dynamic_cast<TListBox*>(&listBox);
  if (plain && plain->MultiSelect() && plain->SelCount() > 0) {
    std::wstring text;
    for (int i = 0; i < count; ++i) {
      if (!plain->Selected(i)) continue;
      if (!text.empty()) text += res::sLineBreak;
      text += plain->Items().Strings(i);
    }
    return text;
  }
  const int current = listBox.ItemIndex();
  if (current < 0 || current >= count) return {};
  return listBox.Items().Strings(current);
}

std::wstring listViewText(TCustomListView& listView) {
  TListItem* item = listView.Selected();
  if (!item) return {};
  std::wstring text = listItemText(item);
  if (listView.SelCount() > 1) {
    // Bounded by the row count, so a control that answers oddly cannot keep the walk going.
    for (int steps = listView.Items().Count(); steps > 0; --steps) {
      item = listView.GetNextItem(item, sdAll, {isSelected});
      if (!item) break;
      text += res::sLineBreak;
      text += listItemText(item);
    }
  }
  return text;
}

bool isCaptionControl(TComponent* c) {
  return dynamic_cast<TCustomPanel*>(c) || dynamic_cast<TCustomStaticText*>(c) || dynamic_cast<TCustomLabel*>(c) ||
         dynamic_cast<TButton*>(c) || dynamic_cast<TRadioButton*>(c) || dynamic_cast<TCustomCheckBox*>(c) ||
         dynamic_cast<TCustomGroupBox*>(c) || dynamic_cast<TBitBtn*>(c) || dynamic_cast<TSpeedButton*>(c);
}

}  // namespace

std::wstring textFromDonorComponent(vcl::TComponent* component) {
  if (!component) return {};
  // The tests run in this order; a class that matches two of them takes the first.
  if (auto* listBox = dynamic_cast<TCustomListBox*>(component)) return listBoxText(*listBox);
  if (auto* listView = dynamic_cast<TCustomListView*>(component)) return listViewText(*listView);
  if (auto* treeView = dynamic_cast<TCustomTreeView*>(component)) return treeNodeText(treeView->Selected());
  if (auto* edit = dynamic_cast<TCustomEdit*>(component)) return edit->SelText();  // rich edits and memos too
  if (auto* radioGroup = dynamic_cast<TRadioGroup*>(component)) return radioGroup->Items().Text();
  if (isCaptionControl(component)) return static_cast<TControl*>(component)->Text();
  return component->Name();
}

}  // namespace kestrix
