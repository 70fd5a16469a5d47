// The storage server under traffic that DCMTK's tools do not send: colliding
// file names, datasets without their own UID, an element of 1 GiB from a raw
// sender, and deflated transfers from storescu and Orthanc.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "support_dcm.h"
#include "support_net.h"

namespace fs = std::filesystem;
using namespace nettest;

namespace {

struct Server : OwnServer {
  // Stored files (the temporary folder left out).
  std::vector<std::string> stored() const {
    std::vector<std::string> out;
    for (auto& f : filesUnder(root))
      if (f.find("/.incoming/") == std::string::npos) out.push_back(f);
    return out;
  }
};

size_t countLines(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

std::string storescu(uint16_t port, const std::vector<std::string>& files, const std::vector<std::string>& opts = {}) {
  std::vector<std::string> argv = {"storescu", "-v", "-aet", "TESTSCU", "-aec", "fernwick"};
  argv.insert(argv.end(), opts.begin(), opts.end());
  argv.push_back("127.0.0.1");
  argv.push_back(str(port));
  argv.insert(argv.end(), files.begin(), files.end());
  std::string out;
  runTool(argv, &out, 60000);
  return out;
}

// ---- a sender speaking the upper layer protocol itself --------------------------

void be16(std::string& s, uint16_t v) {
  s.push_back(char(v >> 8));
  s.push_back(char(v));
}
void be32(std::string& s, uint32_t v) {
  be16(s, uint16_t(v >> 16));
  be16(s, uint16_t(v));
}
void le16(std::string& s, uint16_t v) {
  s.push_back(char(v));
  s.push_back(char(v >> 8));
}
void le32(std::string& s, uint32_t v) {
  le16(s, uint16_t(v));
  le16(s, uint16_t(v >> 16));
}
std::string item(uint8_t type, const std::string& body) {
  std::string s(1, char(type));
  s.push_back(0);
  be16(s, uint16_t(body.size()));
  return s + body;
}
// Implicit VR little endian element; texts padded to even length.
std::string element(uint16_t g, uint16_t e, std::string v, char pad = ' ') {
  if (v.size() % 2) v.push_back(pad);
  std::string s;
  le16(s, g);
  le16(s, e);
  le32(s, uint32_t(v.size()));
  return s + v;
}
std::string us(uint16_t g, uint16_t e, uint16_t v) {
  std::string b;
  le16(b, v);
  return element(g, e, b);
}

constexpr const char* kImplicitLE = "1.2.840.10008.1.2";
constexpr const char* kSecondaryCapture = "1.2.840.10008.5.1.4.1.1.7";

class RawSender {
 public:
  ~RawSender() {
    if (fd_ >= 0) close(fd_);
  }

  bool open(uint16_t port, const std::string& callingAE) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return false;
    auto ae = [](std::string a) {
      a.resize(16, ' ');
      return a;
    };
    std::string body;
    be16(body, 1);
    be16(body, 0);
    body += ae("fernwick") + ae(callingAE) + std::string(32, '\0');
    body += item(0x10, "1.2.840.10008.3.1.1.1");
    body += item(0x20, std::string("\x01\0\0\0", 4) + item(0x30, kSecondaryCapture) + item(0x40, kImplicitLE));
    std::string maxLen;
    be32(maxLen, 16384);
    body += item(0x50, item(0x51, maxLen) + item(0x52, "1.2.3.4.5.6.7"));
    if (!sendPdu(0x01, body)) return false;
    uint8_t type = 0;
    std::string ac;
    if (!readPdu(type, ac) || type != 0x02) return false;
    // The presentation context's result must be "acceptance".
    for (size_t p = 68; p + 4 <= ac.size();) {
      uint16_t len = uint16_t(uint8_t(ac[p + 2]) << 8 | uint8_t(ac[p + 3]));
      if (uint8_t(ac[p]) == 0x21) return p + 6 < ac.size() && ac[p + 6] == 0;
      p += 4 + len;
    }
    return false;
  }

  // One C-STORE: the command, then the dataset in fragments that produce()
  // fills (false from it ends the dataset). Returns the status, or -1.
  int store(const std::string& affectedUid, const std::function<bool(std::string&)>& produce) {
    std::string cmd = element(0, 2, kSecondaryCapture, '\0') + us(0, 0x100, 0x0001) + us(0, 0x110, ++msgId_) +
                      us(0, 0x700, 0) + us(0, 0x800, 0x0000) + element(0, 0x1000, affectedUid, '\0');
    std::string gl;
    le32(gl, uint32_t(cmd.size()));
    if (!sendPdv(element(0, 0, gl) + cmd, true, true)) return -1;
    std::string chunk, next;
    bool more = produce(chunk);
    while (more) {
      more = produce(next);
      if (!sendPdv(chunk, false, !more)) return -1;
      chunk.swap(next);
    }
    // The answer: a command with (0000,0900).
    for (;;) {
      uint8_t type = 0;
      std::string pdu;
      if (!readPdu(type, pdu) || type != 0x04) return -1;
      for (size_t p = 0; p + 6 <= pdu.size();) {
        uint32_t len = uint32_t(uint8_t(pdu[p])) << 24 | uint32_t(uint8_t(pdu[p + 1])) << 16 |
                       uint32_t(uint8_t(pdu[p + 2])) << 8 | uint8_t(pdu[p + 3]);
        std::string data = pdu.substr(p + 6, len - 2);
        for (size_t q = 0; q + 8 <= data.size();) {
          uint16_t g = uint16_t(uint8_t(data[q]) | uint8_t(data[q + 1]) << 8);
          uint16_t e = uint16_t(uint8_t(data[q + 2]) | uint8_t(data[q + 3]) << 8);
          uint32_t l = uint32_t(uint8_t(data[q + 4])) | uint32_t(uint8_t(data[q + 5])) << 8 |
                       uint32_t(uint8_t(data[q + 6])) << 16 | uint32_t(uint8_t(data[q + 7])) << 24;
          if (g == 0 && e == 0x900 && l == 2 && q + 10 <= data.size())
            return uint8_t(data[q + 8]) | uint8_t(data[q + 9]) << 8;
          q += 8 + l;
        }
        p += 4 + len;
      }
    }
  }

  void release() {
    sendPdu(0x05, std::string(4, '\0'));
    uint8_t type;
    std::string body;
    readPdu(type, body);
  }

 private:
  bool sendAll(const std::string& s) {
    for (size_t done = 0; done < s.size();) {
      ssize_t n = ::send(fd_, s.data() + done, s.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }
  bool sendPdu(uint8_t type, const std::string& body) {
    std::string s(1, char(type));
    s.push_back(0);
    be32(s, uint32_t(body.size()));
    return sendAll(s + body);
  }
  bool sendPdv(const std::string& data, bool command, bool last) {
    std::string pdv;
    be32(pdv, uint32_t(data.size() + 2));
    pdv.push_back(1);
    pdv.push_back(char((command ? 1 : 0) | (last ? 2 : 0)));
    return sendPdu(0x04, pdv + data);
  }
  bool readAll(char* p, size_t n) {
    while (n) {
      ssize_t k = ::recv(fd_, p, n, 0);
      if (k <= 0) return false;
      p += k;
      n -= size_t(k);
    }
    return true;
  }
  bool readPdu(uint8_t& type, std::string& body) {
    char h[6];
    if (!readAll(h, 6)) return false;
    type = uint8_t(h[0]);
    uint32_t len = uint32_t(uint8_t(h[2])) << 24 | uint32_t(uint8_t(h[3])) << 16 | uint32_t(uint8_t(h[4])) << 8 |
                   uint8_t(h[5]);
    body.assign(len, '\0');
    return readAll(body.data(), len);
  }

  int fd_ = -1;
  uint16_t msgId_ = 0;
};

// A small dataset: identifying elements, then a few pixels.
std::string smallDataset(const std::string& sop) {
  std::string ds = element(0x0008, 0x0016, kSecondaryCapture, '\0');
  if (!sop.empty()) ds += element(0x0008, 0x0018, sop, '\0');
  ds += element(0x0008, 0x0060, "OT") + element(0x0010, 0x0010, "RAW^SENDER") + element(0x0010, 0x0020, "RAW1") +
        element(0x0020, 0x000D, "1.2.826.0.1.3680043.2.1143.900", '\0') +
        element(0x0020, 0x000E, "1.2.826.0.1.3680043.2.1143.901", '\0') + element(0x7FE0, 0x0010, "pixels!!");
  return ds;
}

uint64_t residentBytes() {
  std::ifstream in("/proc/self/statm");
  uint64_t size = 0, rss = 0;
  in >> size >> rss;
  return rss * uint64_t(sysconf(_SC_PAGESIZE));
}

}  // namespace

TEST(NetReceive, DistinctInstancesNeverShareAFile) {
  recordMessages();
  Server srv;
  ASSERT_NE(srv.port, 0);
  const std::string longA = "1.2.826.0.1.3680043.2.1143." + std::string(100, '1') + "7777";
  const std::string longB = "1.2.826.0.1.3680043.2.1143." + std::string(100, '1') + "8888";
  ASSERT_EQ(longA.size(), 131u);
  // Pairs that sanitise or shorten to the same name.
  const std::pair<std::string, std::string> pairs[] = {
      {"1.2.3.4/5", "1.2.3.4_5"},
      {"..", "__"},
      {longA, longB},
  };
  std::string dir = newDir("pairs");
  std::vector<std::string> files;
  std::map<std::string, std::string> sumBySop;
  int i = 0;
  for (auto& [a, b] : pairs)
    for (auto& uid : {a, b}) {
      std::string f = dir + "/f" + std::to_string(i++) + ".dcm";
      dcmfixtures::writeTagged(f, {{0x00080018, uid}}, 16 + i, 16);
      files.push_back(f);
      sumBySop[uid] = pixelSum(f);
    }
  std::string out = storescu(srv.port, files);
  ASSERT_EQ(countLines(out, "Received Store Response (Success)"), files.size()) << out;
  ASSERT_TRUE(waitMessages([&](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) >= files.size(); }));

  // Every acknowledged instance is on disk, in a file of its own.
  auto check = [&] {
    std::set<std::string> onDisk;
    for (auto& f : srv.stored()) {
      std::string sop = sopOf(f);
      EXPECT_TRUE(onDisk.insert(sop).second) << "two files of " << sop;
      ASSERT_TRUE(sumBySop.count(sop)) << f;
      EXPECT_EQ(pixelSum(f), sumBySop[sop]) << f;
    }
    EXPECT_EQ(onDisk.size(), files.size());
  };
  check();
  for (auto& m : messagesOf(dcmSDK::DCM_MSG_IMAGE_STORED))
    EXPECT_EQ(sopOf(srv.root + "/" + m.rec->folder + m.rec->fileName), m.rec->sopInstanceUID);

  // The same instances again replace themselves.
  out = storescu(srv.port, files);
  EXPECT_EQ(countLines(out, "Received Store Response (Success)"), files.size()) << out;
  check();
}

TEST(NetReceive, DatasetWithoutUidIsStoredOncePerContent) {
  recordMessages();
  Server srv;
  ASSERT_NE(srv.port, 0);
  // The same dataset from two senders (other AE title, other UID in the
  // command), then a different one.
  auto send = [&](const std::string& ae, const std::string& affected, const std::string& ds) {
    RawSender s;
    EXPECT_TRUE(s.open(srv.port, ae));
    bool sent = false;
    int status = s.store(affected, [&](std::string& chunk) {
      if (sent) return false;
      chunk = ds;
      return sent = true;
    });
    s.release();
    return status;
  };
  std::string ds = smallDataset("");
  EXPECT_EQ(send("FIRST", "1.2.3.100", ds), 0);
  EXPECT_EQ(send("SECOND-SENDER", "1.2.3.200", ds), 0);
  ASSERT_TRUE(waitMessages([&](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) >= 2; }));
  EXPECT_EQ(srv.stored().size(), 1u);
  auto recs = messagesOf(dcmSDK::DCM_MSG_IMAGE_STORED);
  EXPECT_STREQ(recs[0].rec->fileName, recs[1].rec->fileName);
  std::string other = ds;
  other.replace(other.find("pixels!!"), 8, "pixels??");
  EXPECT_EQ(send("FIRST", "1.2.3.300", other), 0);
  ASSERT_TRUE(waitMessages([&](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) >= 3; }));
  EXPECT_EQ(srv.stored().size(), 2u);
}

TEST(NetReceive, GigabyteElementKeepsMemoryBounded) {
  recordMessages();
  Server srv;
  ASSERT_NE(srv.port, 0);
  constexpr uint32_t kElement = 1u << 30;
  // Resident growth allowed while receiving: a few PDU buffers; with the
  // address sanitizer, also its quarantine of freed blocks (256 MiB).
#if defined(__SANITIZE_ADDRESS__)
  constexpr uint64_t kBound = 384ull << 20;
#else
  constexpr uint64_t kBound = 64ull << 20;
#endif
  const std::string sop = "1.2.826.0.1.3680043.2.1143.902";
  std::string head = smallDataset(sop);
  head.resize(head.find(std::string("\xE0\x7F\x10\x00", 4)));
  le16(head, 0x7FE0);
  le16(head, 0x0010);
  le32(head, kElement);

  uint64_t base = residentBytes();
  std::atomic<bool> done{false};
  std::atomic<uint64_t> peak{base};
  std::thread watch([&] {
    while (!done) {
      uint64_t r = residentBytes();
      if (r > peak) peak = r;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  RawSender s;
  ASSERT_TRUE(s.open(srv.port, "RAWSCU"));
  uint64_t left = kElement;
  bool headSent = false;
  const std::string zeros(16000, '\0');
  int status = s.store(sop, [&](std::string& chunk) {
    if (!headSent) {
      chunk = head;
      return headSent = true;
    }
    if (left == 0) return false;
    chunk.assign(zeros, 0, size_t(std::min<uint64_t>(left, zeros.size())));
    left -= chunk.size();
    return true;
  });
  s.release();
  done = true;
  watch.join();
  EXPECT_EQ(status, 0);
  EXPECT_LT(peak - base, kBound) << "resident size grew by " << ((peak - base) >> 20) << " MiB";
  ASSERT_TRUE(waitMessages([&](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) >= 1; }));
  auto stored = srv.stored();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_GT(fs::file_size(stored[0]), uint64_t(kElement));
  fs::remove(stored[0]);
}

TEST(NetReceive, DeflatedTransfersAreStored) {
  recordMessages();
  Server srv;
  ASSERT_NE(srv.port, 0);
  auto& defl = dcmtest::series("ct_deflated");
  auto& plain = dcmtest::series("ct_ele");
  std::map<std::string, std::string> sums;
  for (auto* s : {&defl, &plain})
    for (auto& f : s->files) sums[sopOf(f)] = pixelSum(f);

  // storescu offering only deflated contexts.
  std::string out = storescu(srv.port, plain.files, {"-xd"});
  EXPECT_EQ(countLines(out, "Received Store Response (Success)"), plain.files.size()) << out;
  EXPECT_NE(out.find("Deflated"), std::string::npos) << out;

  // Orthanc holding deflated files sends them on with C-MOVE.
  Orthanc orthanc;
  ASSERT_TRUE(orthanc.start(false, srv.port));
  out.clear();
  std::vector<std::string> argv = {"storescu", "-xd", "-aet", "TESTSCU", "-aec", "ORTHANC", "127.0.0.1",
                                   str(orthanc.port)};
  argv.insert(argv.end(), defl.files.begin(), defl.files.end());
  ASSERT_EQ(runTool(argv, &out), 0) << out;
  dcmSDK::dcmReader r;
  char st[128], se[128];
  ASSERT_TRUE(r.setFile(defl.files[0].c_str()));
  r.readDicomTagString(0x0020, 0x000D, st, sizeof st);
  r.readDicomTagString(0x0020, 0x000E, se, sizeof se);
  dcmSDK::dcmGet get;
  ASSERT_TRUE(get.getSeriesByUID("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "", st, se,
                                 newDir("down").c_str(), "P", "1", "CT"));
  size_t want = plain.files.size() + defl.files.size();
  ASSERT_TRUE(waitMessages([&](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) >= want; }, 20000));
  auto recs = messagesOf(dcmSDK::DCM_MSG_IMAGE_STORED);
  EXPECT_EQ(recs.size(), want);
  bool deflatedKept = false;
  for (auto& m : recs) {
    std::string path = srv.root + "/" + m.rec->folder + m.rec->fileName;
    EXPECT_EQ(pixelSum(path), sums[m.rec->sopInstanceUID]) << path;
    dcmSDK::dcmReader rr;
    char ts[128] = "";
    ASSERT_TRUE(rr.setFile(path.c_str()));
    rr.readDicomTagString(0x0002, 0x0010, ts, sizeof ts);
    deflatedKept |= std::string(ts) == "1.2.840.10008.1.2.1.99";
  }
  EXPECT_TRUE(deflatedKept);
  EXPECT_TRUE(waitMessages([](auto& all) { return countOf(all, dcmSDK::DCM_MSG_GET_READY) >= 1; }, 5000));
}
