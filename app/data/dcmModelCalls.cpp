#include "app/data/dcmModelCalls.h"

#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSLanguage.h"

dcmModelCalls dcmModelCalls::service() {
  dcmModelCalls c;
  c.findPatientByName = [](const std::string& ip, const std::string& port, const std::string& called,
                           const std::string& calling, const std::string& pattern) {
    return dataService::getInstance()->finder.findPatientByName(ip.c_str(), port.c_str(), called.c_str(),
                                                                 calling.c_str(), pattern.c_str());
  };
  c.findStudyByUID = [](const std::string& ip, const std::string& port, const std::string& called,
                        const std::string& calling, const std::string& study) {
    return dataService::getInstance()->finder.findStudyByUID(ip.c_str(), port.c_str(), called.c_str(),
                                                              calling.c_str(), study.c_str());
  };
  c.getSeriesByUID = [](const GetTaskRecord& f) {
    return dataService::getInstance()->getter.getSeriesByUID(
        f[0].c_str(), f[1].c_str(), f[2].c_str(), f[3].c_str(), f[4].c_str(), f[5].c_str(), f[6].c_str(),
        f[7].c_str(), f[8].c_str(), f[9].c_str());
  };
  c.sendTasks = [] { return dataService::getInstance()->sendTasks; };
  c.retrieveTasks = [] { return dataService::getInstance()->getRetrieveTasks(); };
  c.addSendTask = [](dcmSendingObject* t) { dataService::getInstance()->addSendTask(t); };
  c.removeRetrieveTask = [](dcmGetingObject* t) { dataService::getInstance()->removeRetrieveTask(t); };
  c.neighbors = [] {
    std::vector<dcmNeighbor> list;
    if (auto* db = dataService::getInstance()->database) db->getNeighbors(list);
    return list;
  };
  c.now = [] { return NSUI::getCurrentTimeString(); };
  return c;
}

std::string dcmLocalized(const std::string& key) {
  // The process's table is the settings singleton's (AppConfig).
  std::string text = NSUI::getLocalizedString(key);
  return text.empty() ? key : text;
}
