// What the models of the network screens (query and retrieve, node list,
// transfer list) ask of the DICOM task service, and how they report to the
// screen that draws them. The default calls go to dataService::getInstance();
// tests put their own in their place.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/data/dataService.h"

struct dcmModelCalls {
  // Arguments in the order of the library: host, port, called AE title,
  // calling AE title, then the pattern or the study UID.
  std::function<bool(const std::string&, const std::string&, const std::string&, const std::string&,
                     const std::string&)>
      findPatientByName;
  std::function<bool(const std::string&, const std::string&, const std::string&, const std::string&,
                     const std::string&)>
      findStudyByUID;
  // The ten fields of a retrieve in library order.
  std::function<bool(const GetTaskRecord&)> getSeriesByUID;
  // The service's send queue and retrieve list, in their order.
  std::function<std::vector<dcmSendingObject*>()> sendTasks;
  std::function<std::vector<dcmGetingObject*>()> retrieveTasks;
  std::function<void(dcmSendingObject*)> addSendTask;
  std::function<void(dcmGetingObject*)> removeRetrieveTask;
  // The stored neighbour nodes, in the order of the database's query.
  std::function<std::vector<dcmNeighbor>()> neighbors;
  // The local time now, in the form of NSUI::getCurrentTimeString.
  std::function<std::string()> now;

  // Every call bound to the task service (made on first use).
  static dcmModelCalls service();
};

// How a model tells its screen what changed. Row events carry the row index
// after the change; a message is a text and the seconds it stays up.
struct dcmRowEvents {
  std::function<void(int)> inserted;
  std::function<void(int)> updated;
  std::function<void(int)> removed;
  std::function<void(const std::string&, float)> message;
};

// The localised text of key (the table of AppConfig::getLocalizedString, as
// NSUI::getLocalizedString reaches it), or the key itself when it has none.
std::string dcmLocalized(const std::string& key);
