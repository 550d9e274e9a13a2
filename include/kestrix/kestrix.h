/*
 * kestrix.h: the C interface of KestrixVcl.dll, for any compiler and any language that can call a C
 * function of a Windows DLL (MSVC, clang, MinGW, C#, Delphi, Python, Rust, ...).
 *
 * Plain C99; compiles as C and as C++. Every name starts with kx_ (types, functions) or KX_
 * (constants, macros).
 *
 * Conventions
 *   - Every function returns a kx_status: KX_OK (0) on success, a KX_E_* code otherwise. After a
 *     failure, kx_last_error gives that code and a message; the slot is per thread, and a call that
 *     succeeds leaves it as it was.
 *   - Objects are opaque handles made by a kx_*_create function and freed by the matching
 *     kx_*_destroy (which takes NULL). A handle that is NULL, of the wrong kind or already destroyed
 *     gives KX_E_INVALID_HANDLE.
 *   - Strings are UTF-16 (wchar_t) and NUL-terminated, in and out. A string out is written into the
 *     caller's buffer: capacity counts wchar_t including the terminator, *length (never NULL)
 *     receives the string's length without the terminator. When the buffer is too small the call
 *     writes an empty string (if capacity > 0) and returns KX_E_BUFFER_TOO_SMALL; buffer NULL with
 *     capacity 0 only asks the length and returns KX_OK. Bytes out work the same way (capacity and
 *     *size in bytes, no terminator). Lists of variable size (format lists) are allocated by the
 *     library and freed with kx_free.
 *   - Structs that may grow carry their size in bytes as their first member: initialise them with
 *     their KX_*_INIT macro (or set struct_size = sizeof). The library fills only what the caller's
 *     size covers, so a program built with an older header keeps working with a newer DLL.
 *   - Flags are int (0 = no, anything else = yes); no C++ type, exception or bool crosses.
 *   - Callbacks take a function pointer and a void* context given back as their first argument.
 *     A callback returns KX_OK to go on; anything else is a failure that stops what it was called
 *     for (a drag is cancelled, a drop reports no effect, a read stops) and makes the function that
 *     ran it return KX_E_CALLBACK where there is one. Nothing thrown inside the library reaches a
 *     callback's caller, and nothing a callback does (other than its status) reaches the library.
 *   - Every function and callback uses the __cdecl convention (KX_CALL), and the DLL exports every
 *     function under its plain name on both architectures.
 *
 * Threads (OLE's single-threaded apartment)
 *   kx_startup initialises OLE on the calling thread, which becomes the library's thread: it must
 *   run a message loop (GetMessage/DispatchMessage) and every call, except those marked "any
 *   thread", must be made on it (KX_E_WRONG_THREAD otherwise; KX_E_NOT_STARTED before kx_startup).
 *   Callbacks are made on that thread: from its message loop (a drop, a deferred drop, a virtual
 *   file's contents asked by another process, a paste's success) or inside a blocking call
 *   (kx_source_execute, kx_target_paste, the kx_file_target_save_* functions). A callback may call the library, but must not destroy the
 *   object whose callback is running (KX_E_BUSY) nor start another drag.
 */
#ifndef KESTRIX_H
#define KESTRIX_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>
#include <windows.h>
#include <ole2.h>

#define KX_VERSION_MAJOR 0
#define KX_VERSION_MINOR 2
#define KX_VERSION_PATCH 0

/* The calling convention of every function and callback. */
#define KX_CALL __cdecl

#if defined(KX_BUILDING_DLL)
#define KX_CAPI __declspec(dllexport)
#elif defined(KX_STATIC)
#define KX_CAPI
#else
#define KX_CAPI __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- status ------------------------------------------------------------------------------------ */

typedef int kx_status;
enum {
  KX_OK = 0,
  KX_E_INVALID_ARG = 1,       /* a NULL out-pointer, a value out of range, a struct_size too small */
  KX_E_INVALID_HANDLE = 2,    /* NULL, destroyed or the wrong kind of object */
  KX_E_BUFFER_TOO_SMALL = 3,  /* *length / *size holds what is needed */
  KX_E_NOT_STARTED = 4,       /* kx_startup has not run (or was undone) */
  KX_E_WRONG_THREAD = 5,      /* called off the thread that called kx_startup */
  KX_E_STATE = 6,             /* not now: nothing to drag, a drag running, no drop open, no picture */
  KX_E_INDEX = 7,             /* an index outside the list */
  KX_E_CALLBACK = 8,          /* a callback returned a failure */
  KX_E_CANCELLED = 9,         /* stopped by a progress callback's cancel */
  KX_E_BUSY = 10,             /* the object is inside one of its own callbacks */
  KX_E_FORMAT = 11,           /* data that does not decode (a bad GIF, an unknown image) */
  KX_E_FAILED = 12,           /* the system or the other application refused (OLE, file system) */
  KX_E_OUT_OF_MEMORY = 13,
  KX_E_INTERNAL = 14          /* anything else that went wrong inside the library */
};

/* The calling thread's last failure: its code (KX_OK when there was none) and message (buffer as
 * for any string out; either pointer may be NULL, length only when message is). Any thread. */
KX_CAPI kx_status KX_CALL kx_last_error(kx_status* code, wchar_t* message, size_t capacity, size_t* length);

/* Frees what the library allocated for the caller (format lists). NULL is fine. Any thread. */
KX_CAPI kx_status KX_CALL kx_free(void* memory);

/* The DLL's version (compare with KX_VERSION_* of the header built against). Any thread. */
KX_CAPI kx_status KX_CALL kx_get_version(int* major, int* minor, int* patch);

/* ---- start-up ---------------------------------------------------------------------------------- */

/* Starts the library (OLE included) on the calling thread; calls nest and must be paired with
 * kx_shutdown on the same thread. A start on another thread while started gives KX_E_WRONG_THREAD. */
KX_CAPI kx_status KX_CALL kx_startup(void);
/* Undoes one kx_startup; the last one stops the library, and is refused (KX_E_BUSY) while a target
 * or source still exists. */
KX_CAPI kx_status KX_CALL kx_shutdown(void);

/* ---- effects and kinds ------------------------------------------------------------------------- */

/* Drop effects: the values of OLE's DROPEFFECT, combined as a mask where a set is meant. */
typedef unsigned int kx_effect;
#define KX_EFFECT_NONE 0u
#define KX_EFFECT_COPY 1u
#define KX_EFFECT_MOVE 2u
#define KX_EFFECT_LINK 4u

/* Text kinds: a text target's accepted set (a mask) and the kind of a drop (one bit). */
#define KX_TEXT_URL 0x01u
#define KX_TEXT_HTML 0x02u
#define KX_TEXT_RICH_TEXT 0x04u
#define KX_TEXT_PLAIN 0x08u
#define KX_TEXT_FILES 0x10u
#define KX_TEXT_CUSTOM 0x20u

/* Picture kinds: a picture target's accepted set (a mask) and the kind of a drop (one bit). */
#define KX_PICTURE_METAFILE 0x01u
#define KX_PICTURE_BITMAP 0x02u

/* File kinds a file target accepts (a mask). */
#define KX_FILES_REAL 0x01u
#define KX_FILES_VIRTUAL 0x02u

/* ---- drop targets -------------------------------------------------------------------------------- */

/* A drop target: one kind, chosen when made, bound to one window at a time. */
typedef struct kx_target kx_target;
typedef enum kx_target_kind { KX_TARGET_TEXT = 1, KX_TARGET_PICTURE = 2, KX_TARGET_FILE = 3 } kx_target_kind;

KX_CAPI kx_status KX_CALL kx_target_create(kx_target_kind kind, kx_target** target);
/* Unbinds and frees the target (NULL is fine); an open file drop is ended as failed. */
KX_CAPI kx_status KX_CALL kx_target_destroy(kx_target* target);
/* Binds the target to any window of the library's thread (the application's own included): drops on
 * it reach the target. NULL unbinds. The window is subclassed while bound, never destroyed. One
 * target per window. */
KX_CAPI kx_status KX_CALL kx_target_bind(kx_target* target, HWND window);
/* Replaces an effect the target would choose (one of KX_EFFECT_*) by another. */
KX_CAPI kx_status KX_CALL kx_target_set_effect_override(kx_target* target, kx_effect effect, kx_effect replacement);
/* The data object of the drag over the target (a new reference: Release it), or NULL outside a
 * drag. A text target's drop callback runs inside the drag; picture and asynchronous file drops
 * call back after it (NULL there). */
KX_CAPI kx_status KX_CALL kx_target_get_data_object(kx_target* target, IDataObject** data_object);
/* Whether the clipboard holds something the target would take from a drop. Nothing is fetched
 * (only a picture target reads the list of virtual files), so it may enable a Paste command. */
KX_CAPI kx_status KX_CALL kx_target_can_paste(kx_target* target, int* can);
/* Takes the clipboard's contents as a drop with no keys held: the same formats, results and
 * get_drop functions, and the drop callback with x = y = -1 (a picture's from the message loop
 * after this returns, as for a drop: bind the target first). The effect is copy; contents that
 * were cut are moved and their source is told ("Paste Succeeded"). KX_E_STATE when nothing was
 * taken, KX_E_CALLBACK when the drop callback failed. */
KX_CAPI kx_status KX_CALL kx_target_paste(kx_target* target);

/* -- text target -- */

/* A text drop, valid during the callback only. The strings are the library's, NUL-terminated;
 * absent ones are "" (never NULL). Files arrive in text, one full path per line (CR LF between). */
typedef struct kx_text_drop {
  uint32_t struct_size;
  unsigned int kind;            /* one KX_TEXT_* bit */
  const wchar_t* text;          /* the text (also the whole "HTML Format" block for HTML) */
  size_t text_length;           /* in characters; a custom format keeps every byte, NULs included */
  const wchar_t* url_title;     /* URL drops: the page title */
  const wchar_t* html_fragment; /* HTML drops: the fragment */
  const wchar_t* html_source_url;
  int custom_index;             /* KX_TEXT_CUSTOM: which of the custom format names; else -1 */
  kx_effect effect;             /* the effect reported to the source */
  int x, y;                     /* drop point, client coordinates of the bound window */
} kx_text_drop;
#define KX_TEXT_DROP_INIT { sizeof(kx_text_drop), 0, NULL, 0, NULL, NULL, NULL, -1, 0, 0, 0 }

/* Raised from the message loop when a drop was taken. A failure makes the drop report no effect. */
typedef kx_status (KX_CALL* kx_text_drop_fn)(void* context, kx_target* target, const kx_text_drop* drop);

/* The kinds taken (KX_TEXT_* mask; KX_TEXT_PLAIN by default). */
KX_CAPI kx_status KX_CALL kx_text_target_set_accepted(kx_target* target, unsigned int kinds);
/* Clipboard format names taken as KX_TEXT_CUSTOM, in order of preference ("1".."16" for the standard
 * formats); replaces the names set before. count 0 clears them. */
KX_CAPI kx_status KX_CALL kx_text_target_set_custom_formats(kx_target* target, const wchar_t* const* names, size_t count);
KX_CAPI kx_status KX_CALL kx_text_target_on_drop(kx_target* target, kx_text_drop_fn callback, void* context);
/* The last drop, after the callback too (fields of kx_text_drop without its strings; text NULL).
 * KX_E_STATE before the first drop; so for the picture and file targets' get_drop. */
KX_CAPI kx_status KX_CALL kx_text_target_get_drop(kx_target* target, kx_text_drop* drop);
/* One string of the last drop. */
typedef enum kx_text_field {
  KX_TEXT_FIELD_TEXT = 0,
  KX_TEXT_FIELD_URL_TITLE = 1,
  KX_TEXT_FIELD_HTML_FRAGMENT = 2,
  KX_TEXT_FIELD_HTML_SOURCE_URL = 3
} kx_text_field;
KX_CAPI kx_status KX_CALL kx_text_target_get_string(kx_target* target, kx_text_field field, wchar_t* buffer,
                                                    size_t capacity, size_t* length);

/* -- picture target -- */

typedef struct kx_picture_drop {
  uint32_t struct_size;
  unsigned int kind;  /* KX_PICTURE_BITMAP or KX_PICTURE_METAFILE */
  int width, height;  /* pixels (a metafile: its size in pixels) */
  int x, y;           /* drop point, client coordinates of the bound window */
} kx_picture_drop;
#define KX_PICTURE_DROP_INIT { sizeof(kx_picture_drop), 0, 0, 0, 0, 0 }

/* Raised from the message loop after the drop has returned to the source. */
typedef kx_status (KX_CALL* kx_picture_drop_fn)(void* context, kx_target* target, const kx_picture_drop* drop);

/* The kinds taken (both by default). */
KX_CAPI kx_status KX_CALL kx_picture_target_set_accepted(kx_target* target, unsigned int kinds);
/* The kind fetched first when a drag offers both (KX_PICTURE_METAFILE by default). */
KX_CAPI kx_status KX_CALL kx_picture_target_set_preferred(kx_target* target, unsigned int kind);
KX_CAPI kx_status KX_CALL kx_picture_target_on_drop(kx_target* target, kx_picture_drop_fn callback, void* context);
/* The last dropped picture (KX_E_STATE before the first). x, y are those of that drop. */
KX_CAPI kx_status KX_CALL kx_picture_target_get_drop(kx_target* target, kx_picture_drop* drop);
/* A copy of the last dropped picture that the caller owns (DeleteObject / DeleteEnhMetaFile). A
 * metafile drop asked as a bitmap is drawn into one; a bitmap has no metafile (KX_E_STATE). */
KX_CAPI kx_status KX_CALL kx_picture_target_copy_bitmap(kx_target* target, HBITMAP* bitmap);
KX_CAPI kx_status KX_CALL kx_picture_target_copy_metafile(kx_target* target, HENHMETAFILE* metafile);

/* -- file target -- */

typedef struct kx_file_drop {
  uint32_t struct_size;
  size_t count;      /* items dropped */
  int asynchronous;  /* the source finishes the drop when it is ended (kx_file_target_end_drop) */
  int x, y;          /* drop point, client coordinates of the bound window */
} kx_file_drop;
#define KX_FILE_DROP_INIT { sizeof(kx_file_drop), 0, 0, 0, 0 }

/* Item flags. */
#define KX_ITEM_VIRTUAL 0x01u  /* contents come from the source, not from a path */
#define KX_ITEM_FOLDER 0x02u
#define KX_ITEM_HAS_SIZE 0x04u /* size is known (never trusted for reading) */

typedef struct kx_file_item {
  uint32_t struct_size;
  unsigned int flags;       /* KX_ITEM_* */
  uint64_t size;
  DWORD attributes;         /* FILE_ATTRIBUTE_*, 0 when unknown */
  FILETIME creation_time, last_access_time, last_write_time; /* zero when unknown */
} kx_file_item;
#define KX_FILE_ITEM_INIT { sizeof(kx_file_item), 0, 0, 0, {0, 0}, {0, 0}, {0, 0} }

/* Raised when a drop was taken (asynchronous drops: from the message loop after the source's drag
 * loop has ended). The drop stays open for reading until kx_file_target_end_drop, the next drop or
 * kx_target_destroy. A failure ends the drop as failed. */
typedef kx_status (KX_CALL* kx_file_drop_fn)(void* context, kx_target* target, const kx_file_drop* drop);
/* Raised while an item's contents are read: bytes so far and the total (0 when unknown). Setting
 * *cancel to non-zero stops that item (KX_E_CANCELLED); so does a failure (KX_E_CALLBACK). */
typedef kx_status (KX_CALL* kx_file_progress_fn)(void* context, kx_target* target, size_t index, uint64_t done,
                                                 uint64_t total, int* cancel);
/* Receives an item's contents in order, a piece at a time. A failure stops the reading. */
typedef kx_status (KX_CALL* kx_write_fn)(void* context, const void* data, size_t size);

/* The kinds taken (KX_FILES_* mask; both by default). */
KX_CAPI kx_status KX_CALL kx_file_target_set_accepted(kx_target* target, unsigned int kinds);
/* The most bytes read for one item (4 GiB by default); a larger item fails to save. */
KX_CAPI kx_status KX_CALL kx_file_target_set_max_size(kx_target* target, uint64_t max_size);
KX_CAPI kx_status KX_CALL kx_file_target_on_drop(kx_target* target, kx_file_drop_fn callback, void* context);
KX_CAPI kx_status KX_CALL kx_file_target_on_progress(kx_target* target, kx_file_progress_fn callback, void* context);
/* The last drop: count, asynchronous, point; *open (may be NULL) tells whether it can still be read. */
KX_CAPI kx_status KX_CALL kx_file_target_get_drop(kx_target* target, kx_file_drop* drop, int* open);
KX_CAPI kx_status KX_CALL kx_file_target_get_item(kx_target* target, size_t index, kx_file_item* item);
/* A real file's full path; a virtual item's name as the source gave it (folders included; untrusted:
 * saving to a folder makes it safe). */
KX_CAPI kx_status KX_CALL kx_file_target_get_item_name(kx_target* target, size_t index, wchar_t* buffer,
                                                       size_t capacity, size_t* length);
/* Saves every item under folder (created when missing): virtual items under safe, unique names
 * that never leave the folder and never replace a file, real files and folders copied. *saved (may
 * be NULL) receives how many files were written. KX_OK also when some items failed: see
 * kx_file_target_get_item_result. */
KX_CAPI kx_status KX_CALL kx_file_target_save_to_folder(kx_target* target, const wchar_t* folder, size_t* saved);
/* Where the last kx_file_target_save_to_folder put an item ("" when it did not save it). */
KX_CAPI kx_status KX_CALL kx_file_target_get_saved_path(kx_target* target, size_t index, wchar_t* buffer,
                                                        size_t capacity, size_t* length);
/* What the last kx_file_target_save_to_folder did with one item. KX_SAVED (0, like KX_OK) means
 * written whole; every other value says why not. */
typedef int kx_save_result;
enum {
  KX_SAVED = 0,
  KX_SAVE_NOT_TRIED = 1,      /* no save since the drop */
  KX_SAVE_SKIPPED = 2,        /* nothing to write: the same item or folder again */
  KX_SAVE_REFUSED = 3,        /* unsafe: a device, a pipe, a folder holding or inside the target */
  KX_SAVE_TOO_LARGE = 4,      /* larger than the size limit */
  KX_SAVE_CANCELLED = 5,      /* a progress callback cancelled it */
  KX_SAVE_SOURCE_FAILED = 6,  /* the source or the dropped file could not be read */
  KX_SAVE_WRITE_FAILED = 7    /* the folder could not take it */
};
/* The last kx_file_target_save_to_folder's result for one item in *result (a kx_save_result);
 * buffer (may be NULL with capacity 0) a short English reason for it ("" when saved). */
KX_CAPI kx_status KX_CALL kx_file_target_get_item_result(kx_target* target, size_t index, kx_save_result* result,
                                                         wchar_t* buffer, size_t capacity, size_t* length);
/* Reads one item's contents through a callback, or appends them to a COM stream at its position.
 * KX_E_STATE for a folder or a closed drop, KX_E_FAILED when the source or the file fails or the
 * item is larger than the limit. */
KX_CAPI kx_status KX_CALL kx_file_target_save_item(kx_target* target, size_t index, kx_write_fn write, void* context);
KX_CAPI kx_status KX_CALL kx_file_target_save_item_to_stream(kx_target* target, size_t index, IStream* stream);
/* Done with the drop: the source's data object is released and an asynchronous drop is told its
 * effect (none when succeeded is 0). */
KX_CAPI kx_status KX_CALL kx_file_target_end_drop(kx_target* target, int succeeded);

/* ---- drag sources ---------------------------------------------------------------------------------- */

/* A drag source: one kind, chosen when made. */
typedef struct kx_source kx_source;
typedef enum kx_source_kind { KX_SOURCE_TEXT = 1, KX_SOURCE_PICTURE = 2, KX_SOURCE_FILE = 3 } kx_source_kind;

/* Raised when a drag ends in a drop (not after a cancel): dropped is non-zero when the target took
 * it (reported an effect). A file source whose target finishes asynchronously raises it when the
 * target ends the drop, possibly after execute. */
typedef kx_status (KX_CALL* kx_after_drop_fn)(void* context, kx_source* source, int dropped);

KX_CAPI kx_status KX_CALL kx_source_create(kx_source_kind kind, kx_source** source);
KX_CAPI kx_status KX_CALL kx_source_destroy(kx_source* source);
/* The effects a drag allows (KX_EFFECT_* mask; copy by default). */
KX_CAPI kx_status KX_CALL kx_source_set_effects(kx_source* source, kx_effect effects);
/* The drag image the shell shows under the cursor where it can: show 0 turns it off; image NULL uses
 * the source's own rendering, otherwise the library keeps a copy of image. */
KX_CAPI kx_status KX_CALL kx_source_set_drag_image(kx_source* source, int show, HBITMAP image);
KX_CAPI kx_status KX_CALL kx_source_on_after_drop(kx_source* source, kx_after_drop_fn callback, void* context);
/* Runs a modal OLE drag with the mouse's left button held, and returns when it ends. *effect (may be
 * NULL) receives the effect performed (KX_EFFECT_NONE for a cancel). KX_E_STATE when there is
 * nothing to drag or a drag is running; KX_E_CALLBACK when a callback failed (the drag is
 * cancelled). */
KX_CAPI kx_status KX_CALL kx_source_execute(kx_source* source, kx_effect* effect);
/* Cancels the running drag at OLE's next poll (from a callback or a timer during execute). */
KX_CAPI kx_status KX_CALL kx_source_cancel(kx_source* source);

/* -- copy to the clipboard -- */

/* What happens to a source's contents on the clipboard when it is destroyed (and so when the
 * application ends): FLUSH (the default) renders them into the system's clipboard, where text,
 * pictures and file names stay, virtual files never; CLEAR takes them off. */
#define KX_CLIPBOARD_FLUSH 0
#define KX_CLIPBOARD_CLEAR 1

/* Raised when a program that pasted the source's cut contents says it moved them ("Paste
 * Succeeded"): remove what was cut. effect is the one the program reported. A program in another
 * process reaches it on Windows, not under Wine. */
typedef kx_status (KX_CALL* kx_paste_succeeded_fn)(void* context, kx_source* source, kx_effect effect);

/* Puts the source's drag data on the clipboard, made when a program asks for it (a virtual file's
 * contents callback runs at each paste), marked as a move when cut is non-zero. KX_E_STATE when
 * there is nothing to copy or the clipboard cannot be set. */
KX_CAPI kx_status KX_CALL kx_source_copy_to_clipboard(kx_source* source, int cut);
/* Whether the source's contents are still what the clipboard holds. */
KX_CAPI kx_status KX_CALL kx_source_is_on_clipboard(kx_source* source, int* on);
/* KX_CLIPBOARD_FLUSH or KX_CLIPBOARD_CLEAR. */
KX_CAPI kx_status KX_CALL kx_source_set_clipboard_retention(kx_source* source, int retention);
/* The largest block a flush renders (64 MiB by default); a larger format is left out. */
KX_CAPI kx_status KX_CALL kx_source_set_clipboard_flush_limit(kx_source* source, uint64_t max_size);
KX_CAPI kx_status KX_CALL kx_source_on_paste_succeeded(kx_source* source, kx_paste_succeeded_fn callback, void* context);

/* -- text source -- */

KX_CAPI kx_status KX_CALL kx_text_source_set_text(kx_source* source, const wchar_t* text);
/* HTML offered beside the text ("HTML Format" and "text/html"); NULL or "" for none. */
KX_CAPI kx_status KX_CALL kx_text_source_set_html(kx_source* source, const wchar_t* html);
/* A format of the application's, offered as its bytes in global memory, in the order added; any
 * custom format replaces the text and HTML. */
KX_CAPI kx_status KX_CALL kx_text_source_add_custom_format(kx_source* source, const wchar_t* name, const void* data,
                                                           size_t size);
KX_CAPI kx_status KX_CALL kx_text_source_clear_custom_formats(kx_source* source);

/* -- picture source -- */

/* The picture dragged, copied now (the caller keeps its handle): a bitmap, an enhanced metafile, or
 * an image file's bytes (BMP, GIF, PNG, JPEG, ... decoded to a bitmap, a PNG's alpha kept; KX_E_FORMAT
 * when they do not decode). A 32-bit bitmap keeps its fourth bytes as alpha; with alpha the drag
 * also offers "PNG" and CF_DIBV5. */
KX_CAPI kx_status KX_CALL kx_picture_source_set_bitmap(kx_source* source, HBITMAP bitmap);
KX_CAPI kx_status KX_CALL kx_picture_source_set_metafile(kx_source* source, HENHMETAFILE metafile);
KX_CAPI kx_status KX_CALL kx_picture_source_set_image_data(kx_source* source, const void* data, size_t size);

/* -- file source -- */

/* The sink a virtual file's contents go to, valid during the contents callback only. */
typedef struct kx_stream kx_stream;
KX_CAPI kx_status KX_CALL kx_stream_write(kx_stream* stream, const void* data, size_t size);

/* Writes virtual file index's contents. Called only when a target asks for that item, possibly
 * after execute has returned (a drop finished asynchronously), from the message loop or inside
 * execute. A failure fails that request: the target never gets partial contents as complete. */
typedef kx_status (KX_CALL* kx_file_contents_fn)(void* context, kx_source* source, size_t index, kx_stream* stream);

#define KX_SIZE_UNKNOWN UINT64_MAX

/* A virtual file: name may hold folders ("Reports\\May.csv"); size KX_SIZE_UNKNOWN when not known.
 * *index (may be NULL) receives the index the contents callback is called with. */
KX_CAPI kx_status KX_CALL kx_file_source_add_virtual_file(kx_source* source, const wchar_t* name, uint64_t size,
                                                          size_t* index);
/* A real file or folder by its full path. */
KX_CAPI kx_status KX_CALL kx_file_source_add_file(kx_source* source, const wchar_t* path);
KX_CAPI kx_status KX_CALL kx_file_source_clear(kx_source* source);
KX_CAPI kx_status KX_CALL kx_file_source_on_contents(kx_source* source, kx_file_contents_fn callback, void* context);
/* Whether targets may finish the drop after execute has returned (on by default). */
KX_CAPI kx_status KX_CALL kx_file_source_set_asynchronous(kx_source* source, int asynchronous);

/* ---- toolkit ------------------------------------------------------------------------------------- */

/* A clipboard format's id for its name ("1".."16" for the standard ones; other names are
 * registered). Any thread. */
KX_CAPI kx_status KX_CALL kx_format_from_name(const wchar_t* name, UINT* format);
/* "CF_TEXT".."CF_LOCALE" for 1..16, a registered format's name; KX_E_INVALID_ARG for an id without
 * a name. Any thread. */
KX_CAPI kx_status KX_CALL kx_format_name(UINT format, wchar_t* buffer, size_t capacity, size_t* length);
/* "TYMED_HGLOBAL+TYMED_ISTREAM" style. Any thread. */
KX_CAPI kx_status KX_CALL kx_medium_name(DWORD tymed, wchar_t* buffer, size_t capacity, size_t* length);
/* What any data object offers, one line per entry (CR LF between lines), allocated by the library:
 * free *list with kx_free. Formats: ids 1..16 as their number, others by name. Entries:
 * "name",id,medium,aspect,lindex. */
KX_CAPI kx_status KX_CALL kx_data_object_list_formats(IDataObject* data_object, wchar_t** list);
KX_CAPI kx_status KX_CALL kx_data_object_list_entries(IDataObject* data_object, wchar_t** list);
/* Whether the object offers the named format in global memory. */
KX_CAPI kx_status KX_CALL kx_data_object_has_format(IDataObject* data_object, const wchar_t* name, int* has);
/* The named format's bytes from global memory (bytes out as described above; KX_E_FAILED when the
 * object does not give them). */
KX_CAPI kx_status KX_CALL kx_data_object_get_format(IDataObject* data_object, const wchar_t* name, void* buffer,
                                                    size_t capacity, size_t* size);

/* ---- GIF reader ---------------------------------------------------------------------------------- */

/* A decoded GIF, independent of the bytes it was decoded from. The GIF functions may be called on
 * any thread after kx_startup; one handle by one thread at a time. */
typedef struct kx_gif kx_gif;

typedef struct kx_gif_info {
  uint32_t struct_size;
  int width, height;           /* the logical screen */
  size_t frame_count;
  int background_index;
  size_t palette_count;        /* entries of the global colour table (0 without one) */
  const uint8_t* palette;      /* palette_count RGB triples, owned by the handle */
} kx_gif_info;
#define KX_GIF_INFO_INIT { sizeof(kx_gif_info), 0, 0, 0, 0, 0, NULL }

/* Disposal methods of a frame. */
#define KX_GIF_DISPOSE_UNSPECIFIED 0
#define KX_GIF_DISPOSE_KEEP 1
#define KX_GIF_DISPOSE_BACKGROUND 2
#define KX_GIF_DISPOSE_PREVIOUS 3

typedef struct kx_gif_frame {
  uint32_t struct_size;
  int left, top, width, height;  /* on the logical screen */
  int delay;                     /* hundredths of a second (0 when none is given) */
  int disposal;                  /* KX_GIF_DISPOSE_* */
  int transparent;               /* non-zero when transparent_index is transparent */
  int transparent_index;
  int interlaced;
  const uint8_t* indices;        /* width x height colour indices, top row first, owned by the handle */
  size_t palette_count;          /* entries of the colour table in force (local, else global) */
  const uint8_t* palette;        /* palette_count RGB triples, owned by the handle */
} kx_gif_frame;
#define KX_GIF_FRAME_INIT { sizeof(kx_gif_frame), 0, 0, 0, 0, 0, 0, 0, 0, 0, NULL, 0, NULL }

/* Decodes a whole GIF (GIF87a/GIF89a) from memory. KX_E_FORMAT with a message when it does not
 * decode; frames are bounded (16384 x 16384 pixels each). */
KX_CAPI kx_status KX_CALL kx_gif_decode(const void* data, size_t size, kx_gif** gif);
KX_CAPI kx_status KX_CALL kx_gif_destroy(kx_gif* gif);
KX_CAPI kx_status KX_CALL kx_gif_get_info(kx_gif* gif, kx_gif_info* info);
KX_CAPI kx_status KX_CALL kx_gif_get_frame(kx_gif* gif, size_t index, kx_gif_frame* frame);

#ifdef __cplusplus
}
#endif

#endif /* KESTRIX_H */
