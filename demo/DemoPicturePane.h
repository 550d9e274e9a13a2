#pragma once
// The demo's picture pane: a picture drawn at start-up that can be dragged (TKXGraphicSource), and
// a panel that accepts pictures from any application (TKXGraphicTarget) and shows what arrived.
#include <functional>
#include <string>

#include "framework/ExtCtrls.h"
#include "framework/ExtCtrlsImage.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "sources/KXGraphicSource.h"
#include "targets/KXGraphicTarget.h"

class TDemoPicturePane {
 public:
  // Places the pane's controls on Form, top left at (Left, Top), Width wide.
  TDemoPicturePane(vcl::TForm* Form, int Left, int Top, int Width);

  vcl::TPanel* Donor() const { return FDonor; }
  vcl::TPanel* Acceptor() const { return FAcceptor; }
  kestrix::TKXGraphicSource* Source() const { return FSource; }
  kestrix::TKXGraphicTarget* Target() const { return FTarget; }
  // The donor's picture and the last dropped one (empty before a drop).
  vcl::TPicture* DonorPicture() const { return FDonorImage->Picture(); }
  vcl::TPicture* DroppedPicture() const { return FDroppedImage->Picture(); }
  int Drops() const { return FDrops; }
  // A line saying what the last drop brought.
  std::wstring DropSummary() const { return FSummary; }

  // Runs after each drag started from the donor has ended.
  std::function<void()> OnDragDone;
  // Runs when the target's OnDrop has shown a picture.
  std::function<void()> OnDropShown;
  // Runs when a drag enters the acceptor, to list the drag's formats.
  std::function<void(kestrix::TKXGraphicTarget*)> OnDragEnter;

 private:
  void DrawDonorPicture();
  void ShowDrop(vcl::TPicture* Picture, int X, int Y);

  vcl::TPanel* FDonor;
  vcl::TImage* FDonorImage;
  vcl::TPanel* FAcceptor;
  vcl::TImage* FDroppedImage;
  vcl::TLabel* FStatus;
  kestrix::TKXGraphicSource* FSource;
  kestrix::TKXGraphicTarget* FTarget;
  int FDrops = 0;
  std::wstring FSummary;
};
