// kestrix.hpp: a header-only C++17 layer over the C interface (kestrix.h), for C++ applications
// built with any compiler (MSVC, clang, MinGW): it uses nothing of the library but the C functions,
// so no C++ type crosses the DLL's boundary, and this header's standard library is the
// application's own.
//
// What it adds over the C interface:
//   - Every handle has an owner (kx::Library, kx::TextTarget, kx::FileSource, kx::Gif, ...) that
//     destroys it; owners move but do not copy.
//   - Strings are std::wstring; buffers and library-allocated lists are read and freed here.
//   - A failing status throws kx::Error (code and message from kx_last_error).
//   - Callbacks are any callables (lambdas). An exception thrown by one never enters the DLL: the
//     callback's trampoline catches it, answers the library with a failure (the drag is cancelled,
//     the drop reports no effect, the reading stops) and keeps the exception for this thread. It
//     is rethrown, unchanged, on the application's side: by the wrapper call during which the
//     callback ran (execute, the save functions), or, for callbacks run from the message loop (a
//     drop), by kx::RunMessageLoop / kx::PumpMessages after the dispatch that ran it, or by
//     kx::RethrowPending in an application's own loop. Failing to handle it is never silent: the
//     next wrapper call on this thread rethrows it.
// The thread rules are those of kestrix.h: every object is used on the thread that made the
// kx::Library, which runs a message loop, and callbacks arrive on that thread.
#ifndef KESTRIX_HPP
#define KESTRIX_HPP

#include "kestrix.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace kx {

// ---- errors ----------------------------------------------------------------------------------------

class Error : public std::runtime_error {
 public:
  Error(kx_status code, const std::wstring& message)
      : std::runtime_error(Utf8(message)), code_(code), message_(message) {}
  kx_status code() const noexcept { return code_; }
  const std::wstring& message() const noexcept { return message_; }

 private:
  static std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
  }
  kx_status code_;
  std::wstring message_;
};

namespace detail {

// The exception a callback threw on this thread, not yet rethrown.
inline std::exception_ptr& Pending() noexcept {
  thread_local std::exception_ptr pending;
  return pending;
}

// Rethrows what a callback threw, if anything, and then turns a failure into kx::Error.
inline void Check(kx_status status) {
  if (std::exception_ptr pending = std::exchange(Pending(), nullptr)) std::rethrow_exception(pending);
  if (status == KX_OK) return;
  kx_status code = status;
  std::size_t length = 0;
  std::wstring message;
  if (kx_last_error(&code, nullptr, 0, &length) == KX_OK) {
    message.resize(length + 1);
    if (kx_last_error(&code, &message[0], message.size(), &length) == KX_OK) message.resize(length);
    else message.clear();
  }
  throw Error(status, message);
}

// Runs a callback's body; what it throws stays on this side of the DLL (see the header's comment).
template <class F>
kx_status Guard(F&& body) noexcept {
  try {
    body();
    return KX_OK;
  } catch (...) {
    if (!Pending()) Pending() = std::current_exception();  // the first one is the cause
    return KX_E_CALLBACK;
  }
}

// A string out of a buffer-filling C function: call(buffer, capacity, &length).
template <class Call>
std::wstring ReadString(Call call) {
  std::size_t length = 0;
  Check(call(nullptr, 0, &length));
  std::wstring text(length + 1, L'\0');
  Check(call(&text[0], text.size(), &length));
  text.resize(length);
  return text;
}

// Keeps handler in slot and gives the C object its trampoline, or none for an empty handler.
template <class Handle, class Fn, class Handler>
void Listen(kx_status(KX_CALL* set)(Handle*, Fn, void*), Handle* handle, Fn trampoline, Handler& slot,
            Handler handler, void* context) {
  slot = std::move(handler);
  Check(set(handle, slot ? trampoline : nullptr, context));
}

struct ListDeleter {
  void operator()(wchar_t* list) const noexcept { kx_free(list); }
};

// One kind of C handle and its destroy function.
template <class Handle, kx_status(KX_CALL* Destroy)(Handle*)>
struct HandleDeleter {
  void operator()(Handle* handle) const noexcept { Destroy(handle); }
};

// The callables an object's callbacks reach through their context pointer. It sits on the heap, so
// that moving the owner leaves the context valid, and the owner destroys its handle before it.
struct Callbacks {
  virtual ~Callbacks() = default;
};

}  // namespace detail

// Rethrows an exception that a callback run from the message loop threw (see above).
inline void RethrowPending() { detail::Check(KX_OK); }

// Dispatches the messages waiting on this thread, then rethrows what a callback threw.
inline void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    RethrowPending();
  }
}

// Runs this thread's message loop until WM_QUIT; returns its exit code.
inline int RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    RethrowPending();
  }
  return static_cast<int>(msg.wParam);
}

// ---- start-up ----------------------------------------------------------------------------------------

struct Version {
  int major, minor, patch;
};

inline Version DllVersion() {
  Version v{};
  detail::Check(kx_get_version(&v.major, &v.minor, &v.patch));
  return v;
}

// kx_startup for the lifetime of the object, on the thread that runs the user interface. Make it
// before every other object of this header, so that it is destroyed after them: the last
// kx_shutdown is refused while a target or source exists.
class Library {
 public:
  Library() { detail::Check(kx_startup()); }
  ~Library() { kx_shutdown(); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
};

// ---- toolkit -----------------------------------------------------------------------------------------

// Owns one COM reference.
struct ReleaseDeleter {
  void operator()(IUnknown* object) const noexcept { object->Release(); }
};
using DataObjectRef = std::unique_ptr<IDataObject, ReleaseDeleter>;

inline UINT FormatFromName(const std::wstring& name) {
  UINT format = 0;
  detail::Check(kx_format_from_name(name.c_str(), &format));
  return format;
}
inline std::wstring FormatName(UINT format) {
  return detail::ReadString([&](wchar_t* b, std::size_t c, std::size_t* l) { return kx_format_name(format, b, c, l); });
}
inline std::wstring MediumName(DWORD tymed) {
  return detail::ReadString([&](wchar_t* b, std::size_t c, std::size_t* l) { return kx_medium_name(tymed, b, c, l); });
}
// The formats a data object offers, one line each (CR LF between lines).
inline std::wstring ListFormats(IDataObject* data) {
  wchar_t* list = nullptr;
  detail::Check(kx_data_object_list_formats(data, &list));
  std::unique_ptr<wchar_t, detail::ListDeleter> owner(list);
  return list ? std::wstring(list) : std::wstring();
}
inline std::wstring ListEntries(IDataObject* data) {
  wchar_t* list = nullptr;
  detail::Check(kx_data_object_list_entries(data, &list));
  std::unique_ptr<wchar_t, detail::ListDeleter> owner(list);
  return list ? std::wstring(list) : std::wstring();
}
inline bool HasFormat(IDataObject* data, const std::wstring& name) {
  int has = 0;
  detail::Check(kx_data_object_has_format(data, name.c_str(), &has));
  return has != 0;
}
inline std::vector<unsigned char> GetFormat(IDataObject* data, const std::wstring& name) {
  std::size_t size = 0;
  detail::Check(kx_data_object_get_format(data, name.c_str(), nullptr, 0, &size));
  std::vector<unsigned char> bytes(size);
  detail::Check(kx_data_object_get_format(data, name.c_str(), bytes.data(), bytes.size(), &size));
  bytes.resize(size);
  return bytes;
}

// ---- drop targets --------------------------------------------------------------------------------------

// What the three targets share: the handle, binding to a window, the effect override and the
// current drag's data object.
class Target {
 public:
  kx_target* handle() const noexcept { return handle_.get(); }
  // Binds to any window of the library's thread; nullptr unbinds.
  void bind(HWND window) { detail::Check(kx_target_bind(handle(), window)); }
  void setEffectOverride(kx_effect effect, kx_effect replacement) {
    detail::Check(kx_target_set_effect_override(handle(), effect, replacement));
  }
  // The data object of the drag over the target; empty outside a drag.
  DataObjectRef dataObject() const {
    IDataObject* data = nullptr;
    detail::Check(kx_target_get_data_object(handle(), &data));
    return DataObjectRef(data);
  }
  // Whether the clipboard holds something the target would take (nothing is fetched).
  bool canPaste() const {
    int can = 0;
    detail::Check(kx_target_can_paste(handle(), &can));
    return can != 0;
  }
  // Takes the clipboard's contents as a drop at (-1, -1); false when nothing was taken. Rethrows
  // what the drop handler threw.
  bool paste() {
    const kx_status status = kx_target_paste(handle());
    if (status == KX_E_STATE && !detail::Pending()) return false;
    detail::Check(status);
    return true;
  }

 protected:
  Target(kx_target_kind kind, std::unique_ptr<detail::Callbacks> callbacks) : callbacks_(std::move(callbacks)) {
    kx_target* target = nullptr;
    detail::Check(kx_target_create(kind, &target));
    handle_.reset(target);
  }
  template <class State>
  State& callbacks() const noexcept {
    return static_cast<State&>(*callbacks_);
  }

 private:
  // Declared first, destroyed last: the handle goes before the callables its callbacks reach.
  std::unique_ptr<detail::Callbacks> callbacks_;
  std::unique_ptr<kx_target, detail::HandleDeleter<kx_target, kx_target_destroy>> handle_;
};

struct TextDrop {
  unsigned int kind = 0;  // one KX_TEXT_* bit
  std::wstring text, urlTitle, htmlFragment, htmlSourceUrl;
  int customIndex = -1;
  kx_effect effect = KX_EFFECT_NONE;
  int x = 0, y = 0;
};

class TextTarget : public Target {
 public:
  // Throwing from the handler makes the drop report no effect.
  using DropHandler = std::function<void(const TextDrop&)>;

  TextTarget() : Target(KX_TARGET_TEXT, std::make_unique<State>()) {}

  void setAccepted(unsigned int kinds) { detail::Check(kx_text_target_set_accepted(handle(), kinds)); }
  void setCustomFormats(const std::vector<std::wstring>& names) {
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& name : names) pointers.push_back(name.c_str());
    detail::Check(kx_text_target_set_custom_formats(handle(), pointers.data(), pointers.size()));
  }
  void onDrop(DropHandler handler) {
    detail::Listen(kx_text_target_on_drop, handle(), &DropTrampoline, state().onDrop, std::move(handler), &state());
  }
  // The last drop, also after its handler has returned.
  TextDrop lastDrop() const {
    kx_text_drop raw = KX_TEXT_DROP_INIT;
    detail::Check(kx_text_target_get_drop(handle(), &raw));
    TextDrop d = Convert(raw);
    d.text = String(KX_TEXT_FIELD_TEXT);
    d.urlTitle = String(KX_TEXT_FIELD_URL_TITLE);
    d.htmlFragment = String(KX_TEXT_FIELD_HTML_FRAGMENT);
    d.htmlSourceUrl = String(KX_TEXT_FIELD_HTML_SOURCE_URL);
    return d;
  }

 private:
  struct State : detail::Callbacks {
    DropHandler onDrop;
  };
  // The fields other than the strings.
  static TextDrop Convert(const kx_text_drop& drop) {
    TextDrop d;
    d.kind = drop.kind;
    d.customIndex = drop.custom_index;
    d.effect = drop.effect;
    d.x = drop.x;
    d.y = drop.y;
    return d;
  }
  std::wstring String(kx_text_field field) const {
    return detail::ReadString([&](wchar_t* b, std::size_t c, std::size_t* l) {
      return kx_text_target_get_string(handle(), field, b, c, l);
    });
  }
  static kx_status KX_CALL DropTrampoline(void* context, kx_target*, const kx_text_drop* drop) {
    return detail::Guard([&] {
      TextDrop d = Convert(*drop);
      d.text.assign(drop->text, drop->text_length);
      d.urlTitle = drop->url_title;
      d.htmlFragment = drop->html_fragment;
      d.htmlSourceUrl = drop->html_source_url;
      static_cast<State*>(context)->onDrop(d);
    });
  }
  State& state() const noexcept { return callbacks<State>(); }
};

struct PictureDrop {
  unsigned int kind = 0;  // KX_PICTURE_BITMAP or KX_PICTURE_METAFILE
  int width = 0, height = 0, x = 0, y = 0;
};

struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const noexcept { DeleteObject(bitmap); }
};
struct MetafileDeleter {
  void operator()(HENHMETAFILE metafile) const noexcept { DeleteEnhMetaFile(metafile); }
};
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;
using Metafile = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, MetafileDeleter>;

class PictureTarget : public Target {
 public:
  using DropHandler = std::function<void(const PictureDrop&)>;

  PictureTarget() : Target(KX_TARGET_PICTURE, std::make_unique<State>()) {}

  void setAccepted(unsigned int kinds) { detail::Check(kx_picture_target_set_accepted(handle(), kinds)); }
  void setPreferred(unsigned int kind) { detail::Check(kx_picture_target_set_preferred(handle(), kind)); }
  void onDrop(DropHandler handler) {
    detail::Listen(kx_picture_target_on_drop, handle(), &DropTrampoline, state().onDrop, std::move(handler), &state());
  }
  PictureDrop lastDrop() const {
    kx_picture_drop drop = KX_PICTURE_DROP_INIT;
    detail::Check(kx_picture_target_get_drop(handle(), &drop));
    return Convert(drop);
  }
  // Copies of the last dropped picture, owned by the caller.
  Bitmap copyBitmap() const {
    HBITMAP bitmap = nullptr;
    detail::Check(kx_picture_target_copy_bitmap(handle(), &bitmap));
    return Bitmap(bitmap);
  }
  Metafile copyMetafile() const {
    HENHMETAFILE metafile = nullptr;
    detail::Check(kx_picture_target_copy_metafile(handle(), &metafile));
    return Metafile(metafile);
  }

 private:
  struct State : detail::Callbacks {
    DropHandler onDrop;
  };
  static PictureDrop Convert(const kx_picture_drop& drop) {
    return PictureDrop{drop.kind, drop.width, drop.height, drop.x, drop.y};
  }
  static kx_status KX_CALL DropTrampoline(void* context, kx_target*, const kx_picture_drop* drop) {
    return detail::Guard([&] { static_cast<State*>(context)->onDrop(Convert(*drop)); });
  }
  State& state() const noexcept { return callbacks<State>(); }
};

struct FileDrop {
  std::size_t count = 0;
  bool asynchronous = false;
  int x = 0, y = 0;
};

struct FileItem {
  std::wstring name;        // a real file's full path; a virtual item's name as the source gave it
  unsigned int flags = 0;   // KX_ITEM_*
  std::uint64_t size = 0;   // valid with KX_ITEM_HAS_SIZE
  DWORD attributes = 0;
  FILETIME creationTime{}, lastAccessTime{}, lastWriteTime{};
};

// One item's outcome of saveToFolder.
struct ItemResult {
  kx_save_result status = KX_SAVED;  // KX_SAVED, or why not (KX_SAVE_*)
  std::wstring message;      // why not, "" when saved
  std::wstring savedPath;    // where it went, "" when not saved
};

class FileTarget : public Target {
 public:
  // Throwing from the drop handler ends the drop as failed.
  using DropHandler = std::function<void(const FileDrop&)>;
  // Setting cancel stops reading that item; throwing stops it too and is rethrown by the save call.
  using ProgressHandler = std::function<void(std::size_t index, std::uint64_t done, std::uint64_t total, bool& cancel)>;
  // Receives an item's contents a piece at a time; throwing stops the reading.
  using Writer = std::function<void(const void* data, std::size_t size)>;

  FileTarget() : Target(KX_TARGET_FILE, std::make_unique<State>()) {}

  void setAccepted(unsigned int kinds) { detail::Check(kx_file_target_set_accepted(handle(), kinds)); }
  void setMaxSize(std::uint64_t bytes) { detail::Check(kx_file_target_set_max_size(handle(), bytes)); }
  void onDrop(DropHandler handler) {
    detail::Listen(kx_file_target_on_drop, handle(), &DropTrampoline, state().onDrop, std::move(handler), &state());
  }
  void onProgress(ProgressHandler handler) {
    detail::Listen(kx_file_target_on_progress, handle(), &ProgressTrampoline, state().onProgress, std::move(handler),
                   &state());
  }
  // The last drop; open tells whether its items can still be read.
  FileDrop lastDrop(bool* open = nullptr) const {
    kx_file_drop drop = KX_FILE_DROP_INIT;
    int isOpen = 0;
    detail::Check(kx_file_target_get_drop(handle(), &drop, &isOpen));
    if (open) *open = isOpen != 0;
    return Convert(drop);
  }
  FileItem item(std::size_t index) const {
    kx_file_item raw = KX_FILE_ITEM_INIT;
    detail::Check(kx_file_target_get_item(handle(), index, &raw));
    FileItem out;
    out.name = detail::ReadString([&](wchar_t* b, std::size_t c, std::size_t* l) {
      return kx_file_target_get_item_name(handle(), index, b, c, l);
    });
    out.flags = raw.flags;
    out.size = raw.size;
    out.attributes = raw.attributes;
    out.creationTime = raw.creation_time;
    out.lastAccessTime = raw.last_access_time;
    out.lastWriteTime = raw.last_write_time;
    return out;
  }
  // Saves every item under folder; returns how many files were written (see itemResult).
  std::size_t saveToFolder(const std::wstring& folder) {
    std::size_t saved = 0;
    detail::Check(kx_file_target_save_to_folder(handle(), folder.c_str(), &saved));
    return saved;
  }
  ItemResult itemResult(std::size_t index) const {
    ItemResult result;
    result.message = detail::ReadString([&](wchar_t* b, std::size_t c, std::size_t* l) {
      return kx_file_target_get_item_result(handle(), index, &result.status, b, c, l);
    });
    result.savedPath = detail::ReadString([&](wchar_t* b, std::size_t c, std::size_t* l) {
      return kx_file_target_get_saved_path(handle(), index, b, c, l);
    });
    return result;
  }
  void saveItem(std::size_t index, Writer writer) {
    detail::Check(kx_file_target_save_item(handle(), index, &WriteTrampoline, &writer));
  }
  // One item's whole contents.
  std::vector<unsigned char> readItem(std::size_t index) {
    std::vector<unsigned char> bytes;
    saveItem(index, [&](const void* data, std::size_t size) {
      const unsigned char* p = static_cast<const unsigned char*>(data);
      bytes.insert(bytes.end(), p, p + size);
    });
    return bytes;
  }
  void saveItemToStream(std::size_t index, IStream* stream) {
    detail::Check(kx_file_target_save_item_to_stream(handle(), index, stream));
  }
  void endDrop(bool succeeded) { detail::Check(kx_file_target_end_drop(handle(), succeeded ? 1 : 0)); }

 private:
  struct State : detail::Callbacks {
    DropHandler onDrop;
    ProgressHandler onProgress;
  };
  static FileDrop Convert(const kx_file_drop& drop) {
    return FileDrop{drop.count, drop.asynchronous != 0, drop.x, drop.y};
  }
  static kx_status KX_CALL DropTrampoline(void* context, kx_target*, const kx_file_drop* drop) {
    return detail::Guard([&] { static_cast<State*>(context)->onDrop(Convert(*drop)); });
  }
  static kx_status KX_CALL ProgressTrampoline(void* context, kx_target*, std::size_t index, std::uint64_t done,
                                              std::uint64_t total, int* cancel) {
    return detail::Guard([&] {
      bool stop = false;
      static_cast<State*>(context)->onProgress(index, done, total, stop);
      if (stop) *cancel = 1;
    });
  }
  static kx_status KX_CALL WriteTrampoline(void* context, const void* data, std::size_t size) {
    return detail::Guard([&] { (*static_cast<Writer*>(context))(data, size); });
  }
  State& state() const noexcept { return callbacks<State>(); }
};

// ---- drag sources ----------------------------------------------------------------------------------------

// What the three sources share: effects, the drag image, the after-drop handler and the drag.
class Source {
 public:
  // dropped: a target took the drag.
  using AfterDropHandler = std::function<void(bool dropped)>;
  // A program pasted the cut contents as a move: remove what was cut.
  using PasteSucceededHandler = std::function<void(kx_effect effect)>;

  kx_source* handle() const noexcept { return handle_.get(); }
  void setEffects(kx_effect effects) { detail::Check(kx_source_set_effects(handle(), effects)); }
  // show false turns the drag image off; image nullptr uses the source's own rendering (copied).
  void setDragImage(bool show, HBITMAP image = nullptr) {
    detail::Check(kx_source_set_drag_image(handle(), show ? 1 : 0, image));
  }
  void onAfterDrop(AfterDropHandler handler) {
    SourceCallbacks& state = callbacks<SourceCallbacks>();
    detail::Listen(kx_source_on_after_drop, handle(), &AfterDropTrampoline, state.onAfterDrop, std::move(handler),
                   &state);
  }
  // Runs the drag with the left button held; returns the effect performed (KX_EFFECT_NONE for a
  // cancel). Rethrows what a callback threw during the drag.
  kx_effect execute() {
    kx_effect effect = KX_EFFECT_NONE;
    detail::Check(kx_source_execute(handle(), &effect));
    return effect;
  }
  void cancel() { detail::Check(kx_source_cancel(handle())); }
  // Puts the drag's data on the clipboard (a move when cut); false when there is nothing to copy.
  bool copyToClipboard(bool cut = false) {
    const kx_status status = kx_source_copy_to_clipboard(handle(), cut ? 1 : 0);
    if (status == KX_E_STATE && !detail::Pending()) return false;
    detail::Check(status);
    return true;
  }
  bool onClipboard() const {
    int on = 0;
    detail::Check(kx_source_is_on_clipboard(handle(), &on));
    return on != 0;
  }
  // KX_CLIPBOARD_FLUSH (default) or KX_CLIPBOARD_CLEAR.
  void setClipboardRetention(int retention) { detail::Check(kx_source_set_clipboard_retention(handle(), retention)); }
  void setClipboardFlushLimit(std::uint64_t bytes) { detail::Check(kx_source_set_clipboard_flush_limit(handle(), bytes)); }
  void onPasteSucceeded(PasteSucceededHandler handler) {
    SourceCallbacks& state = callbacks<SourceCallbacks>();
    detail::Listen(kx_source_on_paste_succeeded, handle(), &PasteSucceededTrampoline, state.onPasteSucceeded,
                   std::move(handler), &state);
  }

 protected:
  // What every source's callbacks reach; a kind of source with callbacks of its own extends it.
  struct SourceCallbacks : detail::Callbacks {
    AfterDropHandler onAfterDrop;
    PasteSucceededHandler onPasteSucceeded;
  };
  Source(kx_source_kind kind, std::unique_ptr<SourceCallbacks> callbacks) : callbacks_(std::move(callbacks)) {
    kx_source* source = nullptr;
    detail::Check(kx_source_create(kind, &source));
    handle_.reset(source);
  }
  explicit Source(kx_source_kind kind) : Source(kind, std::make_unique<SourceCallbacks>()) {}
  template <class State>
  State& callbacks() const noexcept {
    return static_cast<State&>(*callbacks_);
  }

 private:
  static kx_status KX_CALL AfterDropTrampoline(void* context, kx_source*, int dropped) {
    return detail::Guard([&] { static_cast<SourceCallbacks*>(context)->onAfterDrop(dropped != 0); });
  }
  static kx_status KX_CALL PasteSucceededTrampoline(void* context, kx_source*, kx_effect effect) {
    return detail::Guard([&] { static_cast<SourceCallbacks*>(context)->onPasteSucceeded(effect); });
  }
  // Declared first, destroyed last: the handle goes before the callables its callbacks reach.
  std::unique_ptr<SourceCallbacks> callbacks_;
  std::unique_ptr<kx_source, detail::HandleDeleter<kx_source, kx_source_destroy>> handle_;
};

class TextSource : public Source {
 public:
  TextSource() : Source(KX_SOURCE_TEXT) {}
  void setText(const std::wstring& text) { detail::Check(kx_text_source_set_text(handle(), text.c_str())); }
  void setHtml(const std::wstring& html) { detail::Check(kx_text_source_set_html(handle(), html.c_str())); }
  void addCustomFormat(const std::wstring& name, const void* data, std::size_t size) {
    detail::Check(kx_text_source_add_custom_format(handle(), name.c_str(), data, size));
  }
  void clearCustomFormats() { detail::Check(kx_text_source_clear_custom_formats(handle())); }
};

class PictureSource : public Source {
 public:
  PictureSource() : Source(KX_SOURCE_PICTURE) {}
  // Copied now; the caller keeps its handle.
  void setBitmap(HBITMAP bitmap) { detail::Check(kx_picture_source_set_bitmap(handle(), bitmap)); }
  void setMetafile(HENHMETAFILE metafile) { detail::Check(kx_picture_source_set_metafile(handle(), metafile)); }
  void setImageData(const void* data, std::size_t size) {
    detail::Check(kx_picture_source_set_image_data(handle(), data, size));
  }
};

// Where a virtual file's contents go, during the contents handler only.
class ContentsStream {
 public:
  explicit ContentsStream(kx_stream* stream) noexcept : stream_(stream) {}
  void write(const void* data, std::size_t size) { detail::Check(kx_stream_write(stream_, data, size)); }
  void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }

 private:
  kx_stream* stream_;
};

class FileSource : public Source {
 public:
  // Writes virtual file index's contents; throwing fails that request (the target never gets
  // partial contents as complete).
  using ContentsHandler = std::function<void(std::size_t index, ContentsStream& stream)>;

  FileSource() : Source(KX_SOURCE_FILE, std::make_unique<State>()) {}

  // name may hold folders ("Reports\\May.csv"); returns the index the contents handler gets.
  std::size_t addVirtualFile(const std::wstring& name, std::uint64_t size = KX_SIZE_UNKNOWN) {
    std::size_t index = 0;
    detail::Check(kx_file_source_add_virtual_file(handle(), name.c_str(), size, &index));
    return index;
  }
  void addFile(const std::wstring& path) { detail::Check(kx_file_source_add_file(handle(), path.c_str())); }
  void clear() { detail::Check(kx_file_source_clear(handle())); }
  void setAsynchronous(bool asynchronous) {
    detail::Check(kx_file_source_set_asynchronous(handle(), asynchronous ? 1 : 0));
  }
  void onContents(ContentsHandler handler) {
    detail::Listen(kx_file_source_on_contents, handle(), &ContentsTrampoline, state().onContents, std::move(handler),
                   &state());
  }

 private:
  struct State : SourceCallbacks {
    ContentsHandler onContents;
  };
  static kx_status KX_CALL ContentsTrampoline(void* context, kx_source*, std::size_t index, kx_stream* stream) {
    return detail::Guard([&] {
      ContentsStream out(stream);
      static_cast<State*>(context)->onContents(index, out);
    });
  }
  State& state() const noexcept { return callbacks<State>(); }
};

// ---- GIF reader ------------------------------------------------------------------------------------------

struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  int delay = 0;     // hundredths of a second
  int disposal = 0;  // KX_GIF_DISPOSE_*
  bool transparent = false;
  int transparentIndex = 0;
  bool interlaced = false;
  std::vector<std::uint8_t> indices;  // width x height, top row first
  std::vector<std::uint8_t> palette;  // RGB triples of the colour table in force
};

class Gif {
 public:
  // Decodes a whole GIF from memory; kx::Error (KX_E_FORMAT) when it does not decode.
  Gif(const void* data, std::size_t size) {
    kx_gif* gif = nullptr;
    detail::Check(kx_gif_decode(data, size, &gif));
    handle_.reset(gif);
  }
  kx_gif* handle() const noexcept { return handle_.get(); }
  int width() const { return Info().width; }
  int height() const { return Info().height; }
  std::size_t frameCount() const { return Info().frame_count; }
  int backgroundIndex() const { return Info().background_index; }
  std::vector<std::uint8_t> globalPalette() const {
    const kx_gif_info info = Info();
    return std::vector<std::uint8_t>(info.palette, info.palette + info.palette_count * 3);
  }
  GifFrame frame(std::size_t index) const {
    kx_gif_frame raw = KX_GIF_FRAME_INIT;
    detail::Check(kx_gif_get_frame(handle(), index, &raw));
    GifFrame f;
    f.left = raw.left;
    f.top = raw.top;
    f.width = raw.width;
    f.height = raw.height;
    f.delay = raw.delay;
    f.disposal = raw.disposal;
    f.transparent = raw.transparent != 0;
    f.transparentIndex = raw.transparent_index;
    f.interlaced = raw.interlaced != 0;
    const std::size_t pixels = static_cast<std::size_t>(raw.width) * static_cast<std::size_t>(raw.height);
    if (raw.indices) f.indices.assign(raw.indices, raw.indices + pixels);
    if (raw.palette) f.palette.assign(raw.palette, raw.palette + raw.palette_count * 3);
    return f;
  }

 private:
  kx_gif_info Info() const {
    kx_gif_info info = KX_GIF_INFO_INIT;
    detail::Check(kx_gif_get_info(handle(), &info));
    return info;
  }
  std::unique_ptr<kx_gif, detail::HandleDeleter<kx_gif, kx_gif_destroy>> handle_;
};

}  // namespace kx

#endif  // KESTRIX_HPP
