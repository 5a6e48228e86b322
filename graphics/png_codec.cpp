// [SECTION] Memory reader and error handling
// [SECTION] Decoder
// [SECTION] Encoders
//
// libpng reports errors by longjmp. Every function that calls into libpng
// below keeps only trivially destructible locals between its setjmp and the
// calls, so that a jump skips no destructor; buffers live in a context
// owned by the caller.
#include "graphics/png_codec.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace gfx {

// [SECTION] Memory reader and error handling -----------------------------------

namespace {

struct ReadContext {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  std::string message;
  // Buffers filled between setjmp and the end of the decode.
  std::vector<uint8_t> rows;
};

void on_error(png_structp png, png_const_charp text) {
  auto* ctx = static_cast<ReadContext*>(png_get_error_ptr(png));
  if (ctx && ctx->message.empty()) ctx->message = text ? text : "libpng error";
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void read_bytes(png_structp png, png_bytep out, size_t length) {
  auto* ctx = static_cast<ReadContext*>(png_get_io_ptr(png));
  if (length > ctx->size - ctx->pos) png_error(png, "file is truncated");
  std::memcpy(out, ctx->data + ctx->pos, length);
  ctx->pos += length;
}

// Owns the libpng read structures.
struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStructs() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

// The largest ratio deflate reaches is a little over 1000:1; an image whose
// raw rows need more than that from the bytes at hand cannot be complete.
constexpr uint64_t kInflateRatio = 1040;

bool plausible_size(uint32_t width, uint32_t height, int channels, int depth, size_t file_size) {
  if (static_cast<uint64_t>(width) * height * 3 > INT32_MAX) return false;
  uint64_t row = (static_cast<uint64_t>(width) * channels * depth + 7) / 8 + 1;
  return row * height <= kInflateRatio * file_size + 4096;
}

struct Info {
  uint32_t width, height;
  int depth, colour, interlace;
  int passes;
};

// Header and transforms. Returns the result code; libpng errors jump out of
// here to the caller's setjmp.
PngResult read_header_and_setup(png_structp png, png_infop info, size_t file_size, Info& h, std::string* error) {
  png_read_info(png, info);
  png_get_IHDR(png, info, &h.width, &h.height, &h.depth, &h.colour, &h.interlace, nullptr, nullptr);
  switch (h.colour) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_PALETTE:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA: break;
    default: *error = "unsupported colour type"; return PngResult::ColourType;
  }
  if (h.depth != 1 && h.depth != 2 && h.depth != 4 && h.depth != 8 && h.depth != 16) {
    *error = "unsupported bit depth";
    return PngResult::BitDepth;
  }
  if (h.interlace != PNG_INTERLACE_NONE && h.interlace != PNG_INTERLACE_ADAM7) {
    *error = "unsupported interlace method";
    return PngResult::Interlace;
  }
  if (!plausible_size(h.width, h.height, png_get_channels(png, info), h.depth, file_size)) {
    *error = "image larger than its data can hold";
    return PngResult::Library;
  }
  if (h.colour == PNG_COLOR_TYPE_PALETTE) {
    if (h.depth < 8) png_set_packing(png);
  } else {
    if (h.depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    // A colour key becomes an alpha channel: libpng compares it at the
    // file's own depth, before 16-bit samples are scaled down.
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  }
  if (h.depth == 16) png_set_scale_16(png);
  png_set_bgr(png);
  h.passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return PngResult::Ok;
}

// Converts one decoded row (after the transforms) into the output planes.
void convert_row(const uint8_t* src, int channels, int y, PngImage& out, const uint8_t* trans, int num_trans) {
  size_t w = static_cast<size_t>(out.width);
  uint8_t* bgr = out.bgr.data() + y * w * 3;
  uint8_t* t = out.transparency.empty() ? nullptr : out.transparency.data() + y * w;
  if (out.has_palette) {
    std::memcpy(out.indexes.data() + y * w, src, w);
    for (size_t x = 0; x < w; ++x) {
      const Rgbquad& q = out.palette[src[x]];
      bgr[3 * x] = q.b, bgr[3 * x + 1] = q.g, bgr[3 * x + 2] = q.r;
      if (t) t[x] = src[x] < num_trans ? static_cast<uint8_t>(255 - trans[src[x]]) : 0;
    }
    return;
  }
  switch (channels) {
    case 1:
      for (size_t x = 0; x < w; ++x) bgr[3 * x] = bgr[3 * x + 1] = bgr[3 * x + 2] = src[x];
      break;
    case 2:
      for (size_t x = 0; x < w; ++x) {
        bgr[3 * x] = bgr[3 * x + 1] = bgr[3 * x + 2] = src[2 * x];
        t[x] = static_cast<uint8_t>(255 - src[2 * x + 1]);
      }
      break;
    case 3: std::memcpy(bgr, src, w * 3); break;
    case 4:
      for (size_t x = 0; x < w; ++x) {
        bgr[3 * x] = src[4 * x], bgr[3 * x + 1] = src[4 * x + 1], bgr[3 * x + 2] = src[4 * x + 2];
        t[x] = static_cast<uint8_t>(255 - src[4 * x + 3]);
      }
      break;
  }
}

PngResult decode_with(ReadStructs& s, ReadContext& ctx, PngImage& out, std::string* error) {
  Info h{};
  png_bytep trans = nullptr;
  int num_trans = 0;
  int channels = 0;
  size_t rowbytes = 0;
  if (setjmp(png_jmpbuf(s.png))) {
    *error = ctx.message;
    return PngResult::Library;
  }
  png_set_read_fn(s.png, &ctx, read_bytes);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  png_set_crc_action(s.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
  PngResult r = read_header_and_setup(s.png, s.info, ctx.size, h, error);
  if (r != PngResult::Ok) return r;
  channels = png_get_channels(s.png, s.info);
  rowbytes = png_get_rowbytes(s.png, s.info);
  if (rowbytes < static_cast<size_t>(h.width) * channels) png_error(s.png, "unexpected row size");

  out.width = static_cast<int>(h.width);
  out.height = static_cast<int>(h.height);
  out.colour_type = h.colour;
  out.bit_depth = h.depth;
  out.interlaced = h.interlace == PNG_INTERLACE_ADAM7;
  out.has_palette = h.colour == PNG_COLOR_TYPE_PALETTE;
  size_t pixels = static_cast<size_t>(h.width) * h.height;
  int num_palette = 0;
  if (out.has_palette) {
    png_colorp plte = nullptr;
    if (!png_get_PLTE(s.png, s.info, &plte, &num_palette) || num_palette <= 0) png_error(s.png, "palette missing");
    for (int i = 0; i < num_palette && i < 256; ++i) out.palette[i] = {plte[i].blue, plte[i].green, plte[i].red, 0};
    if (png_get_valid(s.png, s.info, PNG_INFO_tRNS)) png_get_tRNS(s.png, s.info, &trans, &num_trans, nullptr);
    out.indexes.resize(pixels);
  }
  bool has_transparency = out.has_palette ? (trans && num_trans > 0) : (channels == 2 || channels == 4);
  out.bgr.resize(pixels * 3);
  if (has_transparency) out.transparency.resize(pixels);

  if (!out.interlaced) {
    ctx.rows.resize(rowbytes);
    for (uint32_t y = 0; y < h.height; ++y) {
      png_read_row(s.png, ctx.rows.data(), nullptr);
      if (out.has_palette)
        for (uint32_t x = 0; x < h.width; ++x)
          if (ctx.rows[x] >= num_palette) png_error(s.png, "palette index past the end of the palette");
      convert_row(ctx.rows.data(), channels, static_cast<int>(y), out, trans, num_trans);
    }
    return PngResult::Ok;
  }
  // Adam7: libpng places each pass's pixels in the full rows.
  ctx.rows.assign(rowbytes * h.height, 0);
  for (int pass = 0; pass < h.passes; ++pass)
    for (uint32_t y = 0; y < h.height; ++y) png_read_row(s.png, ctx.rows.data() + y * rowbytes, nullptr);
  for (uint32_t y = 0; y < h.height; ++y) {
    const uint8_t* row = ctx.rows.data() + y * rowbytes;
    if (out.has_palette)
      for (uint32_t x = 0; x < h.width; ++x)
        if (row[x] >= num_palette) png_error(s.png, "palette index past the end of the palette");
    convert_row(row, channels, static_cast<int>(y), out, trans, num_trans);
  }
  return PngResult::Ok;
}

}  // namespace

// [SECTION] Decoder -----------------------------------------------------------

PngResult decode_png(std::span<const uint8_t> file, PngImage& out, std::string* error) {
  out = PngImage{};
  std::string scratch;
  if (!error) error = &scratch;
  if (!is_png(file)) {
    *error = "not a PNG file";
    return PngResult::Library;
  }
  ReadContext ctx;
  ctx.data = file.data();
  ctx.size = file.size();
  ReadStructs s;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, on_error, on_warning);
  if (!s.png) {
    *error = "cannot create the PNG read structure";
    return PngResult::ReadStruct;
  }
  s.info = png_create_info_struct(s.png);
  if (!s.info) {
    *error = "cannot create the PNG info structure";
    return PngResult::InfoStruct;
  }
  PngResult r = decode_with(s, ctx, out, error);
  if (r != PngResult::Ok) out = PngImage{};
  return r;
}

namespace {

bool header_with(ReadStructs& s, ReadContext& ctx, int* width, int* height) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_set_read_fn(s.png, &ctx, read_bytes);
  png_read_info(s.png, s.info);
  *width = static_cast<int>(png_get_image_width(s.png, s.info));
  *height = static_cast<int>(png_get_image_height(s.png, s.info));
  return true;
}

}  // namespace

bool read_png_header(std::span<const uint8_t> file, int* width, int* height, std::string* error) {
  if (!is_png(file)) {
    if (error) *error = "not a PNG file";
    return false;
  }
  ReadContext ctx;
  ctx.data = file.data();
  ctx.size = file.size();
  ReadStructs s;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, on_error, on_warning);
  if (s.png) s.info = png_create_info_struct(s.png);
  if (!s.png || !s.info) {
    if (error) *error = "cannot create the PNG read structures";
    return false;
  }
  if (!header_with(s, ctx, width, height)) {
    if (error) *error = ctx.message;
    return false;
  }
  return true;
}

// [SECTION] Encoders ----------------------------------------------------------

namespace {

struct WriteContext {
  std::vector<uint8_t> out;
  std::vector<uint8_t> row;
  std::string message;
};

void write_bytes(png_structp png, png_bytep data, size_t length) {
  auto* ctx = static_cast<WriteContext*>(png_get_io_ptr(png));
  ctx->out.insert(ctx->out.end(), data, data + length);
}

void flush_nothing(png_structp) {}

void on_write_error(png_structp png, png_const_charp text) {
  auto* ctx = static_cast<WriteContext*>(png_get_error_ptr(png));
  if (ctx && ctx->message.empty()) ctx->message = text ? text : "libpng error";
  png_longjmp(png, 1);
}

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStructs() {
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  }
};

enum class Layout { Bgr, Bgra, Indexed, Grey };

struct EncodeJob {
  const uint8_t* pixels;
  size_t stride;
  const uint8_t* alpha;
  size_t alpha_stride;
  int width, height;
  Layout layout;
  const Palette* palette;
};

bool encode_with(WriteStructs& s, WriteContext& ctx, const EncodeJob& job) {
  png_color plte[256];
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_set_write_fn(s.png, &ctx, write_bytes, flush_nothing);
  int colour = job.layout == Layout::Bgr       ? PNG_COLOR_TYPE_RGB
               : job.layout == Layout::Bgra    ? PNG_COLOR_TYPE_RGB_ALPHA
               : job.layout == Layout::Indexed ? PNG_COLOR_TYPE_PALETTE
                                               : PNG_COLOR_TYPE_GRAY;
  png_set_IHDR(s.png, s.info, static_cast<uint32_t>(job.width), static_cast<uint32_t>(job.height), 8, colour,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job.layout == Layout::Indexed) {
    for (int i = 0; i < 256; ++i) plte[i] = {(*job.palette)[i].r, (*job.palette)[i].g, (*job.palette)[i].b};
    png_set_PLTE(s.png, s.info, plte, 256);
  }
  png_write_info(s.png, s.info);
  if (job.layout == Layout::Bgr || job.layout == Layout::Bgra) png_set_bgr(s.png);
  for (int y = 0; y < job.height; ++y) {
    const uint8_t* src = job.pixels + static_cast<size_t>(y) * job.stride;
    if (job.layout == Layout::Bgra) {
      const uint8_t* a = job.alpha + static_cast<size_t>(y) * job.alpha_stride;
      uint8_t* d = ctx.row.data();
      for (int x = 0; x < job.width; ++x) {
        d[4 * x] = src[3 * x], d[4 * x + 1] = src[3 * x + 1], d[4 * x + 2] = src[3 * x + 2];
        d[4 * x + 3] = a[x];
      }
      png_write_row(s.png, ctx.row.data());
    } else {
      png_write_row(s.png, src);
    }
  }
  png_write_end(s.png, nullptr);
  return true;
}

std::vector<uint8_t> encode(const EncodeJob& job) {
  if (job.width <= 0 || job.height <= 0) return {};
  WriteContext ctx;
  if (job.layout == Layout::Bgra) ctx.row.resize(static_cast<size_t>(job.width) * 4);
  WriteStructs s;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, on_write_error, on_warning);
  if (s.png) s.info = png_create_info_struct(s.png);
  if (!s.png || !s.info) return {};
  if (!encode_with(s, ctx, job)) return {};
  return std::move(ctx.out);
}

}  // namespace

std::vector<uint8_t> encode_png_bgr(const uint8_t* bgr, int width, int height, size_t stride, const uint8_t* alpha,
                                    size_t alpha_stride) {
  return encode({bgr, stride, alpha, alpha_stride, width, height, alpha ? Layout::Bgra : Layout::Bgr, nullptr});
}

std::vector<uint8_t> encode_png_indexed(const uint8_t* indexes, int width, int height, size_t stride,
                                        const Palette& palette) {
  return encode({indexes, stride, nullptr, 0, width, height, Layout::Indexed, &palette});
}

std::vector<uint8_t> encode_png_grey(const uint8_t* grey, int width, int height, size_t stride) {
  return encode({grey, stride, nullptr, 0, width, height, Layout::Grey, nullptr});
}

}  // namespace gfx
