// Binding target components to acceptor controls: the window-procedure hook, the OLE
// registration, sibling conflicts and the ways a binding ends.
#include <gtest/gtest.h>

#include "framework/ComCtrls.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "support/FakeDataObject.h"
#include "targets/KXTextTarget.h"

using namespace kestrix;

namespace {

IDropTarget* RegisteredTarget(HWND wnd) { return static_cast<IDropTarget*>(GetPropW(wnd, L"OleDropTargetInterface")); }

struct Form {
  vcl::TForm form{nullptr};
  vcl::TMemo* Memo(const wchar_t* name) {
    auto* m = new vcl::TMemo(&form);
    m->SetName(name);
    m->SetParent(&form);
    return m;
  }
  TKXTextTarget* Target(const wchar_t* name) {
    auto* t = new TKXTextTarget(&form);
    t->SetName(name);
    return t;
  }
};

// Two targets of one form, and the memo both would bind.
struct Siblings : Form {
  vcl::TMemo* memo = Memo(L"Memo1");
  TKXTextTarget* first = Target(L"First");
  TKXTextTarget* second = Target(L"Second");
};

// A foreign drop target (another component of the application, or the control's own).
class NullTarget : public vcl::TInterfacedObjectImpl<IDropTarget> {
 public:
  STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
  STDMETHODIMP DragLeave() override { return S_OK; }
  STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* e) override { *e = 0; return S_OK; }
};

}  // namespace

TEST(AcceptorBinding, BindsRegistersAndUnbinds) {
  Form f;
  auto* memo = f.Memo(L"Memo1");
  auto* target = f.Target(L"Target1");
  target->setAcceptorControl(memo);
  EXPECT_TRUE(target->getRegistered());
  EXPECT_NE(RegisteredTarget(memo->Handle()), nullptr);
  target->setAcceptorControl(memo);  // no second registration, which OLE would refuse
  EXPECT_TRUE(target->getRegistered());
  target->setAcceptorControl(nullptr);
  EXPECT_FALSE(target->getRegistered());
  EXPECT_EQ(RegisteredTarget(memo->Handle()), nullptr);
  target->setAcceptorControl(nullptr);
  EXPECT_EQ(target->getAcceptorControl(), nullptr);
}

TEST(AcceptorBinding, TheHookSeesMessagesAndUnbindingRestoresTheSavedProcedure) {
  Form f;
  auto* memo = f.Memo(L"Memo1");
  int original = 0, later = 0;
  vcl::TWndMethod own = memo->getWindowProc();
  memo->setWindowProc([&, own](vcl::TMessage& m) {
    if (m.Msg == WM_USER + 7) ++original;
    own(m);
  });
  auto* target = f.Target(L"Target1");
  target->setAcceptorControl(memo);
  memo->Perform(WM_USER + 7);
  EXPECT_EQ(original, 1);  // the hook passes every message on
  // Another party hooks on top of the target; unbinding still restores what the target saved.
  vcl::TWndMethod targetHook = memo->getWindowProc();
  memo->setWindowProc([&, targetHook](vcl::TMessage& m) {
    if (m.Msg == WM_USER + 7) ++later;
    targetHook(m);
  });
  target->setAcceptorControl(nullptr);
  memo->Perform(WM_USER + 7);
  EXPECT_EQ(original, 2);
  EXPECT_EQ(later, 0);  // what was installed on top of the target is dropped with it
}

TEST(AcceptorBinding, SiblingTargetsCannotShareAnAcceptorAtRunTime) {
  Siblings f;
  f.first->setAcceptorControl(f.memo);
  f.second->setAcceptorControl(f.memo);
  EXPECT_EQ(f.second->getAcceptorControl(), nullptr);
  EXPECT_FALSE(f.second->getRegistered());
  EXPECT_TRUE(f.first->getRegistered());
  // Targets of another owner may name the same control.
  vcl::TComponent otherOwner(nullptr);
  auto* foreign = new TKXTextTarget(&otherOwner);
  foreign->setAcceptorControl(f.memo);
  EXPECT_EQ(foreign->getAcceptorControl(), f.memo);
  EXPECT_FALSE(foreign->getRegistered());  // OLE keeps the first registration
}

TEST(AcceptorBinding, DesignerIsAskedBeforeAnAcceptorMoves) {
  Siblings f;
  f.first->SetDesigning(true);
  f.second->SetDesigning(true);
  f.first->setAcceptorControl(f.memo);
  EXPECT_FALSE(f.first->getRegistered());  // at design time nothing is hooked or registered
  std::vector<std::wstring> asked;
  vcl::TModalResult answer = vcl::mrNo;
  auto previous = vcl::SetMessageDlgHook([&](const std::wstring& text, vcl::TMsgDlgType type, vcl::TMsgDlgButtons buttons) {
    asked.push_back(text);
    EXPECT_EQ(type, vcl::mtError);
    EXPECT_EQ(buttons, (vcl::TMsgDlgButtons{vcl::mbYes, vcl::mbNo}));
    return answer;
  });
  f.second->setAcceptorControl(f.memo);
  EXPECT_EQ(f.second->getAcceptorControl(), nullptr);
  EXPECT_EQ(f.first->getAcceptorControl(), f.memo);
  answer = vcl::mrYes;
  f.second->setAcceptorControl(f.memo);
  EXPECT_EQ(f.second->getAcceptorControl(), f.memo);
  EXPECT_EQ(f.first->getAcceptorControl(), nullptr);
  vcl::SetMessageDlgHook(previous);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0],
            L"Each OLE target component must have a unique TWinControl designated as its AcceptorControl.\r\n\r\n"
            L"Memo1 has already been designated as First.AcceptorControl.  If you want to designate Memo1 instead as "
            L"Second.AcceptorControl, First.AcceptorControl must first be set to nil.\r\n\r\n Do you want to do this?");
}

TEST(AcceptorBinding, DestroyingTheAcceptorUnbinds) {
  Form f;
  auto* memo = f.Memo(L"Memo1");
  auto* target = f.Target(L"Target1");
  target->setAcceptorControl(memo);
  delete memo;
  EXPECT_EQ(target->getAcceptorControl(), nullptr);
  EXPECT_FALSE(target->getRegistered());
  target->setAcceptorControl(nullptr);
}

TEST(AcceptorBinding, ARecreatedWindowStaysUnregisteredUntilBoundAgain) {
  Form f;
  auto* memo = f.Memo(L"Memo1");
  auto* target = f.Target(L"Target1");
  target->setAcceptorControl(memo);
  memo->RecreateWnd();
  EXPECT_FALSE(target->getRegistered());
  EXPECT_EQ(RegisteredTarget(memo->Handle()), nullptr);
  target->setAcceptorControl(nullptr);
  target->setAcceptorControl(memo);
  EXPECT_TRUE(target->getRegistered());
  EXPECT_NE(RegisteredTarget(memo->Handle()), nullptr);
}

TEST(AcceptorBinding, ATextTargetTakesTheRichEditsOwnRegistration) {
  // Windows' rich edit registers itself as a drop target; Wine's does not, so a foreign target
  // stands in for it here.
  Form f;
  auto* rich = new vcl::TRichEdit(&f.form);
  rich->SetParent(&f.form);
  vcl::TComPtr<IDropTarget> own(new NullTarget);
  ASSERT_HRESULT_SUCCEEDED(RegisterDragDrop(rich->Handle(), own.Get()));
  auto* target = f.Target(L"Target1");
  target->setAcceptorControl(rich);
  EXPECT_TRUE(target->getRegistered());
  EXPECT_NE(RegisteredTarget(rich->Handle()), own.Get());
  target->setAcceptorControl(nullptr);
  EXPECT_EQ(RegisteredTarget(rich->Handle()), nullptr);  // the control's own is not given back
  // A memo's foreign registration is left alone: the text target then stays unregistered.
  auto* memo = f.Memo(L"Memo1");
  ASSERT_HRESULT_SUCCEEDED(RegisterDragDrop(memo->Handle(), own.Get()));
  target->setAcceptorControl(memo);
  EXPECT_FALSE(target->getRegistered());
  target->setAcceptorControl(nullptr);
  RevokeDragDrop(memo->Handle());
}

TEST(AcceptorBinding, DestroyingTheTargetRevokesAndReleasesEverything) {
  Form f;
  auto* memo = f.Memo(L"Memo1");
  auto* target = f.Target(L"Target1");
  target->setAcceptorControl(memo);
  IDropTarget* registered = RegisteredTarget(memo->Handle());
  ASSERT_NE(registered, nullptr);
  vcl::TComPtr<IDropTarget> held(registered);  // a reference that outlives the component
  delete target;
  EXPECT_EQ(RegisteredTarget(memo->Handle()), nullptr);
  // The drop target object still answers (it no longer reaches the component) and goes with the
  // last reference.
  DWORD effect = DROPEFFECT_COPY;
  auto data = kxtest::MakeFake();
  data->Offer(CF_TEXT, std::string("x", 2));
  EXPECT_EQ(held->DragEnter(data.Get(), 0, {0, 0}, &effect), S_OK);
  EXPECT_EQ(effect, 0u);
  EXPECT_EQ(held->DragLeave(), S_OK);
}
