#include "gif/KXGIFBase.h"

#include <vector>

#include "gif/KXGIFConsts.h"
#include "gif/KXGIFImage.h"

namespace kestrix {

namespace gifdetail {

void RaiseNotAvailable() { throw GIFException(res::sGIFNotAvailable); }

void ReadExact(vcl::TStream& Stream, void* Buffer, std::int64_t Count) {
  if (Count > 0 && Stream.Read(Buffer, Count) != Count) throw GIFException(res::sGIFPrematureEnd);
}

}  // namespace gifdetail

// ---- TGIFItem ----

TGIFItem::TGIFItem(TGIFImage* GIFImage) : FGIFImage(GIFImage) {}

TGIFVersion TGIFItem::GetVersion() { return gv87a; }

void TGIFItem::Warning(TGIFSeverity Severity, const std::wstring& Message) {
  if (FGIFImage) FGIFImage->Warning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const std::wstring&) { gifdetail::RaiseNotAvailable(); }

void TGIFItem::LoadFromFile(const std::wstring& Filename) {
  vcl::TFileStream stream(Filename, vcl::fmOpenRead | vcl::fmShareDenyWrite);
  LoadFromStream(stream);
}

// ---- TGIFList ----

TGIFList::TGIFList(TGIFImage* Image) : FImage(Image) {}

TGIFList::~TGIFList() { Clear(); }

void TGIFList::Warning(TGIFSeverity Severity, const std::wstring& Message) {
  if (FImage) FImage->Warning(this, Severity, Message);
}

void TGIFList::SaveToStream(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

int TGIFList::Add(TGIFItem* Item) { return FItems.Add(Item); }

void TGIFList::Clear() {
  // An item's destructor removes it from its list, which looks for it there. A short list (a
  // frame's extensions) is cleared from its end; a long one (an animation's frames) lets go of
  // all its items before deleting them, so that clearing n items takes n steps, not n * n.
  constexpr int kShort = 16;
  if (FItems.Count() <= kShort) {
    while (FItems.Count() > 0) Delete(FItems.Count() - 1);
    return;
  }
  std::vector<TGIFItem*> items;
  items.reserve(static_cast<size_t>(FItems.Count()));
  for (int i = 0; i < FItems.Count(); ++i) items.push_back(static_cast<TGIFItem*>(FItems.Items(i)));
  FItems.Clear();
  for (TGIFItem* item : items) delete item;
}

void TGIFList::Delete(int Index) {
  auto* item = static_cast<TGIFItem*>(FItems.Items(Index));
  FItems.Delete(Index);
  delete item;
}

void TGIFList::Exchange(int Index1, int Index2) { FItems.Exchange(Index1, Index2); }
TGIFItem* TGIFList::First() const { return static_cast<TGIFItem*>(FItems.First()); }
int TGIFList::IndexOf(TGIFItem* Item) const { return FItems.IndexOf(Item); }
void TGIFList::Insert(int Index, TGIFItem* Item) { FItems.Insert(Index, Item); }
TGIFItem* TGIFList::Last() const { return static_cast<TGIFItem*>(FItems.Last()); }
void TGIFList::Move(int CurIndex, int NewIndex) { FItems.Move(CurIndex, NewIndex); }
int TGIFList::Remove(TGIFItem* Item) { return FItems.Remove(Item); }
TGIFItem* TGIFList::GetItem(int Index) const { return static_cast<TGIFItem*>(FItems.Items(Index)); }
void TGIFList::SetItem(int Index, TGIFItem* Item) { FItems.SetItem(Index, Item); }

}  // namespace kestrix
