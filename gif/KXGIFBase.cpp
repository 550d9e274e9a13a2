#include "gif/KXGIFBase.h"

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
  while (FItems.Count() > 0) Delete(0);
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
