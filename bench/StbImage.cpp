// The one translation unit that holds stb_image's implementation, GIF only.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#include <stb_image.h>
