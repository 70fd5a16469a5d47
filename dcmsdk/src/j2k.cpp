// JPEG 2000 frames decoded with OpenJPEG (DCMTK ships no such decoder).
#include <openjpeg.h>

#include <algorithm>
#include <cstring>

#include "dcmsdk/src/internal.h"

namespace dcmSDK::detail {

namespace {

struct MemStream {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

OPJ_SIZE_T readFn(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemStream*>(user);
  if (m->pos >= m->size) return static_cast<OPJ_SIZE_T>(-1);
  size_t k = std::min<size_t>(n, m->size - m->pos);
  std::memcpy(buf, m->data + m->pos, k);
  m->pos += k;
  return k;
}

OPJ_OFF_T skipFn(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemStream*>(user);
  if (n < 0) {
    size_t back = std::min<size_t>(static_cast<size_t>(-n), m->pos);
    m->pos -= back;
    return -static_cast<OPJ_OFF_T>(back);
  }
  size_t k = std::min<size_t>(static_cast<size_t>(n), m->size - m->pos);
  m->pos += k;
  return static_cast<OPJ_OFF_T>(k);
}

OPJ_BOOL seekFn(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemStream*>(user);
  if (n < 0 || static_cast<size_t>(n) > m->size) return OPJ_FALSE;
  m->pos = static_cast<size_t>(n);
  return OPJ_TRUE;
}

void errorFn(const char* msg, void* user) {
  auto* s = static_cast<std::string*>(user);
  if (s->empty() && msg) {
    *s = msg;
    while (!s->empty() && (s->back() == '\n' || s->back() == ' ')) s->pop_back();
  }
}
void quietFn(const char*, void*) {}

struct CodecGuard {
  opj_codec_t* codec = nullptr;
  opj_stream_t* stream = nullptr;
  opj_image_t* image = nullptr;
  ~CodecGuard() {
    if (image) opj_image_destroy(image);
    if (stream) opj_stream_destroy(stream);
    if (codec) opj_destroy_codec(codec);
  }
};

}  // namespace

bool decodeJ2k(const uint8_t* bytes, size_t len, J2kFrame& out, std::string& err) {
  static const uint8_t kJp2Sig[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '};
  if (!bytes || len < 16) {
    err = "JPEG 2000 code stream too short";
    return false;
  }
  OPJ_CODEC_FORMAT fmt;
  if (bytes[0] == 0xFF && bytes[1] == 0x4F && bytes[2] == 0xFF && bytes[3] == 0x51)
    fmt = OPJ_CODEC_J2K;
  else if (std::memcmp(bytes, kJp2Sig, sizeof kJp2Sig) == 0)
    fmt = OPJ_CODEC_JP2;
  else {
    err = "not a JPEG 2000 code stream";
    return false;
  }
  CodecGuard g;
  g.codec = opj_create_decompress(fmt);
  if (!g.codec) {
    err = "OpenJPEG could not create a decoder";
    return false;
  }
  std::string opjErr;
  opj_set_error_handler(g.codec, errorFn, &opjErr);
  opj_set_warning_handler(g.codec, quietFn, nullptr);
  opj_set_info_handler(g.codec, quietFn, nullptr);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(g.codec, &params)) {
    err = "OpenJPEG decoder setup failed";
    return false;
  }
  MemStream ms{bytes, len, 0};
  g.stream = opj_stream_create(64 * 1024, OPJ_TRUE);
  if (!g.stream) {
    err = "OpenJPEG stream allocation failed";
    return false;
  }
  opj_stream_set_user_data(g.stream, &ms, nullptr);
  opj_stream_set_user_data_length(g.stream, len);
  opj_stream_set_read_function(g.stream, readFn);
  opj_stream_set_skip_function(g.stream, skipFn);
  opj_stream_set_seek_function(g.stream, seekFn);

  if (!opj_read_header(g.stream, g.codec, &g.image) || !g.image) {
    err = "bad JPEG 2000 header" + (opjErr.empty() ? std::string() : ": " + opjErr);
    return false;
  }
  opj_image_t* im = g.image;
  if (im->numcomps < 1 || im->numcomps > 4 || im->x1 <= im->x0 || im->y1 <= im->y0) {
    err = "unsupported JPEG 2000 image layout";
    return false;
  }
  const int w = static_cast<int>(im->x1 - im->x0), h = static_cast<int>(im->y1 - im->y0);
  if (uint64_t(w) * uint64_t(h) * im->numcomps > (uint64_t(1) << 31)) {
    err = "JPEG 2000 image too large";
    return false;
  }
  if (!opj_decode(g.codec, g.stream, im) || !opj_end_decompress(g.codec, g.stream)) {
    err = "JPEG 2000 decoding failed" + (opjErr.empty() ? std::string() : ": " + opjErr);
    return false;
  }
  const int comps = static_cast<int>(im->numcomps);
  int prec = 0;
  bool sgnd = false;
  for (int c = 0; c < comps; ++c) {
    const opj_image_comp_t& cp = im->comps[c];
    if (!cp.data || cp.dx != 1 || cp.dy != 1 || static_cast<int>(cp.w) != w || static_cast<int>(cp.h) != h) {
      err = "subsampled JPEG 2000 components are not supported";
      return false;
    }
    if (cp.prec < 1 || cp.prec > 16) {
      err = "JPEG 2000 precision of " + std::to_string(cp.prec) + " bits is not supported";
      return false;
    }
    prec = std::max<int>(prec, static_cast<int>(cp.prec));
    sgnd = sgnd || cp.sgnd;
  }
  out.width = w;
  out.height = h;
  out.comps = comps;
  out.precision = prec;
  out.isSigned = sgnd;
  const size_t n = size_t(w) * h;
  const size_t bps = prec > 8 ? 2 : 1;
  out.data.assign(n * comps * bps, 0);
  for (int c = 0; c < comps; ++c) {
    const OPJ_INT32* src = im->comps[c].data;
    if (bps == 1) {
      uint8_t* dst = out.data.data();
      for (size_t i = 0; i < n; ++i) dst[i * comps + c] = static_cast<uint8_t>(src[i]);
    } else {
      uint8_t* dst = out.data.data();
      for (size_t i = 0; i < n; ++i) {
        uint16_t v = static_cast<uint16_t>(src[i]);
        size_t o = (i * comps + c) * 2;
        dst[o] = static_cast<uint8_t>(v & 0xFF);
        dst[o + 1] = static_cast<uint8_t>(v >> 8);
      }
    }
  }
  return true;
}

}  // namespace dcmSDK::detail
