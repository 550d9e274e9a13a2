/* A plain Win32 window, written in C99 against the C interface (kestrix.h) alone, that accepts
 * files dropped from any application (files from the file manager, attachments and other virtual
 * files) and saves them into a folder. Any compiler can build it: MinGW's gcc with KestrixVcl.dll.a,
 * MSVC or clang-cl with KestrixVcl.lib.
 *
 *   SaveDroppedFiles.exe FOLDER          saves what is dropped on the window into FOLDER; close the
 *                                        window to quit
 *   SaveDroppedFiles.exe --self-check    drags a virtual file of its own into its window with
 *                                        synthesized mouse input; exits 0 when it was saved whole
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <kestrix/kestrix.h>

#include "../common/self_check.h"

// [snippet:c-report]
/* Prints what failed and why: the status says that a call failed, kx_last_error why. */
static void report_failure(const wchar_t* what) {
  kx_status code = KX_OK;
  wchar_t message[512], line[640];
  size_t length = 0;
  if (kx_last_error(&code, message, sizeof message / sizeof message[0], &length) != KX_OK) message[0] = L'\0';
  swprintf(line, sizeof line / sizeof line[0], L"%ls failed (%d): %ls", what, code, message);
  example_print_utf8(line);
}
// [end]

// [snippet:c-string-out]
/* Where the last save put an item, in memory the caller frees; NULL when it cannot be read. The
 * first call asks only the length, the second fills a buffer of that size. */
static wchar_t* saved_path(kx_target* target, size_t index) {
  size_t length = 0;
  wchar_t* path;
  if (kx_file_target_get_saved_path(target, index, NULL, 0, &length) != KX_OK) return NULL;
  path = (wchar_t*)malloc((length + 1) * sizeof *path);
  if (path && kx_file_target_get_saved_path(target, index, path, length + 1, &length) != KX_OK) {
    free(path);
    path = NULL;
  }
  return path;
}
// [end]

typedef struct app {
  const wchar_t* folder; /* where drops are saved */
  size_t saved;          /* files saved so far */
  wchar_t* first_saved;  /* the first file saved (malloc'ed), for the self-check */
} app;

// [snippet:c-on-drop]
/* Called from the message loop when files were dropped: saves every item into the folder and
 * prints where each one went. The drop stays open for reading until kx_file_target_end_drop. */
static kx_status KX_CALL on_file_drop(void* context, kx_target* target, const kx_file_drop* drop) {
  app* a = (app*)context;
  size_t saved = 0, i;
  if (kx_file_target_save_to_folder(target, a->folder, &saved) != KX_OK) {
    report_failure(L"kx_file_target_save_to_folder");
    kx_file_target_end_drop(target, 0);
    return KX_E_FAILED; /* the source is told that nothing was taken */
  }
  for (i = 0; i < drop->count; ++i) {
    kx_save_result result = KX_SAVED;
    wchar_t reason[256], line[1024];
    size_t length = 0;
    wchar_t* path = saved_path(target, i);
    if (kx_file_target_get_item_result(target, i, &result, reason, sizeof reason / sizeof reason[0], &length) != KX_OK)
      reason[0] = L'\0';
    if (result == KX_SAVED && path)
      swprintf(line, sizeof line / sizeof line[0], L"saved %ls", path);
    else
      swprintf(line, sizeof line / sizeof line[0], L"item %u not saved: %ls", (unsigned)i, reason);
    example_print_utf8(line);
    if (result == KX_SAVED && path && !a->first_saved) a->first_saved = path;
    else free(path);
  }
  a->saved += saved;
  return kx_file_target_end_drop(target, saved > 0);
}
// [end]

static LRESULT CALLBACK main_window_proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(wnd, msg, wparam, lparam);
}

static HWND create_main_window(void) {
  WNDCLASSW wc;
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = main_window_proc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.hCursor = LoadCursor(NULL, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = L"KestrixSaveDroppedFilesExample";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"Drop files here", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 480,
                         320, NULL, NULL, wc.hInstance, NULL);
}

/* ---- the self-check: a virtual file of this program's own, dragged into its window ------------- */

static const char kContents[] = "Saved by the C example.\r\n";

static kx_status KX_CALL write_contents(void* context, kx_source* source, size_t index, kx_stream* stream) {
  (void)context;
  (void)source;
  (void)index;
  return kx_stream_write(stream, kContents, sizeof kContents - 1);
}

/* Whether the file holds exactly kContents. */
static int file_holds_contents(const wchar_t* path) {
  char buffer[sizeof kContents];
  DWORD read = 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  int same;
  if (file == INVALID_HANDLE_VALUE) return 0;
  same = ReadFile(file, buffer, sizeof buffer, &read, NULL) && read == sizeof kContents - 1 &&
         memcmp(buffer, kContents, read) == 0;
  CloseHandle(file);
  return same;
}

static int self_check(app* a, HWND wnd) {
  kx_source* source = NULL;
  kx_effect effect = KX_EFFECT_NONE;
  POINT to = example_centre_of(wnd), from;
  HANDLE mover;
  int ok;
  if (kx_source_create(KX_SOURCE_FILE, &source) != KX_OK ||
      kx_file_source_add_virtual_file(source, L"report.txt", sizeof kContents - 1, NULL) != KX_OK ||
      kx_file_source_on_contents(source, write_contents, NULL) != KX_OK) {
    report_failure(L"making the file source");
    kx_source_destroy(source);
    return 0;
  }
  example_pump_for(300);
  from.x = to.x - 150;
  from.y = to.y;
  if (!example_press_at(from)) {
    kx_source_destroy(source);
    return 0;
  }
  mover = example_start_move_and_release(from, to);
  if (kx_source_execute(source, &effect) != KX_OK) report_failure(L"kx_source_execute");
  if (mover) {
    WaitForSingleObject(mover, INFINITE);
    CloseHandle(mover);
  }
  example_pump_for(500); /* an asynchronous drop is raised from the message loop */
  kx_source_destroy(source);
  ok = a->saved == 1 && a->first_saved && file_holds_contents(a->first_saved);
  if (a->first_saved) DeleteFileW(a->first_saved);
  RemoveDirectoryW(a->folder);
  return ok;
}

int wmain(int argc, wchar_t** argv) {
  const int check = argc > 1 && wcscmp(argv[1], L"--self-check") == 0;
  wchar_t temp_folder[MAX_PATH + 64];
  app a = {NULL, 0, NULL};
  kx_target* target = NULL;
  HWND wnd;
  int status = 0;

  if (check) {
    /* A folder of this run's own, removed again afterwards. */
    DWORD n = GetTempPathW(MAX_PATH, temp_folder);
    if (n == 0 || n >= MAX_PATH) return 2;
    swprintf(temp_folder + n, 64, L"kestrix-c-example-%lu", (unsigned long)GetCurrentProcessId());
    a.folder = temp_folder;
  } else if (argc > 1) {
    a.folder = argv[1];
  } else {
    example_print_utf8(L"usage: SaveDroppedFiles FOLDER | --self-check");
    return 2;
  }

  // [snippet:c-setup]
  if (kx_startup() != KX_OK) { /* OLE on this thread, which runs the window's message loop */
    report_failure(L"kx_startup");
    return 1;
  }
  wnd = create_main_window();
  if (kx_target_create(KX_TARGET_FILE, &target) != KX_OK ||
      kx_file_target_set_accepted(target, KX_FILES_REAL | KX_FILES_VIRTUAL) != KX_OK ||
      kx_file_target_on_drop(target, on_file_drop, &a) != KX_OK ||
      kx_target_bind(target, wnd) != KX_OK) { /* drops on the window now reach the target */
    report_failure(L"making the file target");
    status = 1;
  } else if (check) {
    status = self_check(&a, wnd) ? 0 : 1;
    example_print_utf8(status == 0 ? L"self-check passed" : L"self-check FAILED");
  } else {
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  kx_target_destroy(target); /* every handle before the last kx_shutdown */
  kx_shutdown();
  // [end]
  free(a.first_saved);
  return status;
}
