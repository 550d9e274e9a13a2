#pragma once
// The demo's file pane: a report that exists only in memory until a target asks for it, dragged
// out as a virtual file (TKXFileSource), and a list that accepts files from any application, real
// ones and virtual ones such as mail attachments (TKXFileTarget), showing what arrived.
#include <functional>
#include <string>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "sources/KXFileSource.h"
#include "targets/KXFileTarget.h"

class TDemoFilePane {
 public:
  // Places the pane's controls on Form, top left at (Left, Top), Width wide and Height high.
  TDemoFilePane(vcl::TForm* Form, int Left, int Top, int Width, int Height);

  vcl::TPanel* Donor() const { return FDonor; }
  vcl::TListBox* Acceptor() const { return FAcceptor; }
  kestrix::TKXFileSource* Source() const { return FSource; }
  kestrix::TKXFileTarget* Target() const { return FTarget; }
  // The generated file's name and contents, as the donor makes them.
  static const wchar_t* GeneratedName() { return L"Kestrix report.txt"; }
  std::string GeneratedContents() const;
  int Drops() const { return FDrops; }
  // The contents of the last drop's first file, read when it was dropped.
  const std::string& FirstFileContents() const { return FFirstContents; }
  // How often the donor was asked for the report's contents.
  int ContentRequests() const { return FContentRequests; }

  // Runs after each drag started from the donor has ended.
  std::function<void()> OnDragDone;
  // Runs when a drag enters the acceptor, to list the drag's formats.
  std::function<void(kestrix::TKXFileTarget*)> OnDragEnter;

 private:
  void ShowDrop();

  vcl::TPanel* FDonor;
  vcl::TListBox* FAcceptor;
  vcl::TLabel* FStatus;
  kestrix::TKXFileSource* FSource;
  kestrix::TKXFileTarget* FTarget;
  int FDrops = 0;
  int FContentRequests = 0;
  std::string FFirstContents;
};
