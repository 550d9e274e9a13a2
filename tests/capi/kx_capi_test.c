/*
 * The C interface from a C99 program, as an application built by any compiler sees it: every function
 * of kestrix.h, real drags driven by synthesized input (SendInput) in this process and into a peer
 * (this same program started with --peer), callbacks that fail, and misuse (null, destroyed and
 * wrong-kind handles, small buffers, wrong thread, calls before kx_startup).
 *
 * Built twice: by MinGW gcc against KestrixVcl.dll.a, and for the MSVC ABI (clang, Wine's headers,
 * lld-link against KestrixVcl.lib). Prints one line per failed check and a summary; exits 0 only when
 * every check passed.
 */
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <kestrix/kestrix.h>

static int checks, failures;

#define CHECK(cond)                                                            \
  do {                                                                         \
    ++checks;                                                                  \
    if (!(cond)) {                                                             \
      ++failures;                                                              \
      printf("FAILED %s:%d: %s\n", __FILE__, __LINE__, #cond);                 \
      fflush(stdout);                                                          \
    }                                                                          \
  } while (0)
#define CHECK_STATUS(call, expected) CHECK((call) == (expected))
#define CHECK_OK(call) CHECK_STATUS(call, KX_OK)

/* How a test with a source and a target ends. */
static void destroy_both(kx_source* source, kx_target* target) {
  CHECK_OK(kx_source_destroy(source));
  CHECK_OK(kx_target_destroy(target));
}

/* ---- input and windows ------------------------------------------------------------------------- */

static void pump(DWORD ms) {
  DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

/* Pumps until *flag is non-zero or ms pass; the flag's value. */
static int pump_until(volatile LONG* flag, DWORD ms) {
  DWORD start = GetTickCount();
  while (!*flag && GetTickCount() - start < ms) pump(10);
  return *flag != 0;
}

static LONG normalise(LONG pixel, int size) { return (LONG)(((LONGLONG)pixel * 65536 + size - 1) / size); }

static void mouse_move(POINT screen) {
  INPUT in;
  memset(&in, 0, sizeof in);
  in.type = INPUT_MOUSE;
  in.mi.dx = normalise(screen.x, GetSystemMetrics(SM_CXSCREEN));
  in.mi.dy = normalise(screen.y, GetSystemMetrics(SM_CYSCREEN));
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof in);
}

static void mouse_button(int down) {
  INPUT in;
  memset(&in, 0, sizeof in);
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &in, sizeof in);
}

static POINT centre_of(HWND wnd) {
  RECT r;
  POINT p;
  GetClientRect(wnd, &r);
  p.x = (r.right - r.left) / 2;
  p.y = (r.bottom - r.top) / 2;
  ClientToScreen(wnd, &p);
  return p;
}

typedef struct drive {
  POINT to;            /* screen point of the drop */
  DWORD hold_ms;       /* time over the target before the release */
  volatile LONG done;
} drive;

/* The second thread of a drag: moves onto the target in steps, waits, releases the button. */
static DWORD WINAPI drive_thread(void* param) {
  drive* d = (drive*)param;
  POINT from;
  int i;
  Sleep(200);
  GetCursorPos(&from);
  for (i = 1; i <= 5; ++i) {
    POINT p;
    p.x = from.x + (d->to.x - from.x) * i / 5;
    p.y = from.y + (d->to.y - from.y) * i / 5;
    mouse_move(p);
    Sleep(60);
  }
  Sleep(d->hold_ms);
  mouse_button(0);
  Sleep(60);
  InterlockedExchange(&d->done, 1);
  return 0;
}

/* Presses the button over from, plays the moves onto to on a second thread and runs the source's
 * blocking execute: a real drag. */
static kx_status drag_to(kx_source* source, HWND from, POINT to, DWORD hold_ms, kx_effect* effect) {
  drive d;
  HANDLE thread;
  kx_status status;
  DWORD start;
  SetForegroundWindow(from);
  mouse_move(centre_of(from));
  pump(50);
  mouse_button(1);
  start = GetTickCount();
  while ((!(GetAsyncKeyState(VK_LBUTTON) & 0x8000) || !(GetKeyState(VK_LBUTTON) & 0x8000)) &&
         GetTickCount() - start < 3000)
    pump(10);
  d.to = to;
  d.hold_ms = hold_ms;
  d.done = 0;
  thread = CreateThread(NULL, 0, drive_thread, &d, 0, NULL);
  status = kx_source_execute(source, effect);
  pump_until(&d.done, 15000);
  WaitForSingleObject(thread, 5000);
  CloseHandle(thread);
  if (GetAsyncKeyState(VK_LBUTTON) & 0x8000) mouse_button(0);
  pump(50);
  return status;
}

static kx_status drag(kx_source* source, HWND from, HWND to, kx_effect* effect) {
  return drag_to(source, from, centre_of(to), 300, effect);
}

static const wchar_t window_class[] = L"KxCapiTestWindow";

static HWND make_window(const wchar_t* title, int x, int y) {
  static int registered;
  if (!registered) {
    WNDCLASSW wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = window_class;
    RegisterClassW(&wc);
    registered = 1;
  }
  return CreateWindowExW(0, window_class, title, WS_POPUP | WS_BORDER | WS_VISIBLE, x, y, 160, 120, NULL, NULL,
                         GetModuleHandleW(NULL), NULL);
}

/* ---- small helpers ------------------------------------------------------------------------------- */

static int contains(const wchar_t* text, const wchar_t* part) { return text && wcsstr(text, part) != NULL; }

typedef struct buffer {
  char data[256];
  size_t size;
  int fail_at_write; /* the write callback fails on this call (1-based), 0 never */
  int writes;
} buffer;

static kx_status KX_CALL collect(void* context, const void* data, size_t size) {
  buffer* b = (buffer*)context;
  ++b->writes;
  if (b->fail_at_write && b->writes == b->fail_at_write) return KX_E_FAILED;
  if (b->size + size > sizeof b->data) return KX_E_OUT_OF_MEMORY;
  memcpy(b->data + b->size, data, size);
  b->size += size;
  return KX_OK;
}

static int buffer_is(const buffer* b, const char* text) {
  return b->size == strlen(text) && memcmp(b->data, text, b->size) == 0;
}

/* A 2 x 2 GIF89a: a red/blue global table; frame 0 at (0,0), 1 x 1, index 0, 10/100 s, kept; frame 1
 * at (1,1), 1 x 1 with a green/white local table, index 1 transparent, 20/100 s, background. */
static const unsigned char gif_bytes[] = {
    'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF,
    0x21, 0xF9, 4, 0x04, 10, 0, 0, 0,
    0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0,
    0x21, 0xF9, 4, 0x09, 20, 0, 1, 0,
    0x2C, 1, 0, 1, 0, 1, 0, 1, 0, 0x80, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 2, 2, 0x4C, 0x01, 0,
    0x3B};

/* ---- library, misuse, toolkit, GIF ------------------------------------------------------------- */

static DWORD WINAPI off_thread(void* param) {
  kx_source* source = (kx_source*)param;
  kx_status code = KX_OK;
  size_t length = 0;
  /* Off the library's thread: refused, and recorded in this thread's slot only. */
  if (kx_text_source_set_text(source, L"x") != KX_E_WRONG_THREAD) return 1;
  if (kx_last_error(&code, NULL, 0, &length) != KX_OK || code != KX_E_WRONG_THREAD || length == 0) return 2;
  if (kx_startup() != KX_E_WRONG_THREAD) return 3;
  /* The functions marked "any thread" work here. */
  {
    kx_gif* gif = NULL;
    UINT id = 0;
    if (kx_gif_decode(gif_bytes, sizeof gif_bytes, &gif) != KX_OK || kx_gif_destroy(gif) != KX_OK) return 4;
    if (kx_format_from_name(L"13", &id) != KX_OK || id != CF_UNICODETEXT) return 5;
  }
  return 0;
}

static void test_before_startup(void) {
  kx_target* target = (kx_target*)1;
  kx_status code;
  int major, minor, patch;
  CHECK_STATUS(kx_target_create(KX_TARGET_TEXT, &target), KX_E_NOT_STARTED);
  CHECK_OK(kx_last_error(&code, NULL, 0, NULL));
  CHECK(code == KX_E_NOT_STARTED);
  CHECK_STATUS(kx_shutdown(), KX_E_NOT_STARTED);
  CHECK_OK(kx_get_version(&major, &minor, &patch));
  CHECK(major == KX_VERSION_MAJOR && minor == KX_VERSION_MINOR && patch == KX_VERSION_PATCH);
  CHECK_STATUS(kx_get_version(NULL, &minor, &patch), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_gif_decode(gif_bytes, sizeof gif_bytes, (kx_gif**)&target), KX_E_NOT_STARTED);
}

static void test_misuse(void) {
  kx_target* text;
  kx_target* gone;
  kx_source* source;
  kx_text_drop unread = KX_TEXT_DROP_INIT;
  wchar_t buf[64];
  size_t length = 99;
  kx_status code = KX_OK;
  HANDLE thread;
  DWORD exit_code = 99;

  CHECK_OK(kx_target_create(KX_TARGET_TEXT, &text));
  CHECK_OK(kx_source_create(KX_SOURCE_TEXT, &source));
  /* Null, wrong-kind and destroyed handles; bad kinds and values. */
  CHECK_STATUS(kx_target_bind(NULL, NULL), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_picture_target_set_preferred(text, KX_PICTURE_BITMAP), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_file_source_add_file(source, L"C:\\x"), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_source_execute((kx_source*)text, NULL), KX_E_INVALID_HANDLE);
  CHECK_OK(kx_target_create(KX_TARGET_FILE, &gone));
  CHECK_OK(kx_target_destroy(gone));
  CHECK_STATUS(kx_file_target_end_drop(gone, 1), KX_E_INVALID_HANDLE);
  CHECK_OK(kx_target_destroy(NULL));
  CHECK_OK(kx_source_destroy(NULL));
  CHECK_OK(kx_gif_destroy(NULL));
  CHECK_STATUS(kx_target_create((kx_target_kind)9, &gone), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_target_create(KX_TARGET_TEXT, NULL), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_text_target_set_accepted(text, 0x40), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_target_set_effect_override(text, 3, KX_EFFECT_COPY), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_source_set_effects(source, 8), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_target_bind(text, (HWND)(INT_PTR)0x7654), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_text_target_get_drop(text, &unread), KX_E_STATE); /* nothing dropped yet */
  CHECK_STATUS(kx_text_target_get_string(text, (kx_text_field)7, buf, 64, &length), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_stream_write((kx_stream*)source, "x", 1), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_source_execute(source, NULL), KX_E_STATE); /* no text */

  /* Buffers: a size query, too small (needed size given, empty string written), exact. */
  CHECK_OK(kx_format_name(CF_UNICODETEXT, NULL, 0, &length));
  CHECK(length == wcslen(L"CF_UNICODETEXT"));
  buf[0] = L'x';
  CHECK_STATUS(kx_format_name(CF_UNICODETEXT, buf, length, &length), KX_E_BUFFER_TOO_SMALL);
  CHECK(buf[0] == 0 && length == 14);
  CHECK_OK(kx_format_name(CF_UNICODETEXT, buf, length + 1, &length));
  CHECK(wcscmp(buf, L"CF_UNICODETEXT") == 0);
  CHECK_STATUS(kx_format_name(CF_TEXT, buf, 64, NULL), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_format_name(CF_TEXT, NULL, 5, &length), KX_E_INVALID_ARG);
  /* The message of the last failure, into a small buffer and whole; reading it changes nothing. */
  CHECK_STATUS(kx_format_name(0, buf, 64, &length), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_last_error(&code, buf, 2, &length), KX_E_BUFFER_TOO_SMALL);
  CHECK(code == KX_E_INVALID_ARG && length > 2 && buf[0] == 0);
  CHECK_OK(kx_last_error(&code, buf, 64, &length));
  CHECK(code == KX_E_INVALID_ARG && wcslen(buf) == length);

  /* Another thread is refused, and its failure stays in its own slot. */
  thread = CreateThread(NULL, 0, off_thread, source, 0, NULL);
  WaitForSingleObject(thread, 10000);
  GetExitCodeThread(thread, &exit_code);
  CloseHandle(thread);
  CHECK(exit_code == 0);
  CHECK_OK(kx_last_error(&code, NULL, 0, NULL));
  CHECK(code == KX_E_INVALID_ARG);

  destroy_both(source, text);
}

static void test_toolkit_names(void) {
  UINT id = 0, again = 0;
  wchar_t name[64];
  size_t length;
  CHECK_OK(kx_format_from_name(L"13", &id));
  CHECK(id == CF_UNICODETEXT);
  CHECK_OK(kx_format_from_name(L"KxCapiFormat", &id));
  CHECK_OK(kx_format_from_name(L"KxCapiFormat", &again));
  CHECK(id >= 0xC000 && id == again);
  CHECK_OK(kx_format_name(id, name, 64, &length));
  CHECK(wcscmp(name, L"KxCapiFormat") == 0);
  CHECK_STATUS(kx_format_from_name(L"", &id), KX_E_INVALID_ARG);
  CHECK_OK(kx_medium_name(TYMED_HGLOBAL | TYMED_ISTREAM, name, 64, &length));
  CHECK(wcscmp(name, L"TYMED_HGLOBAL+TYMED_ISTREAM") == 0);
  CHECK_STATUS(kx_data_object_list_formats(NULL, NULL), KX_E_INVALID_ARG);
}

static void test_gif(void) {
  kx_gif* gif = NULL;
  kx_gif_info info = KX_GIF_INFO_INIT;
  kx_gif_frame frame = KX_GIF_FRAME_INIT;
  static const char not_a_gif[] = "GIF89a\x02";
  kx_status code;
  size_t length = 0;

  CHECK_OK(kx_gif_decode(gif_bytes, sizeof gif_bytes, &gif));
  CHECK_OK(kx_gif_get_info(gif, &info));
  CHECK(info.width == 2 && info.height == 2 && info.frame_count == 2 && info.palette_count == 2);
  CHECK(info.palette && info.palette[0] == 0xFF && info.palette[1] == 0 && info.palette[5] == 0xFF);
  CHECK_OK(kx_gif_get_frame(gif, 0, &frame));
  CHECK(frame.left == 0 && frame.top == 0 && frame.width == 1 && frame.height == 1);
  CHECK(frame.delay == 10 && frame.disposal == KX_GIF_DISPOSE_KEEP && !frame.transparent && !frame.interlaced);
  CHECK(frame.indices && frame.indices[0] == 0 && frame.palette_count == 2 && frame.palette[0] == 0xFF);
  CHECK_OK(kx_gif_get_frame(gif, 1, &frame));
  CHECK(frame.left == 1 && frame.top == 1 && frame.delay == 20 && frame.disposal == KX_GIF_DISPOSE_BACKGROUND);
  CHECK(frame.transparent && frame.transparent_index == 1 && frame.indices && frame.indices[0] == 1);
  CHECK(frame.palette_count == 2 && frame.palette[0] == 0 && frame.palette[1] == 0xFF && frame.palette[3] == 0xFF);
  CHECK_STATUS(kx_gif_get_frame(gif, 2, &frame), KX_E_INDEX);
  frame.struct_size = 4;
  CHECK_STATUS(kx_gif_get_frame(gif, 0, &frame), KX_E_INVALID_ARG);
  CHECK_OK(kx_gif_destroy(gif));
  CHECK_STATUS(kx_gif_get_info(gif, &info), KX_E_INVALID_HANDLE);

  gif = (kx_gif*)1;
  CHECK_STATUS(kx_gif_decode(not_a_gif, sizeof not_a_gif - 1, &gif), KX_E_FORMAT);
  CHECK(gif == NULL);
  CHECK_OK(kx_last_error(&code, NULL, 0, &length));
  CHECK(code == KX_E_FORMAT && length > 0);
  CHECK_STATUS(kx_gif_decode("hello", 5, &gif), KX_E_FORMAT);
}

/* ---- text drags ------------------------------------------------------------------------------------ */

typedef struct text_seen {
  volatile LONG drops;
  unsigned int kind;
  wchar_t text[512];
  wchar_t fragment[128];
  int custom_index;
  kx_effect effect;
  int x, y;
  kx_status answer;          /* what the callback returns */
  kx_status destroy_status;  /* kx_target_destroy of its own target inside the callback */
  const wchar_t* probe;      /* a format the drag offers in global memory */
  int lists_probe, entries_ok, has_probe;
  size_t probe_size;
  kx_status small_buffer;
  char probe_bytes[64];
} text_seen;

/* Looks into the data object of the drag being dropped with the toolkit's functions. */
static void probe_data_object(kx_target* target, text_seen* seen) {
  IDataObject* data = NULL;
  wchar_t* formats = NULL;
  wchar_t* entries = NULL;
  char tiny[2];
  if (kx_target_get_data_object(target, &data) != KX_OK || !data) return;
  if (kx_data_object_list_formats(data, &formats) == KX_OK) seen->lists_probe = contains(formats, seen->probe);
  if (kx_data_object_list_entries(data, &entries) == KX_OK) seen->entries_ok = contains(entries, L"\"") && contains(entries, L",");
  kx_free(formats);
  kx_free(entries);
  kx_data_object_has_format(data, seen->probe, &seen->has_probe);
  seen->small_buffer = kx_data_object_get_format(data, seen->probe, tiny, sizeof tiny, &seen->probe_size);
  if (seen->probe_size <= sizeof seen->probe_bytes)
    kx_data_object_get_format(data, seen->probe, seen->probe_bytes, sizeof seen->probe_bytes, &seen->probe_size);
  data->lpVtbl->Release(data);
}

static kx_status KX_CALL on_text_drop(void* context, kx_target* target, const kx_text_drop* drop) {
  text_seen* seen = (text_seen*)context;
  seen->kind = drop->kind;
  wcsncpy(seen->text, drop->text, 511);
  wcsncpy(seen->fragment, drop->html_fragment, 127);
  seen->custom_index = drop->custom_index;
  seen->effect = drop->effect;
  seen->x = drop->x;
  seen->y = drop->y;
  CHECK(drop->struct_size == sizeof(kx_text_drop) && drop->url_title && drop->html_source_url);
  CHECK(drop->kind == KX_TEXT_CUSTOM ? drop->text_length >= wcslen(drop->text) : drop->text_length == wcslen(drop->text));
  seen->destroy_status = kx_target_destroy(target);
  if (seen->probe) probe_data_object(target, seen);
  InterlockedIncrement(&seen->drops);
  return seen->answer;
}

typedef struct after_seen {
  volatile LONG calls;
  int dropped;
  kx_status answer;
} after_seen;

static kx_status KX_CALL on_after_drop(void* context, kx_source* source, int dropped) {
  after_seen* seen = (after_seen*)context;
  (void)source;
  seen->dropped = dropped;
  InterlockedIncrement(&seen->calls);
  return seen->answer;
}

static kx_source* cancel_source;
static void CALLBACK cancel_timer(HWND wnd, UINT msg, UINT_PTR id, DWORD time) {
  (void)msg;
  (void)time;
  KillTimer(wnd, id);
  CHECK_OK(kx_source_cancel(cancel_source));
}

/* One row per kind of text drag: what the source offers, what the target takes, what arrives. */
typedef struct text_row {
  const char* name;
  const wchar_t* text;
  const wchar_t* html;
  const char* custom; /* bytes of "KxCapiCustom" */
  unsigned int accepted;
  unsigned int expect_kind;
  const wchar_t* expect_text; /* contained in the dropped text */
  const wchar_t* expect_fragment;
  kx_effect override_copy_to; /* the target turns copy into this (KX_EFFECT_COPY: no change) */
  kx_status answer;           /* the target's callback */
  kx_effect expect_effect;
} text_row;

static void test_text_drags(HWND from, HWND to) {
  static const wchar_t* const custom_names[] = {L"KxCapiCustom"};
  static const text_row rows[] = {
      {"plain", L"Hello from C \x263A", NULL, NULL, KX_TEXT_PLAIN, KX_TEXT_PLAIN, L"Hello from C \x263A", L"",
       KX_EFFECT_COPY, KX_OK, KX_EFFECT_COPY},
      {"html", L"bold", L"<b>bold</b>", NULL, KX_TEXT_HTML | KX_TEXT_PLAIN, KX_TEXT_HTML, L"<b>bold</b>",
       L"<b>bold</b>", KX_EFFECT_COPY, KX_OK, KX_EFFECT_COPY},
      {"custom", NULL, NULL, "custom bytes", KX_TEXT_CUSTOM | KX_TEXT_PLAIN, KX_TEXT_CUSTOM, L"custom bytes", L"",
       KX_EFFECT_COPY, KX_OK, KX_EFFECT_COPY},
      {"override", L"linked", NULL, NULL, KX_TEXT_PLAIN, KX_TEXT_PLAIN, L"linked", L"", KX_EFFECT_LINK, KX_OK,
       KX_EFFECT_LINK},
      /* A callback that fails: the drop reports no effect to the source. */
      {"failing callback", L"refused", NULL, NULL, KX_TEXT_PLAIN, KX_TEXT_PLAIN, L"refused", L"", KX_EFFECT_COPY,
       KX_E_FAILED, KX_EFFECT_NONE},
  };
  size_t i;
  for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    const text_row* row = &rows[i];
    kx_target* target;
    kx_source* source;
    text_seen seen;
    after_seen after;
    kx_effect effect = 99;
    kx_text_drop last = KX_TEXT_DROP_INIT;
    wchar_t text[512];
    size_t length = 0;
    int failures_before = failures;
    memset(&seen, 0, sizeof seen);
    memset(&after, 0, sizeof after);
    seen.answer = row->answer;
    seen.probe = row->custom ? L"KxCapiCustom" : L"13";

    CHECK_OK(kx_target_create(KX_TARGET_TEXT, &target));
    CHECK_OK(kx_target_bind(target, to));
    CHECK_OK(kx_target_bind(target, to)); /* the same window again changes nothing */
    CHECK_OK(kx_text_target_set_accepted(target, row->accepted));
    CHECK_OK(kx_text_target_set_custom_formats(target, custom_names, 1));
    CHECK_OK(kx_text_target_on_drop(target, on_text_drop, &seen));
    CHECK_OK(kx_target_set_effect_override(target, KX_EFFECT_COPY, row->override_copy_to));
    CHECK_OK(kx_source_create(KX_SOURCE_TEXT, &source));
    CHECK_OK(kx_source_set_effects(source, KX_EFFECT_COPY | KX_EFFECT_LINK));
    CHECK_OK(kx_source_set_drag_image(source, 0, NULL));
    CHECK_OK(kx_source_on_after_drop(source, on_after_drop, &after));
    if (row->text) CHECK_OK(kx_text_source_set_text(source, row->text));
    CHECK_OK(kx_text_source_set_html(source, row->html));
    if (row->custom) CHECK_OK(kx_text_source_add_custom_format(source, L"KxCapiCustom", row->custom, strlen(row->custom)));

    CHECK_OK(drag(source, from, to, &effect));
    CHECK(pump_until(&seen.drops, 3000));
    CHECK(seen.kind == row->expect_kind);
    CHECK(contains(seen.text, row->expect_text));
    CHECK(wcscmp(seen.fragment, row->expect_fragment) == 0);
    CHECK(seen.custom_index == (row->expect_kind == KX_TEXT_CUSTOM ? 0 : -1));
    CHECK(seen.x > 40 && seen.x < 120 && seen.y > 30 && seen.y < 90);
    CHECK(seen.destroy_status == KX_E_BUSY);
    CHECK(effect == row->expect_effect);
    CHECK(after.calls == 1 && after.dropped == (row->expect_effect != KX_EFFECT_NONE));
    CHECK(seen.lists_probe && seen.entries_ok && seen.has_probe && seen.small_buffer == KX_E_BUFFER_TOO_SMALL);
    if (row->custom)
      CHECK(seen.probe_size >= strlen(row->custom) && memcmp(seen.probe_bytes, row->custom, strlen(row->custom)) == 0);
    else
      CHECK(seen.probe_size >= 2 * wcslen(row->text) && memcmp(seen.probe_bytes, row->text, 2) == 0);

    /* The same drop read afterwards. */
    CHECK_OK(kx_text_target_get_drop(target, &last));
    CHECK(last.kind == row->expect_kind && last.text == NULL && last.x == seen.x && last.y == seen.y);
    CHECK_OK(kx_text_target_get_string(target, KX_TEXT_FIELD_TEXT, text, 512, &length));
    CHECK(wcscmp(text, seen.text) == 0 && length == last.text_length);
    CHECK_OK(kx_text_target_get_string(target, KX_TEXT_FIELD_HTML_FRAGMENT, text, 512, &length));
    CHECK(wcscmp(text, row->expect_fragment) == 0);
    CHECK_OK(kx_text_target_get_string(target, KX_TEXT_FIELD_URL_TITLE, text, 512, &length));
    CHECK_OK(kx_text_target_get_string(target, KX_TEXT_FIELD_HTML_SOURCE_URL, text, 512, &length));

    CHECK_OK(kx_text_source_clear_custom_formats(source));
    CHECK_OK(kx_source_destroy(source));
    CHECK_OK(kx_target_bind(target, NULL));
    CHECK_OK(kx_target_destroy(target));
    if (failures != failures_before) printf("  in text drag row \"%s\"\n", row->name);
  }
}

/* A failing after-drop callback makes execute report it; a cancel ends the drag with no effect. */
static void test_source_failures(HWND from, HWND to) {
  kx_target* target;
  kx_source* source;
  text_seen seen;
  after_seen after;
  kx_effect effect = 99;
  HDC screen = GetDC(NULL);
  HBITMAP image = CreateCompatibleBitmap(screen, 16, 16);
  ReleaseDC(NULL, screen);
  memset(&seen, 0, sizeof seen);
  memset(&after, 0, sizeof after);
  after.answer = KX_E_FAILED;

  CHECK_OK(kx_target_create(KX_TARGET_TEXT, &target));
  CHECK_OK(kx_target_bind(target, to));
  CHECK_OK(kx_text_target_on_drop(target, on_text_drop, &seen));
  {
    /* One target per window. */
    kx_target* second;
    CHECK_OK(kx_target_create(KX_TARGET_FILE, &second));
    CHECK_STATUS(kx_target_bind(second, to), KX_E_FAILED);
    CHECK_OK(kx_target_destroy(second));
  }
  CHECK_OK(kx_source_create(KX_SOURCE_TEXT, &source));
  CHECK_OK(kx_source_set_drag_image(source, 1, image));
  DeleteObject(image); /* the source keeps its own copy */
  CHECK_STATUS(kx_source_set_drag_image(source, 1, (HBITMAP)(INT_PTR)0x1234), KX_E_INVALID_ARG);
  CHECK_OK(kx_text_source_set_text(source, L"after drop fails"));
  CHECK_OK(kx_source_on_after_drop(source, on_after_drop, &after));
  CHECK_STATUS(drag(source, from, to, &effect), KX_E_CALLBACK);
  CHECK(after.calls == 1 && seen.drops == 1);

  /* Cancelled from a timer while the pointer rests over the target. */
  after.answer = KX_OK;
  after.calls = 0;
  seen.drops = 0;
  cancel_source = source;
  SetTimer(NULL, 0, 600, cancel_timer);
  effect = 99;
  CHECK_OK(drag_to(source, from, centre_of(to), 1500, &effect));
  CHECK(effect == KX_EFFECT_NONE && seen.drops == 0);
  CHECK(after.calls == 0); /* raised for drops only */

  destroy_both(source, target);
}

/* ---- picture drags ------------------------------------------------------------------------------- */

typedef struct picture_seen {
  volatile LONG drops;
  kx_picture_drop drop;
} picture_seen;

static kx_status KX_CALL on_picture_drop(void* context, kx_target* target, const kx_picture_drop* drop) {
  picture_seen* seen = (picture_seen*)context;
  (void)target;
  seen->drop = *drop;
  InterlockedIncrement(&seen->drops);
  return KX_OK;
}

static void bitmap_size(HBITMAP bitmap, int* width, int* height) {
  BITMAP info;
  memset(&info, 0, sizeof info);
  GetObjectW(bitmap, sizeof info, &info);
  *width = info.bmWidth;
  *height = info.bmHeight;
}

static void test_picture_drags(HWND from, HWND to) {
  kx_target* target;
  kx_source* source;
  picture_seen seen;
  kx_picture_drop last = KX_PICTURE_DROP_INIT;
  kx_effect effect;
  HBITMAP bitmap, copy;
  HENHMETAFILE metafile, metafile_copy;
  HDC screen = GetDC(NULL), recorder;
  RECT frame = {0, 0, 2000, 1000}; /* 0.01 mm */
  int w = 0, h = 0;
  memset(&seen, 0, sizeof seen);

  CHECK_OK(kx_target_create(KX_TARGET_PICTURE, &target));
  CHECK_OK(kx_target_bind(target, to));
  CHECK_OK(kx_picture_target_on_drop(target, on_picture_drop, &seen));
  CHECK_OK(kx_picture_target_set_accepted(target, KX_PICTURE_BITMAP | KX_PICTURE_METAFILE));
  CHECK_STATUS(kx_picture_target_set_preferred(target, 3), KX_E_INVALID_ARG);
  CHECK_OK(kx_picture_target_set_preferred(target, KX_PICTURE_METAFILE));
  CHECK_STATUS(kx_picture_target_get_drop(target, &last), KX_E_STATE);
  CHECK_OK(kx_source_create(KX_SOURCE_PICTURE, &source));
  CHECK_STATUS(kx_source_execute(source, NULL), KX_E_STATE); /* no picture yet */

  /* A bitmap: the caller's handle is copied, the dropped one copied out again. */
  bitmap = CreateCompatibleBitmap(screen, 24, 12);
  CHECK_OK(kx_picture_source_set_bitmap(source, bitmap));
  DeleteObject(bitmap);
  CHECK_OK(drag(source, from, to, &effect));
  CHECK(pump_until(&seen.drops, 3000));
  CHECK(seen.drop.kind == KX_PICTURE_BITMAP && seen.drop.width == 24 && seen.drop.height == 12);
  CHECK_OK(kx_picture_target_get_drop(target, &last));
  CHECK(last.kind == KX_PICTURE_BITMAP && last.x == seen.drop.x);
  CHECK_OK(kx_picture_target_copy_bitmap(target, &copy));
  bitmap_size(copy, &w, &h);
  CHECK(w == 24 && h == 12);
  DeleteObject(copy);
  CHECK_STATUS(kx_picture_target_copy_metafile(target, &metafile_copy), KX_E_STATE);

  /* An enhanced metafile: copied out as a metafile, and drawn into a bitmap on request. */
  recorder = CreateEnhMetaFileW(screen, NULL, &frame, NULL);
  Rectangle(recorder, 0, 0, 40, 20);
  metafile = CloseEnhMetaFile(recorder);
  CHECK_OK(kx_picture_source_set_metafile(source, metafile));
  DeleteEnhMetaFile(metafile);
  seen.drops = 0;
  CHECK_OK(drag(source, from, to, &effect));
  CHECK(pump_until(&seen.drops, 3000));
  CHECK(seen.drop.kind == KX_PICTURE_METAFILE && seen.drop.width > 0);
  CHECK_OK(kx_picture_target_copy_metafile(target, &metafile_copy));
  CHECK(GetEnhMetaFileHeader(metafile_copy, 0, NULL) > 0);
  DeleteEnhMetaFile(metafile_copy);
  CHECK_OK(kx_picture_target_copy_bitmap(target, &copy));
  bitmap_size(copy, &w, &h);
  CHECK(w == seen.drop.width && h == seen.drop.height);
  DeleteObject(copy);

  /* An image file's bytes (the GIF above), decoded by the library into a bitmap. */
  CHECK_STATUS(kx_picture_source_set_image_data(source, "not an image", 12), KX_E_FORMAT);
  CHECK_OK(kx_picture_source_set_image_data(source, gif_bytes, sizeof gif_bytes));
  CHECK_OK(kx_picture_target_set_accepted(target, KX_PICTURE_BITMAP));
  seen.drops = 0;
  CHECK_OK(drag(source, from, to, &effect));
  CHECK(pump_until(&seen.drops, 3000));
  CHECK(seen.drop.kind == KX_PICTURE_BITMAP && seen.drop.width > 0 && seen.drop.height > 0);

  ReleaseDC(NULL, screen);
  destroy_both(source, target);
}

/* ---- file drags ----------------------------------------------------------------------------------- */

typedef struct contents {
  int fail_index; /* the contents callback fails for this item, -1 never */
  int calls;
  kx_stream* last_stream;
} contents;

static kx_status KX_CALL on_contents(void* context, kx_source* source, size_t index, kx_stream* stream) {
  contents* c = (contents*)context;
  (void)source;
  ++c->calls;
  c->last_stream = stream;
  if ((int)index == c->fail_index) return KX_E_FAILED;
  if (index == 0) return kx_stream_write(stream, "report from C", 13);
  return kx_stream_write(stream, "12345", 5);
}

typedef struct file_seen {
  volatile LONG drops;
  kx_file_drop drop;
  kx_status data_object_status;
  int data_object_null;
} file_seen;

static kx_status KX_CALL on_file_drop(void* context, kx_target* target, const kx_file_drop* drop) {
  file_seen* seen = (file_seen*)context;
  IDataObject* data = (IDataObject*)1;
  seen->drop = *drop;
  /* An asynchronous drop completes after the drag: no drag is over the target any more. */
  seen->data_object_status = kx_target_get_data_object(target, &data);
  seen->data_object_null = data == NULL;
  InterlockedIncrement(&seen->drops);
  return KX_OK;
}

typedef struct progress {
  int calls;
  int cancel;
  kx_status answer;
} progress;

static kx_status KX_CALL on_progress(void* context, kx_target* target, size_t index, uint64_t done, uint64_t total,
                                     int* cancel) {
  progress* p = (progress*)context;
  (void)target;
  (void)index;
  (void)done;
  (void)total;
  ++p->calls;
  if (p->cancel) *cancel = 1;
  return p->answer;
}

/* The index of the dropped item whose name ends with suffix, or (size_t)-1. */
static size_t find_item(kx_target* target, size_t count, const wchar_t* suffix) {
  size_t i, length;
  wchar_t name[MAX_PATH];
  for (i = 0; i < count; ++i) {
    if (kx_file_target_get_item_name(target, i, name, MAX_PATH, &length) != KX_OK) continue;
    if (length >= wcslen(suffix) && wcscmp(name + length - wcslen(suffix), suffix) == 0) return i;
  }
  return (size_t)-1;
}

static int file_holds(const wchar_t* path, const char* text) {
  char data[64];
  DWORD read = 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  ReadFile(file, data, sizeof data, &read, NULL);
  CloseHandle(file);
  return read == strlen(text) && memcmp(data, text, read) == 0;
}

static void write_file(const wchar_t* path, const char* text) {
  DWORD written;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
  CloseHandle(file);
}

static void test_file_drags(HWND from, HWND to, const wchar_t* folder) {
  kx_target* target;
  kx_source* source;
  file_seen seen;
  after_seen after;
  contents made;
  progress prog;
  buffer got;
  kx_effect effect = 99;
  kx_file_drop last = KX_FILE_DROP_INIT;
  kx_file_item item = KX_FILE_ITEM_INIT;
  size_t index = 99, count, report, data_bin, real, saved = 0, length;
  int open = 1;
  wchar_t real_path[MAX_PATH], out_folder[MAX_PATH], path[MAX_PATH], message[128];
  kx_save_result result;
  IStream* stream = NULL;
  HGLOBAL memory;
  memset(&seen, 0, sizeof seen);
  memset(&after, 0, sizeof after);
  memset(&prog, 0, sizeof prog);
  made.fail_index = -1;
  made.calls = 0;
  made.last_stream = NULL;

  wcscpy(real_path, folder);
  wcscat(real_path, L"\\real.txt");
  write_file(real_path, "real file");
  wcscpy(out_folder, folder);
  wcscat(out_folder, L"\\saved");

  CHECK_OK(kx_target_create(KX_TARGET_FILE, &target));
  CHECK_OK(kx_target_bind(target, to));
  CHECK_OK(kx_file_target_set_accepted(target, KX_FILES_REAL | KX_FILES_VIRTUAL));
  CHECK_OK(kx_file_target_on_drop(target, on_file_drop, &seen));
  CHECK_OK(kx_file_target_on_progress(target, on_progress, &prog));
  CHECK_STATUS(kx_file_target_get_drop(target, &last, &open), KX_E_STATE);
  CHECK_OK(kx_source_create(KX_SOURCE_FILE, &source));
  CHECK_OK(kx_file_source_add_file(source, L"C:\\nothing"));
  CHECK_OK(kx_file_source_clear(source));
  CHECK_OK(kx_file_source_add_virtual_file(source, L"report.txt", KX_SIZE_UNKNOWN, &index));
  CHECK(index == 0);
  CHECK_OK(kx_file_source_add_virtual_file(source, L"sub\\data.bin", 5, &index));
  CHECK(index == 1);
  CHECK_STATUS(kx_file_source_add_virtual_file(source, L"", 1, NULL), KX_E_INVALID_ARG);
  CHECK_OK(kx_file_source_add_file(source, real_path));
  CHECK_OK(kx_file_source_on_contents(source, on_contents, &made));
  CHECK_OK(kx_file_source_set_asynchronous(source, 1));
  CHECK_OK(kx_source_set_effects(source, KX_EFFECT_COPY));
  CHECK_OK(kx_source_on_after_drop(source, on_after_drop, &after));

  CHECK_OK(drag(source, from, to, &effect));
  CHECK(effect == KX_EFFECT_COPY);
  CHECK(pump_until(&seen.drops, 5000));
  /* real file, report, sub\data.bin: the source lists files only, their folders implied by the names */
  CHECK(seen.drop.asynchronous && seen.drop.count == 3);
  CHECK(seen.data_object_status == KX_OK && seen.data_object_null);
  CHECK_OK(kx_file_target_get_drop(target, &last, &open));
  CHECK(open == 1 && last.count == seen.drop.count && last.x == seen.drop.x);
  count = last.count;
  report = find_item(target, count, L"report.txt");
  data_bin = find_item(target, count, L"data.bin");
  real = find_item(target, count, L"real.txt");
  CHECK(report < count && data_bin < count && real < count);
  if (report >= count || data_bin >= count || real >= count) goto done;

  CHECK_OK(kx_file_target_get_item(target, data_bin, &item));
  CHECK(item.flags == (KX_ITEM_VIRTUAL | KX_ITEM_HAS_SIZE) && item.size == 5);
  CHECK_OK(kx_file_target_get_item(target, real, &item));
  CHECK(!(item.flags & KX_ITEM_VIRTUAL) && item.size == 9 && (item.last_write_time.dwLowDateTime || item.last_write_time.dwHighDateTime));
  CHECK_STATUS(kx_file_target_get_item(target, count, &item), KX_E_INDEX);

  /* One item through the write callback, one into a COM stream. */
  memset(&got, 0, sizeof got);
  CHECK_OK(kx_file_target_save_item(target, report, collect, &got));
  CHECK(buffer_is(&got, "report from C"));
  CHECK(prog.calls > 0);
  memset(&got, 0, sizeof got);
  CHECK_OK(kx_file_target_save_item(target, real, collect, &got));
  CHECK(buffer_is(&got, "real file"));
  CHECK(CreateStreamOnHGlobal(NULL, TRUE, &stream) == S_OK);
  CHECK_OK(kx_file_target_save_item_to_stream(target, data_bin, stream));
  CHECK(GetHGlobalFromStream(stream, &memory) == S_OK && GlobalSize(memory) >= 5 &&
        memcmp(GlobalLock(memory), "12345", 5) == 0);
  GlobalUnlock(memory);
  stream->lpVtbl->Release(stream);
  CHECK_STATUS(kx_file_target_save_item_to_stream(target, data_bin, NULL), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_stream_write(made.last_stream, "late", 4), KX_E_INVALID_HANDLE);

  /* Every way a read stops: write callback, progress cancel and failure, the source, the limit. */
  memset(&got, 0, sizeof got);
  got.fail_at_write = 1;
  CHECK_STATUS(kx_file_target_save_item(target, report, collect, &got), KX_E_CALLBACK);
  memset(&got, 0, sizeof got);
  prog.cancel = 1;
  CHECK_STATUS(kx_file_target_save_item(target, report, collect, &got), KX_E_CANCELLED);
  prog.cancel = 0;
  prog.answer = KX_E_FAILED;
  CHECK_STATUS(kx_file_target_save_item(target, report, collect, &got), KX_E_CALLBACK);
  prog.answer = KX_OK;
  made.fail_index = 0;
  CHECK_STATUS(kx_file_target_save_item(target, report, collect, &got), KX_E_FAILED);
  made.fail_index = -1;
  CHECK_OK(kx_file_target_set_max_size(target, 3));
  CHECK_STATUS(kx_file_target_save_item(target, data_bin, collect, &got), KX_E_FAILED);
  CHECK_OK(kx_file_target_set_max_size(target, (uint64_t)1 << 32));

  /* All of it into a folder. */
  CHECK_OK(kx_file_target_save_to_folder(target, out_folder, &saved));
  CHECK(saved == 3);
  CHECK_OK(kx_file_target_get_saved_path(target, data_bin, path, MAX_PATH, &length));
  CHECK(contains(path, L"\\saved\\sub\\data.bin") && file_holds(path, "12345"));
  CHECK_OK(kx_file_target_get_saved_path(target, report, path, MAX_PATH, &length));
  CHECK(file_holds(path, "report from C"));
  CHECK_OK(kx_file_target_get_item_result(target, report, &result, message, 128, &length));
  CHECK(result == KX_SAVED && length == 0);
  CHECK_OK(kx_file_target_get_item_result(target, real, &result, NULL, 0, NULL));
  CHECK(result == KX_SAVED);
  CHECK_STATUS(kx_file_target_save_to_folder(target, NULL, &saved), KX_E_INVALID_ARG);

  /* Ended: the source hears of it (asynchronous: the after-drop callback comes now). */
  CHECK(after.calls == 0);
  CHECK_OK(kx_file_target_end_drop(target, 1));
  pump_until(&after.calls, 3000);
  CHECK(after.calls == 1 && after.dropped == 1);
  CHECK_OK(kx_file_target_get_drop(target, &last, &open));
  CHECK(open == 0);
  CHECK_STATUS(kx_file_target_save_item(target, report, collect, &got), KX_E_STATE);
  CHECK_STATUS(kx_file_target_save_to_folder(target, out_folder, &saved), KX_E_STATE);

done:
  destroy_both(source, target);
}

/* ---- copy and paste -------------------------------------------------------------------------------- */

typedef struct paste_seen {
  volatile LONG calls;
  kx_effect effect;
} paste_seen;

static kx_status KX_CALL on_paste_succeeded(void* context, kx_source* source, kx_effect effect) {
  paste_seen* seen = (paste_seen*)context;
  (void)source;
  seen->effect = effect;
  InterlockedIncrement(&seen->calls);
  return KX_OK;
}

static void empty_clipboard(void) {
  if (!OpenClipboard(NULL)) return;
  EmptyClipboard();
  CloseClipboard();
}

/* Each source kind copied and pasted into its target in this process; a paste's drop callback sees
 * the point (-1, -1). */
static void test_clipboard(HWND to) {
  kx_target *text, *picture, *files;
  kx_source *text_source, *picture_source, *file_source;
  text_seen seen;
  picture_seen picture_drops;
  file_seen file_drops;
  paste_seen pasted;
  contents source_contents = {-1, 0, NULL};
  buffer got;
  kx_file_drop last = KX_FILE_DROP_INIT;
  HDC screen = GetDC(NULL);
  HBITMAP bitmap;
  int can = -1, on = -1;
  memset(&seen, 0, sizeof seen);
  memset(&picture_drops, 0, sizeof picture_drops);
  memset(&file_drops, 0, sizeof file_drops);
  memset(&pasted, 0, sizeof pasted);
  memset(&got, 0, sizeof got);

  CHECK_OK(kx_target_create(KX_TARGET_TEXT, &text));
  CHECK_OK(kx_target_create(KX_TARGET_PICTURE, &picture));
  CHECK_OK(kx_target_create(KX_TARGET_FILE, &files));
  CHECK_OK(kx_text_target_on_drop(text, on_text_drop, &seen));
  CHECK_OK(kx_target_bind(picture, to)); /* its drop callback comes from the window's messages */
  CHECK_OK(kx_picture_target_on_drop(picture, on_picture_drop, &picture_drops));
  CHECK_OK(kx_file_target_on_drop(files, on_file_drop, &file_drops));
  CHECK_OK(kx_source_create(KX_SOURCE_TEXT, &text_source));
  CHECK_OK(kx_source_create(KX_SOURCE_PICTURE, &picture_source));
  CHECK_OK(kx_source_create(KX_SOURCE_FILE, &file_source));

  /* Misuse, and nothing to copy or paste. */
  CHECK_STATUS(kx_target_paste(NULL), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_target_can_paste(NULL, &can), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_target_can_paste(text, NULL), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_source_copy_to_clipboard(NULL, 0), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_source_copy_to_clipboard((kx_source*)text, 0), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_source_is_on_clipboard(text_source, NULL), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_source_set_clipboard_retention(text_source, 2), KX_E_INVALID_ARG);
  CHECK_STATUS(kx_source_on_paste_succeeded(NULL, on_paste_succeeded, &pasted), KX_E_INVALID_HANDLE);
  CHECK_STATUS(kx_source_copy_to_clipboard(text_source, 0), KX_E_STATE); /* no text */
  empty_clipboard();
  CHECK_OK(kx_target_can_paste(text, &can));
  CHECK(can == 0);
  CHECK_STATUS(kx_target_paste(text), KX_E_STATE);
  CHECK(seen.drops == 0);

  /* Text, cut: pasted as a move, and its source told so. */
  CHECK_OK(kx_text_source_set_text(text_source, L"cut from C"));
  CHECK_OK(kx_source_on_paste_succeeded(text_source, on_paste_succeeded, &pasted));
  CHECK_OK(kx_source_copy_to_clipboard(text_source, 1));
  CHECK_OK(kx_source_is_on_clipboard(text_source, &on));
  CHECK(on == 1);
  CHECK_OK(kx_target_can_paste(text, &can));
  CHECK(can == 1);
  CHECK_OK(kx_target_can_paste(picture, &can));
  CHECK(can == 0);
  CHECK_OK(kx_target_paste(text));
  CHECK(seen.drops == 1 && wcscmp(seen.text, L"cut from C") == 0 && seen.kind == KX_TEXT_PLAIN);
  CHECK(seen.x == -1 && seen.y == -1 && seen.effect == KX_EFFECT_MOVE);
  CHECK(seen.destroy_status == KX_E_BUSY);
  CHECK(pump_until(&pasted.calls, 2000) && pasted.effect == KX_EFFECT_MOVE);
  /* A failing drop callback fails the paste. */
  seen.answer = KX_E_FAILED;
  CHECK_STATUS(kx_target_paste(text), KX_E_CALLBACK);
  seen.answer = KX_OK;

  /* A picture: as after a drop, its callback follows from the message loop. */
  bitmap = CreateCompatibleBitmap(screen, 20, 10);
  CHECK_OK(kx_picture_source_set_bitmap(picture_source, bitmap));
  DeleteObject(bitmap);
  CHECK_OK(kx_source_copy_to_clipboard(picture_source, 0));
  CHECK_OK(kx_source_is_on_clipboard(text_source, &on));
  CHECK(on == 0); /* replaced */
  CHECK_OK(kx_target_can_paste(picture, &can));
  CHECK(can == 1);
  CHECK_OK(kx_target_can_paste(text, &can));
  CHECK(can == 0);
  CHECK_OK(kx_target_paste(picture));
  CHECK(pump_until(&picture_drops.drops, 3000));
  CHECK(picture_drops.drop.kind == KX_PICTURE_BITMAP && picture_drops.drop.width == 20 && picture_drops.drop.height == 10);
  CHECK(picture_drops.drop.x == -1 && picture_drops.drop.y == -1);

  /* A virtual file: its contents are made when the paste reads them. Taken off the clipboard when
   * its source goes (a flush would leave it out anyway). */
  CHECK_OK(kx_file_source_add_virtual_file(file_source, L"pasted.txt", KX_SIZE_UNKNOWN, NULL));
  CHECK_OK(kx_file_source_on_contents(file_source, on_contents, &source_contents));
  CHECK_OK(kx_source_set_clipboard_retention(file_source, KX_CLIPBOARD_CLEAR));
  CHECK_OK(kx_source_set_clipboard_flush_limit(file_source, 1u << 20));
  CHECK_OK(kx_source_copy_to_clipboard(file_source, 0));
  CHECK_OK(kx_target_can_paste(files, &can));
  CHECK(can == 1);
  CHECK_OK(kx_target_paste(files));
  CHECK(pump_until(&file_drops.drops, 3000) && file_drops.drop.count == 1);
  CHECK(file_drops.drop.x == -1 && file_drops.drop.y == -1);
  CHECK(source_contents.calls == 0);
  CHECK_OK(kx_file_target_save_item(files, 0, collect, &got));
  CHECK(buffer_is(&got, "report from C") && source_contents.calls == 1);
  CHECK_OK(kx_file_target_get_drop(files, &last, &on));
  CHECK(last.count == 1 && on == 1);
  CHECK_OK(kx_file_target_end_drop(files, 1));
  CHECK_OK(kx_source_destroy(file_source));
  CHECK_OK(kx_target_can_paste(files, &can));
  CHECK(can == 0);

  ReleaseDC(NULL, screen);
  CHECK_OK(kx_source_destroy(text_source));
  CHECK_OK(kx_source_destroy(picture_source));
  CHECK_OK(kx_target_destroy(text));
  CHECK_OK(kx_target_destroy(picture));
  CHECK_OK(kx_target_destroy(files));
}

/* ---- across processes ---------------------------------------------------------------------------- */

static const wchar_t peer_text_title[] = L"kx_capi_peer_text";
static const wchar_t peer_picture_title[] = L"kx_capi_peer_picture";
static const wchar_t peer_files_title[] = L"kx_capi_peer_files";

typedef struct peer_log {
  HANDLE file;
  volatile LONG lines;
} peer_log;

static void log_line(peer_log* log, const wchar_t* text) {
  char utf8[1024];
  DWORD written;
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 2, NULL, NULL);
  if (n <= 0) return;
  utf8[n - 1] = '\n';
  WriteFile(log->file, utf8, (DWORD)n, &written, NULL);
  FlushFileBuffers(log->file);
  InterlockedIncrement(&log->lines);
}

static kx_status KX_CALL peer_text_drop(void* context, kx_target* target, const kx_text_drop* drop) {
  wchar_t line[600] = L"text:";
  (void)target;
  wcsncat(line, drop->text, 500);
  log_line((peer_log*)context, line);
  return KX_OK;
}

static kx_status KX_CALL peer_picture_drop(void* context, kx_target* target, const kx_picture_drop* drop) {
  HBITMAP copy = NULL;
  int w = 0, h = 0;
  if (kx_picture_target_copy_bitmap(target, &copy) == KX_OK) {
    bitmap_size(copy, &w, &h);
    DeleteObject(copy);
  }
  log_line((peer_log*)context, drop->kind == KX_PICTURE_BITMAP && w > 0 && h > 0 ? L"picture:bitmap" : L"picture:?");
  return KX_OK;
}

static kx_status KX_CALL peer_file_drop(void* context, kx_target* target, const kx_file_drop* drop) {
  wchar_t line[600] = L"files:";
  size_t i, length;
  for (i = 0; i < drop->count; ++i) {
    buffer got;
    wchar_t name[MAX_PATH], text[300];
    int n;
    memset(&got, 0, sizeof got);
    kx_file_target_get_item_name(target, i, name, MAX_PATH, &length);
    if (kx_file_target_save_item(target, i, collect, &got) != KX_OK) got.size = 0;
    n = MultiByteToWideChar(CP_UTF8, 0, got.data, (int)got.size, text, 299);
    text[n > 0 ? n : 0] = 0;
    wcsncat(line, name, 100);
    wcscat(line, L"=");
    wcsncat(line, text, 100);
    wcscat(line, L";");
  }
  kx_file_target_end_drop(target, 1);
  log_line((peer_log*)context, line);
  return KX_OK;
}

/* The peer: three windows with a target each; logs every drop, ends after three or a minute. */
static int run_peer(const wchar_t* log_path) {
  peer_log log;
  kx_target *text, *picture, *files;
  HWND text_window, picture_window, files_window;
  DWORD start = GetTickCount();
  log.lines = 0;
  log.file = CreateFileW(log_path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
  if (log.file == INVALID_HANDLE_VALUE || kx_startup() != KX_OK) return 2;
  text_window = make_window(peer_text_title, 440, 40);
  picture_window = make_window(peer_picture_title, 440, 200);
  files_window = make_window(peer_files_title, 440, 360);
  if (kx_target_create(KX_TARGET_TEXT, &text) || kx_target_bind(text, text_window) ||
      kx_text_target_on_drop(text, peer_text_drop, &log) || kx_target_create(KX_TARGET_PICTURE, &picture) ||
      kx_target_bind(picture, picture_window) || kx_picture_target_on_drop(picture, peer_picture_drop, &log) ||
      kx_target_create(KX_TARGET_FILE, &files) || kx_target_bind(files, files_window) ||
      kx_file_target_on_drop(files, peer_file_drop, &log))
    return 3;
  while (log.lines < 3 && GetTickCount() - start < 60000) pump(20);
  kx_target_destroy(text);
  kx_target_destroy(picture);
  kx_target_destroy(files);
  DestroyWindow(text_window);
  DestroyWindow(picture_window);
  DestroyWindow(files_window);
  kx_shutdown();
  CloseHandle(log.file);
  return 0;
}

/* Waits until the peer's log holds a line starting with prefix; that line, or "" after ms. */
static void read_peer_line(const wchar_t* log_path, const char* prefix, char* line, size_t size, DWORD ms) {
  DWORD start = GetTickCount();
  line[0] = 0;
  do {
    char all[4096];
    DWORD read = 0;
    HANDLE file = CreateFileW(log_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
      char* at;
      ReadFile(file, all, sizeof all - 1, &read, NULL);
      CloseHandle(file);
      all[read] = 0;
      at = strstr(all, prefix);
      if (at) {
        size_t n = strcspn(at, "\n");
        if (at[n] == '\n') {
          if (n >= size) n = size - 1;
          memcpy(line, at, n);
          line[n] = 0;
          return;
        }
      }
    }
    pump(50);
  } while (GetTickCount() - start < ms);
}

static HWND wait_for_window(const wchar_t* title) {
  DWORD start = GetTickCount();
  HWND found = NULL;
  while (!found && GetTickCount() - start < 20000) {
    found = FindWindowW(window_class, title);
    if (!found) pump(50);
  }
  return found;
}

static void test_across_processes(HWND from, const wchar_t* folder) {
  wchar_t exe[MAX_PATH], command[3 * MAX_PATH], log_path[MAX_PATH];
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  HWND text_window, picture_window, files_window;
  kx_source *text, *picture, *files;
  contents made;
  after_seen after;
  kx_effect effect;
  char line[512];
  DWORD exit_code = 99;
  made.fail_index = -1;
  made.calls = 0;
  memset(&after, 0, sizeof after);

  wcscpy(log_path, folder);
  wcscat(log_path, L"\\peer.log");
  GetModuleFileNameW(NULL, exe, MAX_PATH);
  wcscpy(command, L"\"");
  wcscat(command, exe);
  wcscat(command, L"\" --peer \"");
  wcscat(command, log_path);
  wcscat(command, L"\"");
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  CHECK(CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
  text_window = wait_for_window(peer_text_title);
  picture_window = wait_for_window(peer_picture_title);
  files_window = wait_for_window(peer_files_title);
  CHECK(text_window && picture_window && files_window);
  if (!text_window || !picture_window || !files_window) {
    TerminateProcess(pi.hProcess, 1);
    return;
  }
  pump(300);

  CHECK_OK(kx_source_create(KX_SOURCE_TEXT, &text));
  CHECK_OK(kx_text_source_set_text(text, L"across \x00E9t\x00E9"));
  CHECK_OK(drag(text, from, text_window, &effect));
  CHECK(effect == KX_EFFECT_COPY);
  read_peer_line(log_path, "text:", line, sizeof line, 10000);
  CHECK(strcmp(line, "text:across \xC3\xA9t\xC3\xA9") == 0);

  CHECK_OK(kx_source_create(KX_SOURCE_PICTURE, &picture));
  CHECK_OK(kx_picture_source_set_image_data(picture, gif_bytes, sizeof gif_bytes));
  CHECK_OK(drag(picture, from, picture_window, &effect));
  read_peer_line(log_path, "picture:", line, sizeof line, 10000);
  CHECK(strcmp(line, "picture:bitmap") == 0);

  /* Virtual files whose contents this process makes while the peer reads them after the drag. */
  CHECK_OK(kx_source_create(KX_SOURCE_FILE, &files));
  CHECK_OK(kx_file_source_add_virtual_file(files, L"report.txt", KX_SIZE_UNKNOWN, NULL));
  CHECK_OK(kx_file_source_on_contents(files, on_contents, &made));
  CHECK_OK(kx_source_on_after_drop(files, on_after_drop, &after));
  CHECK_OK(drag(files, from, files_window, &effect));
  read_peer_line(log_path, "files:", line, sizeof line, 15000);
  CHECK(strcmp(line, "files:report.txt=report from C;") == 0);
  CHECK(made.calls >= 1);
  pump_until(&after.calls, 3000);
  CHECK(after.calls == 1 && after.dropped == 1);

  CHECK(WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0);
  GetExitCodeProcess(pi.hProcess, &exit_code);
  CHECK(exit_code == 0);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CHECK_OK(kx_source_destroy(text));
  CHECK_OK(kx_source_destroy(picture));
  CHECK_OK(kx_source_destroy(files));
}

/* Names the part that runs next, so that a hang shows where. */
static void section(const char* name) {
  printf("-- %s\n", name);
  fflush(stdout);
}

/* ---- main ------------------------------------------------------------------------------------------ */

int main(void) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  wchar_t folder[MAX_PATH];
  HWND from, to;

  if (argc == 3 && wcscmp(argv[1], L"--peer") == 0) return run_peer(argv[2]);

  test_before_startup();
  CHECK_OK(kx_startup());
  CHECK_OK(kx_startup()); /* nested */
  CHECK_OK(kx_shutdown());

  GetTempPathW(MAX_PATH, folder);
  wcscat(folder, L"kx_capi_test");
  CreateDirectoryW(folder, NULL);
  {
    /* Wine reuses process ids: the tick count makes the folder this run's own. */
    wchar_t unique[24];
    DWORD id = GetCurrentProcessId(), tick = GetTickCount(), i;
    for (i = 0; i < 8; ++i) unique[i] = L"0123456789abcdef"[(id >> (28 - 4 * i)) & 15];
    for (i = 0; i < 8; ++i) unique[8 + i] = L"0123456789abcdef"[(tick >> (28 - 4 * i)) & 15];
    unique[16] = 0;
    wcscat(folder, L"\\");
    wcscat(folder, unique);
    CreateDirectoryW(folder, NULL);
  }
  from = make_window(L"kx_capi_from", 40, 40);
  to = make_window(L"kx_capi_to", 240, 40);
  pump(300);

  section("test_misuse");
  test_misuse();
  section("test_toolkit_names");
  test_toolkit_names();
  section("test_gif");
  test_gif();
  section("test_text_drags");
  test_text_drags(from, to);
  section("test_source_failures");
  test_source_failures(from, to);
  section("test_picture_drags");
  test_picture_drags(from, to);
  section("test_file_drags");
  test_file_drags(from, to, folder);
  section("test_clipboard");
  test_clipboard(to);
  section("test_across_processes");
  test_across_processes(from, folder);

  DestroyWindow(from);
  DestroyWindow(to);
  {
    /* The run's folder and everything the drops saved into it. */
    SHFILEOPSTRUCTW op;
    wchar_t from_list[MAX_PATH + 2];
    memset(&op, 0, sizeof op);
    memset(from_list, 0, sizeof from_list);
    wcscpy(from_list, folder);
    op.wFunc = FO_DELETE;
    op.pFrom = from_list;
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    CHECK(SHFileOperationW(&op) == 0);
  }
  {
    /* The last shut-down waits for every target and source. */
    kx_source* left;
    CHECK_OK(kx_source_create(KX_SOURCE_FILE, &left));
    CHECK_STATUS(kx_shutdown(), KX_E_BUSY);
    CHECK_OK(kx_source_destroy(left));
  }
  CHECK_OK(kx_shutdown());
  CHECK_STATUS(kx_shutdown(), KX_E_NOT_STARTED);
  LocalFree(argv);
  printf("kx_capi_test (%s, %d-bit): %d checks, %d failed\n",
#if defined(__MINGW32__)
         "MinGW",
#else
         "MSVC ABI",
#endif
         (int)(sizeof(void*) * 8), checks, failures);
  fflush(stdout);
  return failures ? 1 : 0;
}
