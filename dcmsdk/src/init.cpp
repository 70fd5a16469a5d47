// One-time initialisation, global callbacks, log routing and the library's end.
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "dcmsdk/src/internal.h"

#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmimage/diregist.h>  // colour image support for DicomImage
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/dcmjpls/djdecode.h>
#include <dcmtk/oflog/appender.h>
#include <dcmtk/oflog/logger.h>
#include <dcmtk/oflog/oflog.h>
#include <dcmtk/oflog/spi/logevent.h>

namespace dcmSDK {
namespace {

std::atomic<LogCallback> g_log{nullptr};
std::atomic<MsgCallback> g_msg{nullptr};
std::atomic<Gb2Utf8Callback> g_gb2utf8{nullptr};
std::atomic<ReadFileCallback> g_readFile{nullptr};
std::atomic<SavePngCallback> g_savePng{nullptr};
std::atomic<bool> g_destroyed{false};
std::once_flag g_initOnce;
std::mutex g_destroyMutex;

// Forwards DCMTK's warnings and errors to the log callback; silent without one.
class LogSink : public dcmtk::log4cplus::Appender {
 public:
  ~LogSink() override { destructorImpl(); }
  void close() override { closed = true; }

 protected:
  void append(const dcmtk::log4cplus::spi::InternalLoggingEvent& ev) override {
    LogCallback cb = g_log.load();
    if (!cb) return;
    const char* level = ev.getLogLevel() >= dcmtk::log4cplus::ERROR_LOG_LEVEL ? "error" : "warning";
    std::string text = std::string("dcmsdk: ") + level + ": " + ev.getMessage().c_str();
    std::string clean = detail::sanitizeUtf8(text);
    cb(clean.c_str());
  }
};

void initOnce() {
  // Associations opened later must not wait on Nagle's algorithm.
  setenv("TCP_NODELAY", "1", 0);
  OFLog::configure(OFLogger::WARN_LOG_LEVEL);
  dcmtk::log4cplus::Logger root = dcmtk::log4cplus::Logger::getRoot();
  root.removeAllAppenders();
  root.addAppender(dcmtk::log4cplus::SharedAppenderPtr(new LogSink));
  root.setLogLevel(dcmtk::log4cplus::WARN_LOG_LEVEL);

  if (!dcmDataDict.isDictionaryLoaded())
    detail::logLine("error: the DICOM data dictionary could not be loaded");

  DJDecoderRegistration::registerCodecs(EDC_photometricInterpretation, EUC_never);
  DJLSDecoderRegistration::registerCodecs(EJLSUC_never, EJLSPC_restore);
  DcmRLEDecoderRegistration::registerCodecs();
}

}  // namespace

namespace detail {

void ensureInit() { std::call_once(g_initOnce, initOnce); }
bool isDestroyed() { return g_destroyed.load(); }

void logLine(const std::string& text) {
  LogCallback cb = g_log.load();
  if (!cb) return;
  std::string line = sanitizeUtf8("dcmsdk: " + text);
  cb(line.c_str());
}

Gb2Utf8Callback gb2utf8() { return g_gb2utf8.load(); }
SavePngCallback savePng() { return g_savePng.load(); }
MsgCallback msgSink() { return g_msg.load(); }

}  // namespace detail

void setLogCallback(LogCallback cb) {
  g_log.store(cb);
  detail::ensureInit();
}
void setMsgCallback(MsgCallback cb) {
  g_msg.store(cb);
  detail::ensureInit();
}
void setgb2utf8Callback(Gb2Utf8Callback cb) {
  g_gb2utf8.store(cb);
  detail::ensureInit();
}
void setReadFileCallback(ReadFileCallback cb) {
  // Kept for the application's start-up sequence; DCMTK reads files itself.
  g_readFile.store(cb);
  detail::ensureInit();
}
void setSavePngCallback(SavePngCallback cb) {
  g_savePng.store(cb);
  detail::ensureInit();
}

void dcmsdk_destroy() {
  std::lock_guard<std::mutex> lock(g_destroyMutex);
  if (g_destroyed.exchange(true)) return;
  detail::ensureInit();  // so that cleanup below always pairs with a registration
  detail::netShutdown();  // no network thread may still use the codecs
  DJDecoderRegistration::cleanup();
  DJLSDecoderRegistration::cleanup();
  DcmRLEDecoderRegistration::cleanup();
  dcmtk::log4cplus::Logger::getRoot().removeAllAppenders();
  g_msg.store(nullptr);
}

}  // namespace dcmSDK
