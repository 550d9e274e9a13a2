/* Compiled with -std=c99 -Wall -Wextra -Wpedantic -Werror: kestrix.h is plain C. */
#include <kestrix/kestrix.h>

/* The _INIT macros fill every member (no missing-initializer warning) and start with the size. */
static const kx_text_drop text_drop = KX_TEXT_DROP_INIT;
static const kx_picture_drop picture_drop = KX_PICTURE_DROP_INIT;
static const kx_file_drop file_drop = KX_FILE_DROP_INIT;
static const kx_file_item file_item = KX_FILE_ITEM_INIT;
static const kx_gif_info gif_info = KX_GIF_INFO_INIT;
static const kx_gif_frame gif_frame = KX_GIF_FRAME_INIT;

size_t kx_header_check_sizes(void);
size_t kx_header_check_sizes(void) {
  return text_drop.struct_size + picture_drop.struct_size + file_drop.struct_size + file_item.struct_size +
         gif_info.struct_size + gif_frame.struct_size;
}
