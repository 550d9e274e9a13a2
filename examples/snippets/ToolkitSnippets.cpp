// Short examples of the toolkit (clipboard formats, data objects, the shell), for the guide in
// docs/. They are compiled with the other examples, so that the guide cannot drift from the
// library, but never run: each function stands for a part of an application.
#include <windows.h>
#include <ole2.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <kestrix/formats/KXUtil.h>
#include <kestrix/framework/StdCtrls.h>
#include <kestrix/sources/KXTextSource.h>
#include <kestrix/targets/KXTextTarget.h>

using namespace kestrix;

namespace snippets {

void DragFiles(TKXTextSource* source, const std::wstring& folder) {
  // [snippet:drag-files]
  // Files dragged to the shell or to any application that takes dropped files.
  vcl::TStringList names;
  names.Add(L"report.pdf");
  names.Add(L"figures.xlsx");
  TCustomFormatDataList* formats = source->getCustomFormatData();
  formats->Clear();
  formats->AddFormat(L"15", HDROPFromFileList(folder, names));  // CF_HDROP
  formats->AddFormat(L"Shell IDList Array", ShellIDListFromFileList(folder, names));
  source->setDropEffects({deCopy, deLink});
  source->Execute();
  // [end]
}

void ResolveShortcuts(TKXTextTarget* target, const std::function<void(const std::wstring&)>& open) {
  // [snippet:dropped-shortcuts]
  target->setAcceptTextFormats({dtfFiles});
  target->setOnDrop([=](vcl::TObject*, vcl::TWinControl*, const std::wstring&, int, int) {
    vcl::TStrings* files = target->getDroppedLines();
    for (int i = 0; i < files->Count(); ++i) {
      const std::wstring path = (*files)[i];
      const bool isShortcut = path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".lnk") == 0;
      const std::wstring real = isShortcut ? GetShortcutPath(path) : path;  // no dialog while resolving
      if (!real.empty()) open(real);
    }
  });
  // [end]
}

void ListClipboard(vcl::TListBox* listing) {
  // [snippet:clipboard-formats]
  vcl::TComPtr<IDataObject> clipboard;
  if (FAILED(OleGetClipboard(clipboard.Put()))) return;
  std::unique_ptr<vcl::TStringList> offered(DataObjFormatEtcList(clipboard.Get()));
  listing->Items().Assign(offered.get());  // lines like "HTML Format",49361,TYMED_HGLOBAL,1,-1

  if (DataObjHasFormat(clipboard.Get(), L"15")) {  // files copied in the shell
    std::unique_ptr<vcl::TStringList> files(FileListFromHDROP(DataObjGetFormat(clipboard.Get(), L"15")));
    listing->Items().AddStrings(*files);
  }
  DataObjectTymed = TYMED_ENHMF;  // for the next request only
  const std::string handle = DataObjGetFormat(clipboard.Get(), L"14");  // CF_ENHMETAFILE
  if (std::optional<void*> metafile = DecodePointerFromString(handle))
    DeleteEnhMetaFile(static_cast<HENHMETAFILE>(*metafile));  // a copy: the caller's to free
  // [end]
}

void NameFormats(vcl::TStrings& out) {
  // [snippet:format-names]
  const UINT html = ClipboardFormatFromString(L"HTML Format");  // registers the name if need be
  out.Add(ClipboardFormatDisplayName(CF_UNICODETEXT));          // "CF_UNICODETEXT"
  out.Add(ClipboardFormatDisplayName(static_cast<int>(html)));  // "HTML Format"
  out.Add(StorageMediumDisplayName(TYMED_HGLOBAL | TYMED_ISTREAM));  // "TYMED_HGLOBAL+TYMED_ISTREAM"
  // [end]
}

}  // namespace snippets
