#include "framework/Classes.h"

#include <algorithm>

namespace vcl {

// ---- TPersistent ----

void TPersistent::Assign(TPersistent* Source) {
  if (!Source) throw EConvertError(L"Cannot assign a nil object");
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) {
  (void)Dest;
  throw EConvertError(L"Cannot assign the source to the destination");
}

// ---- TComponent ----

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Owned components go last-created first. Each is announced to the others while it is still
  // whole, so that no sibling keeps a reference to a component that is gone.
  while (!FComponents.empty()) {
    TComponent* child = FComponents.back();
    RemoveComponent(child);
    delete child;
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount()) throw EListError(Format(L"List index out of bounds (%d)", Index));
  return FComponents[static_cast<size_t>(Index)];
}

void TComponent::SetDesigning(bool Value) {
  if (Value) FComponentState.Include(csDesigning);
  else FComponentState.Exclude(csDesigning);
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  Notification(AComponent, opRemove);
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it != FComponents.end()) FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  // The owner forwards every notice to the components it owns, except to the one concerned.
  if (Operation == opRemove && AComponent && AComponent->FOwner == this) {
    std::vector<TComponent*> others = FComponents;
    for (TComponent* c : others)
      if (c != AComponent) c->Notification(AComponent, Operation);
  }
}

// ---- TList ----

TList::~TList() {
  if (FItems != FInline) delete[] FItems;
}

void TList::Error(int Index) { throw EListError(Format(L"List index out of bounds (%d)", Index)); }

void TList::Reserve(int Capacity) {
  if (Capacity <= FCapacity) return;
  const int grown = std::max(Capacity, FCapacity * 2);
  void** items = new void*[static_cast<size_t>(grown)];
  std::copy(FItems, FItems + FCount, items);
  if (FItems != FInline) delete[] FItems;
  FItems = items;
  FCapacity = grown;
}

int TList::Add(void* Item) {
  Reserve(FCount + 1);
  FItems[FCount] = Item;
  return FCount++;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) Error(Index);
  Reserve(FCount + 1);
  std::copy_backward(FItems + Index, FItems + FCount, FItems + FCount + 1);
  FItems[Index] = Item;
  ++FCount;
}

void TList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) Error(Index);
  std::copy(FItems + Index + 1, FItems + FCount, FItems + Index);
  --FCount;
}

void TList::Exchange(int Index1, int Index2) {
  if (Index1 < 0 || Index1 >= Count()) Error(Index1);
  if (Index2 < 0 || Index2 >= Count()) Error(Index2);
  std::swap(FItems[Index1], FItems[Index2]);
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  if (NewIndex < 0 || NewIndex >= Count()) Error(NewIndex);
  void* item = Items(CurIndex);
  if (CurIndex < NewIndex) std::copy(FItems + CurIndex + 1, FItems + NewIndex + 1, FItems + CurIndex);
  else std::copy_backward(FItems + NewIndex, FItems + CurIndex, FItems + CurIndex + 1);
  FItems[NewIndex] = item;
}

int TList::IndexOf(void* Item) const {
  void* const* it = std::find(FItems, FItems + FCount, Item);
  return it == FItems + FCount ? -1 : static_cast<int>(it - FItems);
}

int TList::Remove(void* Item) {
  int i = IndexOf(Item);
  if (i >= 0) Delete(i);
  return i;
}

void* TList::First() const { return Items(0); }
void* TList::Last() const { return Items(Count() - 1); }
void TList::Clear() { FCount = 0; }

void* TList::Items(int Index) const {
  if (Index < 0 || Index >= Count()) Error(Index);
  return FItems[Index];
}

void TList::SetItem(int Index, void* Item) {
  if (Index < 0 || Index >= Count()) Error(Index);
  FItems[Index] = Item;
}

// ---- TStrings ----

int TStrings::AddObject(const std::wstring& S, TObject* AObject) {
  int i = Count();
  InsertObject(i, S, AObject);
  return i;
}

void TStrings::AddStrings(const TStrings& Other) {
  for (int i = 0; i < Other.Count(); ++i) AddObject(Other.Strings(i), Other.Objects(i));
}

int TStrings::IndexOf(const std::wstring& S) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiCompareText(Strings(i), S) == 0) return i;
  return -1;
}

std::wstring TStrings::Text() const {
  std::wstring r;
  for (int i = 0; i < Count(); ++i) {
    r += Strings(i);
    r += L"\r\n";
  }
  return r;
}

void TStrings::SetText(const std::wstring& Value) {
  Clear();
  size_t end = Value.find(L'\0');
  if (end == std::wstring::npos) end = Value.size();
  size_t i = 0;
  while (i < end) {
    size_t start = i;
    while (i < end && Value[i] != L'\r' && Value[i] != L'\n') ++i;
    Add(Value.substr(start, i - start));
    if (i < end && Value[i] == L'\r') ++i;
    if (i < end && Value[i] == L'\n') ++i;
  }
}

void TStrings::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TStrings*>(Source)) {
    if (other == this) return;
    Clear();
    AddStrings(*other);
    return;
  }
  TPersistent::Assign(Source);
}

// ---- TStringList ----

void TStringList::Check(int Index) const {
  if (Index < 0 || Index >= Count()) throw EStringListError(Format(L"List index out of bounds (%d)", Index));
}

std::wstring TStringList::Strings(int Index) const {
  Check(Index);
  return FItems[static_cast<size_t>(Index)].first;
}

void TStringList::SetStrings(int Index, const std::wstring& S) {
  Check(Index);
  FItems[static_cast<size_t>(Index)].first = S;
}

TObject* TStringList::Objects(int Index) const {
  Check(Index);
  return FItems[static_cast<size_t>(Index)].second;
}

void TStringList::SetObjects(int Index, TObject* AObject) {
  Check(Index);
  FItems[static_cast<size_t>(Index)].second = AObject;
}

void TStringList::InsertObject(int Index, const std::wstring& S, TObject* AObject) {
  if (Index < 0 || Index > Count()) throw EStringListError(Format(L"List index out of bounds (%d)", Index));
  FItems.insert(FItems.begin() + Index, {S, AObject});
}

void TStringList::Delete(int Index) {
  Check(Index);
  FItems.erase(FItems.begin() + Index);
}

}  // namespace vcl
