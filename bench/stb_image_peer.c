// stb_image compiled here, with the benchmark's flags, for its GIF decoder only.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#include <stb/stb_image.h>
