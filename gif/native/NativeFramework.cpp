#include "gif/native/NativeFramework.h"

#include <algorithm>
#include <cstring>

namespace vcl {

namespace {

std::string Narrow(const std::wstring& s) {
  std::string out;
  out.reserve(s.size());
  for (wchar_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace

Exception::Exception(std::wstring message) : FMessage(std::move(message)), FWhat(Narrow(FMessage)) {}

void TPersistent::Assign(TPersistent* Source) {
  if (!Source) throw EConvertError(L"Cannot assign a nil object");
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent*) { throw EConvertError(L"Cannot assign the source to the destination"); }

// ---- TList ----

void TList::Error(int Index) { throw EListError(L"List index out of bounds (" + std::to_wstring(Index) + L")"); }

int TList::Add(void* Item) {
  FList.push_back(Item);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) Error(Index);
  FList.insert(FList.begin() + Index, Item);
}

void TList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) Error(Index);
  FList.erase(FList.begin() + Index);
}

void TList::Exchange(int Index1, int Index2) {
  if (Index1 < 0 || Index1 >= Count()) Error(Index1);
  if (Index2 < 0 || Index2 >= Count()) Error(Index2);
  std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  if (NewIndex < 0 || NewIndex >= Count()) Error(NewIndex);
  void* item = Items(CurIndex);
  FList.erase(FList.begin() + CurIndex);
  FList.insert(FList.begin() + NewIndex, item);
}

int TList::IndexOf(void* Item) const {
  auto it = std::find(FList.begin(), FList.end(), Item);
  return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

int TList::Remove(void* Item) {
  int index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::First() const { return Items(0); }
void* TList::Last() const { return Items(Count() - 1); }

void* TList::Items(int Index) const {
  if (Index < 0 || Index >= Count()) Error(Index);
  return FList[static_cast<size_t>(Index)];
}

void TList::SetItem(int Index, void* Item) {
  if (Index < 0 || Index >= Count()) Error(Index);
  FList[static_cast<size_t>(Index)] = Item;
}

// ---- TStringList ----

std::wstring TStringList::Strings(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(L"List index out of bounds (" + std::to_wstring(Index) + L")");
  return FItems[static_cast<size_t>(Index)];
}

int TStringList::Add(const std::wstring& S) {
  FItems.push_back(S);
  return Count() - 1;
}

std::wstring TStringList::Text() const {
  std::wstring out;
  for (const auto& line : FItems) out += line + L"\r\n";
  return out;
}

// ---- streams ----

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError(L"Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError(L"Stream write error");
}

std::int64_t TCustomMemoryStream::Read(void* Buffer, std::int64_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  std::int64_t n = std::min(Count, Size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = Size() + Offset; break;
  }
  if (FPosition < 0) FPosition = 0;
  return FPosition;
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  std::int64_t end = FPosition + Count;
  if (end > Size()) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

TFileStream::TFileStream(const std::wstring& FileName, std::uint16_t Mode) {
  bool create = Mode == fmCreate;
  FFile = std::fopen(Narrow(FileName).c_str(), create ? "w+b" : "rb");
  if (!FFile) {
    if (create) throw EFCreateError(L"Cannot create file \"" + FileName + L"\"");
    throw EFOpenError(L"Cannot open file \"" + FileName + L"\"");
  }
}

TFileStream::~TFileStream() { std::fclose(FFile); }

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  return Count > 0 ? static_cast<std::int64_t>(std::fread(Buffer, 1, static_cast<size_t>(Count), FFile)) : 0;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  return Count > 0 ? static_cast<std::int64_t>(std::fwrite(Buffer, 1, static_cast<size_t>(Count), FFile)) : 0;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  std::fseek(FFile, static_cast<long>(Offset), whence[Origin]);
  return std::ftell(FFile);
}

// ---- TGraphic ----

void TGraphic::LoadFromFile(const std::wstring& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::wstring& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(stream);
}

void TGraphic::Changed(TObject*) {
  FModified = true;
  if (FOnChange) FOnChange(this);
}

void TGraphic::Progress(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow, const TRect& R,
                        const std::wstring& Msg) {
  if (FOnProgress) FOnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

}  // namespace vcl
