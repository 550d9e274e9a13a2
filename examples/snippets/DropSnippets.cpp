// Short examples of accepting dropped text and pictures, for the guide in docs/. They are compiled
// with the other examples, so that the guide cannot drift from the library, but never run: each
// function stands for a part of an application.
#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include <kestrix/formats/KXUtil.h>
#include <kestrix/framework/ComCtrls.h>
#include <kestrix/framework/ExtCtrls.h>
#include <kestrix/framework/ExtCtrlsImage.h>
#include <kestrix/framework/Forms.h>
#include <kestrix/framework/StdCtrls.h>
#include <kestrix/targets/KXFileTarget.h>
#include <kestrix/targets/KXGraphicTarget.h>
#include <kestrix/targets/KXTextTarget.h>

using namespace kestrix;

namespace snippets {

void AcceptIntoMemo(vcl::TForm* form, vcl::TMemo* memo) {
  // [snippet:text-target-memo]
  auto* target = new TKXTextTarget(form);  // the form owns the component and frees it
  target->setAcceptTextFormats({dtfURL, dtfFiles, dtfText});
  target->setAcceptorControl(memo);
  target->setOnDrop([=](vcl::TObject*, vcl::TWinControl*, const std::wstring& text, int, int) {
    switch (target->getDroppedTextFormat()) {
      case dtfFiles: {  // one full path per line
        vcl::TStrings* files = target->getDroppedLines();
        for (int i = 0; i < files->Count(); ++i) memo->Lines().Add(L"file: " + (*files)[i]);
        break;
      }
      case dtfURL:  // the title comes from "text/x-moz-url" or the browser's shortcut, when it has one
        memo->Lines().Add(target->getURLTitleW() + L" <" + text + L">");
        break;
      default:
        memo->SetSelText(text);  // at the caret
    }
  });
  // [end]
}

void AcceptIntoRichEdit(vcl::TForm* form, vcl::TRichEdit* editor) {
  // [snippet:text-target-richedit]
  auto* target = new TKXTextTarget(form);
  target->setAcceptTextFormats({dtfRichText, dtfText});  // rich text wins when a drag has both
  target->setAcceptorControl(editor);  // takes the place of the rich edit's own drop target
  target->setOnDrop([=](vcl::TObject*, vcl::TWinControl*, const std::wstring& text, int, int) {
    const bool isRTF = target->getDroppedTextFormat() == dtfRichText;
    AddContentToRichEdit(text, editor, isRTF, /*ReplaceSelection=*/true);
  });
  // [end]
}

void AcceptOwnFormat(TKXTextTarget* target, const std::function<void(const std::string&)>& openRecord) {
  // [snippet:text-target-custom]
  target->setAcceptTextFormats({dtfCustom, dtfText});
  target->getCustomFormats()->Add(L"MyApp.Record");  // looked for before every other kind
  target->setOnDrop([=](vcl::TObject*, vcl::TWinControl*, const std::wstring&, int, int) {
    if (target->getDroppedTextFormat() != dtfCustom || target->getCustomFormatIndex() != 0) return;
    // The text holds the block's bytes read in the ANSI code page, trailing zeros included; while
    // OnDrop runs, the drag's data object is still at hand for the bytes themselves.
    openRecord(target->DataObjectGetFormat(L"MyApp.Record"));
  });
  // [end]
}

void AcceptPicture(vcl::TForm* form, vcl::TPanel* frame, vcl::TImage* image) {
  // [snippet:picture-target]
  auto* target = new TKXGraphicTarget(form);
  target->setAcceptorControl(frame);      // an image has no window: its parent panel accepts
  target->setPreferredFormat(dgfBitmap);  // fetch a bitmap first when a drag offers both kinds
  target->setOnDrop([=](vcl::TObject*, vcl::TWinControl*, vcl::TPicture* picture, int, int) {
    // Runs from the message loop once the drag has ended. The next drop frees picture: copy it.
    if (picture->Graphic()) image->Picture()->Assign(picture);
  });
  // [end]
}

void ShowDropFeedback(TKXGraphicTarget* target, vcl::TPanel* frame) {
  // [snippet:drop-feedback]
  target->SetOverrideDropEffect(deMove, deCopy);  // never take a picture away from its owner
  target->setOnDragEnter([=](vcl::TObject*, TDropEffect effect, int, int) {
    frame->SetText(effect == deNone ? L"Not a picture" : L"Drop the picture here");
  });
  target->setOnDragLeave([=](vcl::TObject*) { frame->SetText(L""); });
  target->setOnDrop([=](vcl::TObject*, vcl::TWinControl*, vcl::TPicture*, int, int) {
    frame->SetText(L"");  // a drop ends the drag without OnDragLeave
  });
  // [end]
}

void DescribeWhatComes(TKXTextTarget* target, vcl::TLabel* hint) {
  // [snippet:available-kinds]
  target->setOnDragEnter([=](vcl::TObject*, TDropEffect effect, int, int) {
    const TDropTextFormats offered = target->getAvailableTextFormats();  // whatever is accepted
    if (effect == deNone) hint->SetText(L"This cannot be dropped here");
    else if (offered.Contains(dtfFiles)) hint->SetText(L"Drop to attach the files");
    else hint->SetText(L"Drop to insert the text");
  });
  // [end]
}

void SaveDroppedFiles(vcl::TForm* form, vcl::TListBox* list, const std::wstring& inbox,
                      const std::function<bool()>& userCancelled) {
  // [snippet:file-target]
  auto* target = new TKXFileTarget(form);
  target->setAcceptorControl(list);
  target->setMaxFileSize(std::uint64_t{512} << 20);  // an item over 512 MiB fails to save
  target->setOnProgress([=](vcl::TObject*, int, std::uint64_t, std::uint64_t, bool& cancel) {
    cancel = userCancelled();  // stops the item being read
  });
  target->setOnDrop([=](vcl::TObject*, vcl::TWinControl*, int, int) {
    const int saved = target->SaveToFolder(inbox);  // safe names; nothing there is overwritten
    for (int i = 0; i < target->getFileCount(); ++i) {
      if (target->getSaveResult(i) == fsrSaved)
        list->Items().Add(target->getSavedPath(i));
      else  // refused, too large, cancelled, failed: the reason in a few words
        list->Items().Add(target->getFile(i).Name + L": " + target->getSaveResultText(i));
    }
    target->EndDrop(saved > 0);  // the source lets go; an asynchronous one learns the result now
  });
  // [end]
}

void ReportDropErrors() {
  // [snippet:drop-errors]
  // Exceptions from a target's handlers, and from fetching a browser's image, arrive here.
  vcl::Application->SetOnException([](vcl::TObject*, std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const vcl::Exception& e) {
      OutputDebugStringW(e.Message().c_str());
    } catch (const std::exception& e) {
      OutputDebugStringA(e.what());
    }
  });
  // [end]
}

}  // namespace snippets
