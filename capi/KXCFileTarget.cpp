// The file target's kx_ functions.
#include <windows.h>

#include <exception>

#include "capi/KXCObjects.h"
#include "framework/OleStream.h"
#include "targets/KXFileTarget.h"

using namespace kestrix;
using namespace kestrix::capi;

namespace {

// A write-only stream that hands every piece to the application's write callback. A failing
// callback makes the write move nothing, which ends the reading as failed.
class TCallbackStream : public vcl::TStream {
 public:
  TCallbackStream(kx_write_fn Write, void* Context) : FWrite(Write), FContext(Context) {}

  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    if (Count <= 0 || FFailure != KX_OK) return 0;
    FFailure = FWrite(FContext, Buffer, static_cast<size_t>(Count));
    if (FFailure != KX_OK) return 0;
    FPosition += Count;
    return Count;
  }
  // Only where it stands can be asked: the callback cannot go back.
  std::int64_t Seek(std::int64_t Offset, vcl::TSeekOrigin Origin) override {
    if ((Origin == vcl::soBeginning && Offset == FPosition) || (Origin != vcl::soBeginning && Offset == 0)) return FPosition;
    throw vcl::EStreamError(L"The write callback's stream cannot seek");
  }
  kx_status Failure() const { return FFailure; }

 private:
  kx_write_fn FWrite;
  void* FContext;
  std::int64_t FPosition = 0;
  kx_status FFailure = KX_OK;
};

TKXFileTarget& Files(kx_target* Target) { return ComponentOf<TKXFileTarget>(Target); }

kx_save_result SaveResultOf(TKXFileSaveResult Result) {
  switch (Result) {
    case fsrSaved: return KX_SAVED;
    case fsrNotSaved: return KX_SAVE_NOT_TRIED;
    case fsrSkipped: return KX_SAVE_SKIPPED;
    case fsrRefused: return KX_SAVE_REFUSED;
    case fsrTooLarge: return KX_SAVE_TOO_LARGE;
    case fsrCancelled: return KX_SAVE_CANCELLED;
    case fsrSourceFailed: return KX_SAVE_SOURCE_FAILED;
    case fsrWriteFailed: return KX_SAVE_WRITE_FAILED;
  }
  return KX_SAVE_WRITE_FAILED;
}

// The last drop as the application sees it.
kx_file_drop FileDropOf(kx_target* Target) {
  kx_file_drop drop = KX_FILE_DROP_INIT;
  drop.count = static_cast<size_t>(Files(Target).getFileCount());
  drop.asynchronous = Files(Target).getDropIsAsynchronous() ? 1 : 0;
  drop.x = Target->X;
  drop.y = Target->Y;
  return drop;
}

// Runs Body for a live file target that has a dropped item Index.
template <class F>
kx_status OnItem(kx_target* Target, size_t Index, F&& Body) {
  return OnTarget(Target, KX_TARGET_FILE, [&]() -> kx_status {
    if (Index >= static_cast<size_t>(Files(Target).getFileCount()))
      return Fail(KX_E_INDEX, L"No dropped item " + std::to_wstring(Index));
    return Body();
  });
}

// Saves one item into Stream and says why it did not.
kx_status SaveItem(kx_target* Target, size_t Index, vcl::TStream& Stream, const TCallbackStream* Callback) {
  TKXFileTarget& files = Files(Target);
  if (!files.getDropOpen()) return Fail(KX_E_STATE, L"The drop is no longer open");
  if (files.getFile(static_cast<int>(Index)).IsFolder) return Fail(KX_E_STATE, L"The item is a folder");
  Target->ProgressCancelled = false;
  Target->ProgressFailure = KX_OK;
  // A stopped write may surface as the stream's exception: the callbacks' own reasons come first.
  bool saved = false;
  std::exception_ptr error;
  try {
    saved = files.SaveFileToStream(static_cast<int>(Index), Stream);
  } catch (...) {
    error = std::current_exception();
  }
  if (Callback && Callback->Failure() != KX_OK)
    return Fail(KX_E_CALLBACK, L"The write callback returned failure " + std::to_wstring(Callback->Failure()));
  if (Target->ProgressFailure != KX_OK)
    return Fail(KX_E_CALLBACK, L"The progress callback returned failure " + std::to_wstring(Target->ProgressFailure));
  if (Target->ProgressCancelled) return Fail(KX_E_CANCELLED, L"The progress callback cancelled the item");
  if (error) std::rethrow_exception(error);
  if (!saved) return Fail(KX_E_FAILED, L"The item's contents could not be read (the source failed, or the item is above the size limit)");
  return KX_OK;
}

}  // namespace

void WireFileTarget(kx_target* Target) {
  TKXFileTarget& files = Files(Target);
  files.setOnDrop([Target](TObject*, vcl::TWinControl*, int X, int Y) {
    RecordDrop(Target, X, Y);
    if (!Target->FileDrop) return;
    const kx_file_drop drop = FileDropOf(Target);
    RaiseDropCallback(Target, [&] { return Target->FileDrop.Function(Target->FileDrop.Context, Target, &drop); });
  });
  files.setOnProgress([Target](TObject*, int Index, std::uint64_t Done, std::uint64_t Total, bool& Cancel) {
    if (!Target->Progress) return;
    int cancel = 0;
    kx_status s;
    {
      const TCallbackScope scope(Target->Busy);
      s = Target->Progress.Function(Target->Progress.Context, Target, static_cast<size_t>(Index), Done, Total, &cancel);
    }
    if (s != KX_OK) Target->ProgressFailure = s;
    if (cancel) Target->ProgressCancelled = true;
    if (s != KX_OK || cancel) Cancel = true;
  });
}

extern "C" {

kx_status KX_CALL kx_file_target_set_accepted(kx_target* target, unsigned int kinds) {
  return OnTarget(target, KX_TARGET_FILE, [&]() -> kx_status {
    if (kinds & ~3u) return Fail(KX_E_INVALID_ARG, L"Unknown KX_FILES_* bits");
    Files(target).setAcceptRealFiles((kinds & KX_FILES_REAL) != 0);
    Files(target).setAcceptVirtualFiles((kinds & KX_FILES_VIRTUAL) != 0);
    return KX_OK;
  });
}

kx_status KX_CALL kx_file_target_set_max_size(kx_target* target, uint64_t max_size) {
  return OnTarget(target, KX_TARGET_FILE, [&]() -> kx_status {
    Files(target).setMaxFileSize(max_size);
    return KX_OK;
  });
}

kx_status KX_CALL kx_file_target_on_drop(kx_target* target, kx_file_drop_fn callback, void* context) {
  return SetTargetCallback(target, KX_TARGET_FILE, &kx_target::FileDrop, callback, context);
}

kx_status KX_CALL kx_file_target_on_progress(kx_target* target, kx_file_progress_fn callback, void* context) {
  return SetTargetCallback(target, KX_TARGET_FILE, &kx_target::Progress, callback, context);
}

kx_status KX_CALL kx_file_target_get_drop(kx_target* target, kx_file_drop* drop, int* open) {
  return OnTarget(target, KX_TARGET_FILE, [&]() -> kx_status {
    if (!target->Dropped) return Fail(KX_E_STATE, L"Nothing has been dropped");
    const kx_status s = PutStruct(drop, FileDropOf(target));
    if (s == KX_OK && open) *open = Files(target).getDropOpen() ? 1 : 0;
    return s;
  });
}

kx_status KX_CALL kx_file_target_get_item(kx_target* target, size_t index, kx_file_item* item) {
  return OnItem(target, index, [&]() -> kx_status {
    const TKXDroppedFile& f = Files(target).getFile(static_cast<int>(index));
    kx_file_item i = KX_FILE_ITEM_INIT;
    i.flags = (f.IsVirtual ? KX_ITEM_VIRTUAL : 0u) | (f.IsFolder ? KX_ITEM_FOLDER : 0u) | (f.HasSize ? KX_ITEM_HAS_SIZE : 0u);
    i.size = f.HasSize ? f.Size : 0;
    i.attributes = f.Attributes;
    i.creation_time = f.CreationTime;
    i.last_access_time = f.LastAccessTime;
    i.last_write_time = f.LastWriteTime;
    return PutStruct(item, i);
  });
}

kx_status KX_CALL kx_file_target_get_item_name(kx_target* target, size_t index, wchar_t* buffer, size_t capacity,
                                               size_t* length) {
  return OnItem(target, index, [&]() -> kx_status {
    return PutString(Files(target).getFile(static_cast<int>(index)).Name, buffer, capacity, length);
  });
}

kx_status KX_CALL kx_file_target_save_to_folder(kx_target* target, const wchar_t* folder, size_t* saved) {
  return OnTarget(target, KX_TARGET_FILE, [&]() -> kx_status {
    if (!folder || !*folder) return Fail(KX_E_INVALID_ARG, L"folder is null or empty");
    if (!Files(target).getDropOpen()) return Fail(KX_E_STATE, L"The drop is no longer open");
    const int count = Files(target).SaveToFolder(folder);
    if (saved) *saved = static_cast<size_t>(count);
    return KX_OK;
  });
}

kx_status KX_CALL kx_file_target_get_saved_path(kx_target* target, size_t index, wchar_t* buffer, size_t capacity,
                                                size_t* length) {
  return OnItem(target, index, [&]() -> kx_status {
    return PutString(Files(target).getSavedPath(static_cast<int>(index)), buffer, capacity, length);
  });
}

kx_status KX_CALL kx_file_target_get_item_result(kx_target* target, size_t index, kx_save_result* result,
                                                 wchar_t* buffer, size_t capacity, size_t* length) {
  return OnItem(target, index, [&]() -> kx_status {
    if (!result) return Fail(KX_E_INVALID_ARG, L"result is null");
    const int i = static_cast<int>(index);
    if (length || buffer) {
      if (const kx_status s = PutString(Files(target).getSaveResultText(i), buffer, capacity, length); s != KX_OK)
        return s;
    }
    *result = SaveResultOf(Files(target).getSaveResult(i));
    return KX_OK;
  });
}

kx_status KX_CALL kx_file_target_save_item(kx_target* target, size_t index, kx_write_fn write, void* context) {
  return OnItem(target, index, [&]() -> kx_status {
    if (!write) return Fail(KX_E_INVALID_ARG, L"write is null");
    TCallbackStream stream(write, context);
    return SaveItem(target, index, stream, &stream);
  });
}

kx_status KX_CALL kx_file_target_save_item_to_stream(kx_target* target, size_t index, IStream* stream) {
  return OnItem(target, index, [&]() -> kx_status {
    if (!stream) return Fail(KX_E_INVALID_ARG, L"stream is null");
    vcl::TOleStream out(stream);
    return SaveItem(target, index, out, nullptr);
  });
}

kx_status KX_CALL kx_file_target_end_drop(kx_target* target, int succeeded) {
  return OnTarget(target, KX_TARGET_FILE, [&]() -> kx_status {
    Files(target).EndDrop(succeeded != 0);
    return KX_OK;
  });
}

}  // extern "C"
