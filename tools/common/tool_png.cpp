#include "tool_png.h"

#include <errno.h>
#include <png.h>
#include <stdio.h>
#include <string.h>

#include "tool_io.h"

bool write_rgb_png(const char *tool, const char *path, int width, int height, const uint8_t *rgb) {
  CreatedFile created;
  FILE *f = create_file(tool, path, &created);
  if (f == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    fprintf(stderr, "%s: cannot write %s\n", tool, path);
    remove_partial_file(path, created);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, const_cast<png_bytep>(rgb + (size_t)y * width * 3));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (fclose(f) != 0) {
    int err = errno;
    fprintf(stderr, "%s: cannot write %s: %s\n", tool, path, strerror(err));
    remove_partial_file(path, created);
    return false;
  }
  return true;
}
