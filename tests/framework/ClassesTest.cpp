// The framework core the library builds on: component ownership and removal notices, lists,
// string lists and their text form. Built for Windows and natively.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "framework/Classes.h"

using namespace vcl;

namespace {

struct Probe : TComponent {
  Probe(TComponent* owner, std::vector<std::wstring>* log, std::wstring name) : TComponent(owner), FLog(log) { SetName(name); }
  ~Probe() override { FLog->push_back(L"~" + Name()); }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove) FLog->push_back(Name() + L" sees " + c->Name() + (ComponentState().Contains(csDestroying) ? L" (dying)" : L""));
  }
  std::vector<std::wstring>* FLog;
};

}  // namespace

TEST(Component, RemovalIsAnnouncedToTheOwnersOtherComponents) {
  std::vector<std::wstring> log;
  TComponent owner(nullptr);
  new Probe(&owner, &log, L"a");
  auto* b = new Probe(&owner, &log, L"b");
  new Probe(&owner, &log, L"c");
  delete b;
  EXPECT_EQ(log, (std::vector<std::wstring>{L"~b", L"a sees b", L"c sees b"}));
  EXPECT_EQ(owner.ComponentCount(), 2);
  EXPECT_EQ(owner.Components(1)->Name(), L"c");
  EXPECT_THROW(owner.Components(2), EListError);
}

TEST(Component, OwnerDestroysItsComponentsLastFirstAnnouncingEach) {
  std::vector<std::wstring> log;
  {
    TComponent owner(nullptr);
    new Probe(&owner, &log, L"a");
    new Probe(&owner, &log, L"b");
    owner.Destroying();
    EXPECT_TRUE(owner.Components(0)->ComponentState().Contains(csDestroying));
  }
  // The survivor hears of b while b is still whole, so it never holds a dangling reference.
  EXPECT_EQ(log, (std::vector<std::wstring>{L"a sees b (dying)", L"~b", L"~a"}));
}

TEST(Component, AnnounceTellsTheSiblingsBeforeTheDestructorRuns) {
  std::vector<std::wstring> log;
  TComponent owner(nullptr);
  new Probe(&owner, &log, L"a");
  auto* b = new Probe(&owner, &log, L"b");
  b->Announce();
  EXPECT_EQ(b->Owner(), nullptr);
  EXPECT_EQ(owner.ComponentCount(), 1);
  delete b;
  EXPECT_EQ(log, (std::vector<std::wstring>{L"a sees b", L"~b"}));
}

TEST(Component, DesigningState) {
  TComponent c(nullptr);
  EXPECT_FALSE(c.ComponentState().Contains(csDesigning));
  c.SetDesigning(true);
  EXPECT_TRUE(c.ComponentState().Contains(csDesigning));
}

TEST(List, IndexErrorsAndOrder) {
  TList list;
  int a = 1, b = 2, c = 3;
  list.Add(&a);
  list.Add(&b);
  list.Insert(0, &c);
  EXPECT_EQ(list.Items(0), &c);
  EXPECT_EQ(list.IndexOf(&b), 2);
  list.Exchange(0, 2);
  EXPECT_EQ(list.First(), &b);
  list.Move(0, 2);
  EXPECT_EQ(list.Last(), &b);
  EXPECT_EQ(list.Remove(&a), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_THROW(list.Items(2), EListError);
  EXPECT_THROW(list.Items(-1), EListError);
  EXPECT_THROW(list.SetItem(5, nullptr), EListError);
  try {
    list.Delete(7);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), L"List index out of bounds (7)");
  }
  TList empty;
  EXPECT_THROW(empty.First(), EListError);
}

// A list keeps its first items in itself and moves them out when it grows: every operation must
// agree with a plain vector on either side of that boundary, and across it.
TEST(List, AgreesWithAVectorAcrossItsInlineRoom) {
  int slots[16];
  for (unsigned seed = 1; seed <= 40; ++seed) {
    TList list;
    std::vector<void*> model;
    unsigned state = seed;
    auto next = [&](unsigned n) { return (state = state * 1103515245u + 12345u) / 65536u % n; };
    for (int step = 0; step < 60; ++step) {
      const int count = static_cast<int>(model.size());
      void* item = &slots[next(16)];
      switch (next(count > 0 ? 7 : 2)) {
        case 0: list.Add(item); model.push_back(item); break;
        case 1: {
          const int at = static_cast<int>(next(static_cast<unsigned>(count) + 1));
          list.Insert(at, item);
          model.insert(model.begin() + at, item);
          break;
        }
        case 2: {
          const int at = static_cast<int>(next(static_cast<unsigned>(count)));
          list.Delete(at);
          model.erase(model.begin() + at);
          break;
        }
        case 3: {
          const int from = static_cast<int>(next(static_cast<unsigned>(count))), to = static_cast<int>(next(static_cast<unsigned>(count)));
          list.Move(from, to);
          void* moved = model[static_cast<size_t>(from)];
          model.erase(model.begin() + from);
          model.insert(model.begin() + to, moved);
          break;
        }
        case 4: {
          const int a = static_cast<int>(next(static_cast<unsigned>(count))), b = static_cast<int>(next(static_cast<unsigned>(count)));
          list.Exchange(a, b);
          std::swap(model[static_cast<size_t>(a)], model[static_cast<size_t>(b)]);
          break;
        }
        case 5: {
          auto it = std::find(model.begin(), model.end(), item);
          EXPECT_EQ(list.Remove(item), it == model.end() ? -1 : static_cast<int>(it - model.begin()));
          if (it != model.end()) model.erase(it);
          break;
        }
        default:
          if (next(4) == 0) {
            list.Clear();
            model.clear();
          } else {
            list.Add(item);
            model.push_back(item);
          }
      }
      ASSERT_EQ(list.Count(), static_cast<int>(model.size())) << "seed " << seed << ", step " << step;
      for (int i = 0; i < list.Count(); ++i) ASSERT_EQ(list.Items(i), model[static_cast<size_t>(i)]) << "seed " << seed << ", step " << step;
    }
  }
}

TEST(StringList, TextJoinsWithCrLfAfterEveryLine) {
  TStringList list;
  EXPECT_EQ(list.Text(), L"");
  list.Add(L"a");
  list.Add(L"");
  list.Add(L"b");
  EXPECT_EQ(list.Text(), L"a\r\n\r\nb\r\n");
}

TEST(StringList, SettingTextSplitsAtEveryLineBreakAndStopsAtNul) {
  const std::pair<std::wstring, std::vector<std::wstring>> cases[] = {
      {L"", {}},
      {L"one", {L"one"}},
      {L"a\r\nb\rc\nd", {L"a", L"b", L"c", L"d"}},
      {L"a\r\n", {L"a"}},
      {L"a\n\nb", {L"a", L"", L"b"}},
      {L"\r\n", {L""}},
      {std::wstring(L"x\ny\0z\nw", 7), {L"x", L"y"}},
  };
  for (const auto& [text, lines] : cases) {
    TStringList list;
    list.Add(L"old");
    list.SetText(text);
    std::vector<std::wstring> got;
    for (int i = 0; i < list.Count(); ++i) got.push_back(list[i]);
    EXPECT_EQ(got, lines);
  }
}

TEST(StringList, ObjectsAndIntegersTravelWithTheirLines) {
  const std::intptr_t medium = 4;  // TYMED_ISTREAM, as lists of custom formats keep it
  TStringList list;
  list.AddInteger(L"HTML Format", medium);
  list.Add(L"plain");
  list.Insert(0, L"first");
  EXPECT_EQ(list.Integers(1), medium);
  EXPECT_EQ(list.Objects(2), nullptr);
  EXPECT_EQ(list.IndexOf(L"html format"), 1);
  TStringList copy;
  copy.Assign(&list);
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Integers(1), medium);
  EXPECT_THROW(list.Strings(3), EStringListError);
  list.Delete(0);
  EXPECT_EQ(list[0], L"HTML Format");
}
