// Marker structure of JPEG streams (baseline, extended, lossless), checked
// before a stream reaches the toolkit's JPEG decoder. That decoder walks the
// markers ahead of the frame header to learn the sample precision and never
// gets past some misplaced ones (TEM spins for ever), so anything but a
// well-formed header up to the first scan is refused here with the reason.
#include <cstdio>

#include "dcmsdk/src/internal.h"

#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>

namespace dcmSDK::detail {

namespace {

std::string hex2(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

bool isSof(unsigned m) {
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Markers that carry a length-prefixed segment before the first scan.
bool isHeaderSegment(unsigned m) {
  return isSof(m) || m == 0xC4 /* DHT */ || m == 0xCC /* DAC */ || m == 0xDB /* DQT */ ||
         m == 0xDC /* DNL */ || m == 0xDD /* DRI */ || m == 0xDE /* DHP */ || m == 0xDF /* EXP */ ||
         (m >= 0xE0 && m <= 0xEF) /* APPn */ || m == 0xFE /* COM */;
}

}  // namespace

bool isJpegProcess(E_TransferSyntax xs) { return xs >= EXS_JPEGProcess1 && xs <= EXS_JPEGProcess14SV1; }

namespace {

enum class Header { ok, bad, cutOff };

Header walkHeader(const uint8_t* p, size_t n, std::string& err) {
  if (!p || n < 2 || p[0] != 0xFF || p[1] != 0xD8) {
    err = "JPEG stream does not start with SOI";
    return Header::bad;
  }
  size_t pos = 2;
  bool frameHeader = false;
  for (;;) {
    if (pos >= n) {
      err = "JPEG stream ends before its first scan";
      return Header::cutOff;
    }
    if (p[pos] != 0xFF) {
      err = "JPEG stream has no marker at byte " + std::to_string(pos);
      return Header::bad;
    }
    while (pos < n && p[pos] == 0xFF) ++pos;  // fill bytes
    if (pos >= n) {
      err = "JPEG stream ends before its first scan";
      return Header::cutOff;
    }
    const unsigned m = p[pos++];
    const size_t at = pos - 2;
    if (m != 0xDA && !isHeaderSegment(m)) {
      err = "JPEG stream has marker FF" + hex2(m) + " at byte " + std::to_string(at) +
            (m <= 0xBF || m == 0xC8 || m >= 0xF0 ? " (reserved)" : " (out of place)");
      return Header::bad;
    }
    if (pos + 2 > n) {
      err = "JPEG segment FF" + hex2(m) + " at byte " + std::to_string(at) + " is cut off";
      return Header::cutOff;
    }
    const size_t len = size_t(p[pos]) << 8 | p[pos + 1];
    if (len < 2 || pos + len > n) {
      err = "JPEG segment FF" + hex2(m) + " at byte " + std::to_string(at) + " claims " + std::to_string(len) +
            " bytes, " + std::to_string(n - pos) + " remain";
      return len < 2 ? Header::bad : Header::cutOff;
    }
    if (isSof(m)) {
      if (frameHeader) {
        err = "JPEG stream has a second frame header at byte " + std::to_string(at);
        return Header::bad;
      }
      if (len < 8) {
        err = "JPEG frame header at byte " + std::to_string(at) + " is too short";
        return Header::bad;
      }
      frameHeader = true;
    }
    if (m == 0xDA) {
      if (!frameHeader) {
        err = "JPEG scan at byte " + std::to_string(at) + " comes before any frame header";
        return Header::bad;
      }
      return Header::ok;  // entropy-coded data follows; the decoder checks it
    }
    pos += len;
  }
}

}  // namespace

bool checkJpegFragments(DcmPixelSequence* seq, std::string& err) {
  if (!seq || seq->card() < 2) {
    err = "compressed pixel data holds no fragment";
    return false;
  }
  // Every frame starts a fragment with SOI; a frame runs on over the
  // fragments that follow until the next such start. The header normally
  // lies within the first fragment; the fragments are joined only when it
  // does not.
  struct Piece {
    const uint8_t* p;
    size_t n;
  };
  std::vector<Piece> pieces;
  size_t frame = 0;
  auto finish = [&]() {
    if (pieces.empty()) return true;
    ++frame;
    std::string why;
    Header h = walkHeader(pieces[0].p, pieces[0].n, why);
    if (h == Header::cutOff && pieces.size() > 1) {
      std::vector<uint8_t> joined;
      for (const Piece& pc : pieces) joined.insert(joined.end(), pc.p, pc.p + pc.n);
      why.clear();
      h = walkHeader(joined.data(), joined.size(), why);
    }
    pieces.clear();
    if (h != Header::ok) {
      err = "frame " + std::to_string(frame) + ": " + why;
      return false;
    }
    return true;
  };
  const unsigned long n = seq->card();
  for (unsigned long i = 1; i < n; ++i) {
    DcmPixelItem* it = nullptr;
    if (seq->getItem(it, i).bad() || !it) {
      err = "compressed pixel data fragment missing";
      return false;
    }
    Uint8* data = nullptr;
    const Uint32 len = it->getLength();
    if (len && (it->getUint8Array(data).bad() || !data)) {
      err = "compressed pixel data fragment unreadable";
      return false;
    }
    const bool starts = len >= 2 && data[0] == 0xFF && data[1] == 0xD8;
    if (i == 1 && !starts) {
      err = "JPEG stream does not start with SOI";
      return false;
    }
    if (starts && !finish()) return false;
    if (len) pieces.push_back({data, len});
  }
  return finish();
}

}  // namespace dcmSDK::detail
