#pragma once
// A unit's start-up counter: the start-up body runs on the first request, the shut-down body when
// the last request is taken back. Used on the user-interface thread only.
namespace vcl {

class TUnitCounter {
 public:
  // True when this request is the first: the caller runs its start-up.
  bool Enter() { return FCount++ == 0; }
  // True when this was the last request: the caller runs its shut-down.
  bool Leave() { return FCount > 0 && --FCount == 0; }
  int Count() const { return FCount; }

 private:
  int FCount = 0;
};

}  // namespace vcl
