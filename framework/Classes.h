#pragma once
// The framework's core classes: objects, persistent objects, components with owners, pointer
// lists and string lists.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "framework/Export.h"
#include "framework/SysUtils.h"
#include "framework/Types.h"

namespace vcl {

class KX_API TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

class KX_API TPersistent : public TObject {
 public:
  // Copies Source into this object; the default asks Source to AssignTo this one and fails with
  // EConvertError when neither side knows the other.
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);
};

enum TOperation : std::uint8_t { opInsert, opRemove };
enum TComponentStateItem : std::uint8_t { csLoading, csReading, csWriting, csDestroying, csDesigning };
using TComponentState = TSet<TComponentStateItem>;

// A component is destroyed by its owner. Destroying a component tells the owner's other
// components (Notification with opRemove) before it goes. When the owner goes, all its components
// are marked csDestroying first, then destroyed last-created first, each announced to the rest.
// A class whose destructor must tell its siblings while it is still whole (a control, whose
// window goes in its own destructor) calls Announce() first.
class KX_API TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const;
  const std::wstring& Name() const { return FName; }
  virtual void SetName(const std::wstring& NewName) { FName = NewName; }
  TComponentState ComponentState() const { return FComponentState; }
  // Marks the component as living at design time (a designer hosting it).
  void SetDesigning(bool Value);
  // Marks this component and the components it owns as being destroyed; idempotent. A derived
  // destructor that must know it is going calls this first.
  void Destroying();

  // Takes this component out of its owner now, telling the owner's other components; idempotent.
  void Announce() {
    if (FOwner) FOwner->RemoveComponent(this);
  }

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::wstring FName;
  TComponentState FComponentState;
};

// A list of untyped pointers. Clear is virtual so that owning descendants free their items; a
// descendant's destructor calls its own Clear, since a base destructor cannot reach it.
class KX_API TList : public TObject {
 public:
  ~TList() override;
  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  int IndexOf(void* Item) const;
  int Remove(void* Item);
  void* First() const;
  void* Last() const;
  virtual void Clear();
  int Count() const { return FCount; }
  void* Items(int Index) const;
  void SetItem(int Index, void* Item);

 protected:
  [[noreturn]] static void Error(int Index);

 private:
  // Grows the room to at least Capacity items; throws std::bad_alloc.
  void Reserve(int Capacity);

  // A list of a few items (a GIF frame's extensions, most lists of children) lives in the object
  // itself, without an allocation of its own, until it outgrows it.
  static constexpr int kInline = 2;
  void* FInline[kInline];
  void** FItems = FInline;
  int FCount = 0;
  int FCapacity = kInline;
};

// Lines of text, each with an optional object (or an integer stored in its place).
class KX_API TStrings : public TPersistent {
 public:
  virtual int Count() const = 0;
  virtual std::wstring Strings(int Index) const = 0;
  virtual void SetStrings(int Index, const std::wstring& S) = 0;
  virtual TObject* Objects(int Index) const = 0;
  virtual void SetObjects(int Index, TObject* AObject) = 0;
  virtual void InsertObject(int Index, const std::wstring& S, TObject* AObject) = 0;
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;

  int Add(const std::wstring& S) { return AddObject(S, nullptr); }
  int AddObject(const std::wstring& S, TObject* AObject);
  // An integer kept in the object slot, as applications of the framework do.
  int AddInteger(const std::wstring& S, std::intptr_t Value) { return AddObject(S, reinterpret_cast<TObject*>(Value)); }
  std::intptr_t Integers(int Index) const { return reinterpret_cast<std::intptr_t>(Objects(Index)); }
  void Insert(int Index, const std::wstring& S) { InsertObject(Index, S, nullptr); }
  void AddStrings(const TStrings& Other);
  int IndexOf(const std::wstring& S) const;  // case-insensitive, as the framework compares
  std::wstring operator[](int Index) const { return Strings(Index); }

  // Every line followed by CR LF.
  std::wstring Text() const;
  // Replaces the lines: splits at CR LF, CR or LF and stops at the first NUL.
  void SetText(const std::wstring& Value);

  void Assign(TPersistent* Source) override;
};

class KX_API TStringList : public TStrings {
 public:
  TStringList() = default;
  int Count() const override { return static_cast<int>(FItems.size()); }
  std::wstring Strings(int Index) const override;
  void SetStrings(int Index, const std::wstring& S) override;
  TObject* Objects(int Index) const override;
  void SetObjects(int Index, TObject* AObject) override;
  void InsertObject(int Index, const std::wstring& S, TObject* AObject) override;
  void Delete(int Index) override;
  void Clear() override { FItems.clear(); }

 private:
  void Check(int Index) const;
  std::vector<std::pair<std::wstring, TObject*>> FItems;
};

}  // namespace vcl
