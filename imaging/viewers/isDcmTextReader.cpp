#include "imaging/viewers/isDcmTextReader.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSThread.h"

namespace isImageSDK {

namespace {

// The first of the elements that the file holds with a value; "" when none.
std::string firstOf(const DicomTagSource& tags, std::initializer_list<std::pair<unsigned short, unsigned short>> keys) {
  for (const auto& [group, element] : keys) {
    std::string value;
    if (tags(group, element, value) && !value.empty()) return value;
  }
  return std::string();
}

// Characters [from, from + count) of text; what lies beyond its end is empty.
std::string part(const std::string& text, size_t from, size_t count) {
  return from < text.size() ? text.substr(from, count) : std::string();
}

std::string formatDate(const std::string& date) {
  if (date.empty()) return std::string();
  return part(date, 0, 4) + "." + part(date, 4, 2) + "." + part(date, 6, 2);
}

std::string formatTime(const std::string& time) {
  return part(time, 0, 2) + ":" + part(time, 2, 2) + ":" + part(time, 4, 2);
}

std::mutex& readerMutex() {
  static std::mutex mutex;
  return mutex;
}

isDcmTextReader::FileReader& currentFileReader() {
  static isDcmTextReader::FileReader reader;
  return reader;
}

std::atomic<int> runningJobs{0};

}  // namespace

std::string formatPatientInfo(const DicomTagSource& tags) {
  using NSUI::UIJson;
  std::string json;
  if (!tags) return json;
  auto one = [&](unsigned short group, unsigned short element) { return firstOf(tags, {{group, element}}); };

  if (std::string v = one(0x0020, 0x0010); !v.empty()) UIJson::setJsonString(json, "studyID", v);
  if (std::string v = one(0x0020, 0x0011); !v.empty()) UIJson::setJsonString(json, "seriesID", v);
  if (std::string v = one(0x0008, 0x0080); !v.empty()) {
    for (char& c : v)
      if (c == ',') c = '_';
    UIJson::setJsonString(json, "hospital", v);
  }
  const std::string date = firstOf(tags, {{0x0008, 0x0021}, {0x0008, 0x0020}, {0x0008, 0x0022}});
  const std::string time = firstOf(tags, {{0x0008, 0x0031}, {0x0008, 0x0030}, {0x0008, 0x0032}});
  if (!time.empty()) UIJson::setJsonString(json, "seriesTime", formatDate(date) + " " + formatTime(time));
  if (std::string v = one(0x0010, 0x0010); !v.empty()) UIJson::setJsonString(json, "patient", v);

  std::string info = one(0x0010, 0x0040);
  if (info == "0000") info.clear();
  if (std::string age = one(0x0010, 0x1010); !age.empty()) {
    info += " " + age;
  } else if (std::string birth = one(0x0010, 0x0030); !birth.empty()) {
    info += " " + birth;
  }
  if (std::string weight = one(0x0010, 0x1030); !weight.empty() && weight != "0") info += " W=" + weight;
  UIJson::setJsonString(json, "patientInfo", info);

  const std::string desc = firstOf(tags, {{0x0018, 0x1030}, {0x0008, 0x103E}, {0x0008, 0x1030}});
  if (!desc.empty()) UIJson::setJsonString(json, "imageDesc", desc);
  return json;
}

bool readPatientInfoFile(const std::string& path, std::string& json) {
  if (path.empty()) return false;
  dcmSDK::dcmReader reader;
  if (!reader.setFile(path.c_str())) return false;
  json = formatPatientInfo([&reader](unsigned short group, unsigned short element, std::string& value) {
    char buffer[256];
    if (!reader.readDicomTagString(group, element, buffer, static_cast<int>(sizeof buffer))) return false;
    value = buffer;
    return true;
  });
  return true;
}

// Shared by the slot and its job. The scheduler is taken on the UI thread;
// `cancelled` and the hand-off are decided under the mutex, so a job either
// hands its result over before the slot is cancelled (and the cancel drops
// it) or sees the cancel and hands nothing over.
struct isDcmTextReader::Ticket {
  std::mutex mutex;
  bool cancelled = false;
  cocos2d::Scheduler* scheduler = nullptr;
};

namespace {

// Up to five seconds for the jobs under way (one file each) to end.
void waitForJobsAtExit() {
  for (int i = 0; i < 5000 && isDcmTextReader::jobsRunning() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

isDcmTextReader::~isDcmTextReader() { cancel(); }

bool isDcmTextReader::start(void* newOwner, const std::string& path, Result done) {
  if (ticket || path.empty()) return false;
  auto* director = cocos2d::Director::getInstanceIfExists();
  cocos2d::Scheduler* scheduler = director ? director->getScheduler() : nullptr;
  if (!scheduler) return false;
  FileReader read;
  {
    std::lock_guard<std::mutex> lock(readerMutex());
    read = currentFileReader();
  }
  if (!read) read = readPatientInfoFile;

  // A job still reading when the program ends would meet the DICOM
  // library's static objects being torn down: the end waits for the jobs
  // (registered after the library's statics, so it runs before they go).
  static const bool waitsAtExit = (std::atexit(waitForJobsAtExit), true);
  (void)waitsAtExit;

  owner = newOwner;
  auto t = std::make_shared<Ticket>();
  t->scheduler = scheduler;
  ticket = t;
  runningJobs.fetch_add(1);
  auto job = [this, t, path, read, done = std::move(done), key = newOwner](void*) {
    std::string json;
    const bool ok = read(path, json);
    {
      std::lock_guard<std::mutex> lock(t->mutex);
      if (!t->cancelled && t->scheduler) {
        // Runs only while the slot lives: the slot's cancel, which its
        // destructor calls, removes this function first.
        t->scheduler->performFunctionInCocosThread(key, [this, t, ok, json, done] {
          if (ticket != t || t->cancelled) return;
          ticket.reset();
          if (done) done(ok, json);
        });
      }
    }
    runningJobs.fetch_sub(1);
  };
  new NSUI::NSRunableThread(job, nullptr);  // deletes itself when the job ends
  return true;
}

void isDcmTextReader::cancel() {
  if (!ticket) return;
  {
    std::lock_guard<std::mutex> lock(ticket->mutex);
    ticket->cancelled = true;
    ticket->scheduler = nullptr;
  }
  if (auto* director = cocos2d::Director::getInstanceIfExists())
    if (auto* scheduler = director->getScheduler()) scheduler->removeFunctionInCocosThread(owner);
  ticket.reset();
}

int isDcmTextReader::jobsRunning() { return runningJobs.load(); }

isDcmTextReader::FileReader isDcmTextReader::setFileReader(FileReader reader) {
  std::lock_guard<std::mutex> lock(readerMutex());
  return std::exchange(currentFileReader(), std::move(reader));
}

}  // namespace isImageSDK
