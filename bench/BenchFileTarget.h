#pragma once
// The benchmarks' file target: bound to a panel on a form, and driven through its IDropTarget
// directly, so that a run times the target's work and not a mouse drag.
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "targets/KXDropTargetBase.h"
#include "targets/KXFileTarget.h"

namespace kxbench {

struct TBenchFileTarget : kestrix::TKXFileTarget {
  using TKXFileTarget::TKXFileTarget;
  IDropTarget* DropTarget() const { return DropTargetObject(); }

  // A target accepting drops on a panel of form; form owns both.
  static TBenchFileTarget* OnForm(vcl::TForm& form) {
    form.SetBounds(100, 100, 200, 150);
    auto* panel = new vcl::TPanel(&form);
    panel->SetParent(&form);
    auto* target = new TBenchFileTarget(&form);
    target->setAcceptorControl(panel);
    return target;
  }
};

}  // namespace kxbench
