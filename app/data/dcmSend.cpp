#include "app/data/dcmSend.h"

#include "app/data/sniffer.h"
#include "app/online/statApplication.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSLanguage.h"

USING_NS_CC;

namespace {

const Color3B kNameColour(21, 170, 254);

const char* deviceIcon(int device) {
  switch (device) {
    case 1:
      return "imgs/device_Android.png";
    case 3:
      return "imgs/device_iOS.png";
    case 4:
      return "imgs/device_Mac.png";
    default:
      return "imgs/device_PC.png";
  }
}

template <class T>
T* child(Node* root, const std::string& name) {
  return root ? dynamic_cast<T*>(root->getChildByNameDeep(name)) : nullptr;
}

void translate(Node* node) {
  if (auto* config = AppConfig::getInstance()) config->translateNode(node, "");
}

}  // namespace

// ------------------------------------------------------------------ window

NSUI::NSResponseWindow* dcmSend::createWindow() {
  auto* window = NSUI::NSResponseWindow::create();
  if (!window) return nullptr;
  auto* screen = dcmSend::create();
  if (!screen) return window;
  screen->enableAndroidReturnKey(true);
  screen->loadLists();
  window->addChild(screen);
  window->placePanel(screen->panel);
  return window;
}

void dcmSend::setSendData(const std::string& path, const std::string& name) {
  sendPath = path;
  sendName = name;
  if (nodes) {
    nodes->sendPath = path;
    nodes->sendName = name;
  }
}

dcmSend::~dcmSend() {
  // The models go before the tables they feed: no event reaches them now.
  if (nodes) nodes->events = {};
  if (transfers) transfers->events = {};
}

void dcmSend::recordUsage(int event) {
  if (auto* stat = statApplication::getInstanceIfExists()) stat->addStat(event, "");
}

bool dcmSend::init() {
  if (!Node::init()) return false;
  setWidget(this);
  recordUsage(kStatOpened);
  localRowCount = 0;
  discoveryPending = true;
  sendName.clear();
  sendPath.clear();
  setName("dcmSend");
  nodes = std::make_unique<dcmNodeList>();
  transfers = std::make_unique<dcmTransferList>();
  nodes->transfers = transfers.get();
  auto message = [this](const std::string& text, float seconds) { showMessage(text, seconds); };
  nodes->events.message = message;
  transfers->events.message = message;
  if (Node* loaded = CSLoader::createNode(kPanelName)) {
    addChild(loaded);
    loaded->setName(kPanelName);
    panel = loaded;
  }
  return true;
}

void dcmSend::onEnterTransitionDidFinish() {
  Node::onEnterTransitionDidFinish();
  if (!discoveryPending) return;
  discoveryPending = false;
  if (auto* finder = NSUI::sniffer::getInstance()) finder->startDiscovery();
}

void dcmSend::onExit() {
  recordUsage(kStatClosed);
  Node::onExit();
}

void dcmSend::cleanup() {
  recordUsage(kStatClosed);
  // The models stop listening (their rows stay in the tables until these go).
  if (nodes) {
    nodes->events = {};
    nodes->close();
  }
  if (transfers) {
    transfers->events = {};
    transfers->close();
  }
  Node::cleanup();
}

bool dcmSend::onResponseReturn() {
  NSUI::NSResponseWindow::closeHolding(this);
  return true;
}

// ------------------------------------------------------------------ tables

NSUI::NSListView* dcmSend::replacePlaceholder(const std::string& placeholder) {
  Node* place = panel ? panel->getChildByNameDeep(placeholder) : nullptr;
  auto* table = NSUI::NSListView::create();
  if (!table) return nullptr;
  // Without the panel file the tables still exist, on the screen itself.
  Node* parent = panel ? panel : this;
  if (place) {
    table->setContentSize(place->getContentSize());
    table->setAnchorPoint(place->getAnchorPoint());
    table->setPosition(place->getPosition());
    table->setLocalZOrder(place->getLocalZOrder());
    parent = place->getParent();
    parent->removeChildByName(placeholder);
  }
  parent->addChild(table);
  table->delegate = this;
  table->reloadData();
  table->stickySelection = true;
  return table;
}

void dcmSend::loadLists() {
  if (listsLoaded) return;
  listsLoaded = true;
  if (panel) translate(panel);
  highlightEnabled = true;

  nodeTable = replacePlaceholder("list");
  nodes->events.inserted = [this](int i) {
    if (nodeTable) nodeTable->insertRow(i, nodes->rows()[i]);
  };
  nodes->events.updated = [this](int i) {
    if (nodeTable) nodeTable->updateCellSizeAtIndex(i);
  };
  nodes->events.removed = [this](int i) {
    if (nodeTable) nodeTable->removeRow(i);
  };
  nodes->sendPath = sendPath;
  nodes->sendName = sendName;
  nodes->open();
  localRowCount = nodes->localRowCount;

  transferTable = replacePlaceholder("sending");
  transfers->events.inserted = [this](int i) {
    if (transferTable) transferTable->insertRow(i, transfers->rows()[i]);
  };
  transfers->events.updated = [this](int i) {
    if (transferTable) transferTable->updateCellSizeAtIndex(i);
  };
  transfers->events.removed = [this](int i) {
    if (transferTable) transferTable->removeRow(i);
  };
  transfers->open();
  if (transfers->helpVisible() && panel && transferTable) {
    auto* help = Sprite::create("imgs/kqNodeHelp.png");
    if (help) {
      help->setName(kHelpName);
      help->setScale(0.7f);
      help->setAnchorPoint(Vec2(0.5f, 0.5f));
      help->setPosition(transferTable->getPosition());
      transferTable->getParent()->addChild(help, transferTable->getLocalZOrder() + 1);
    }
  }

  for (const char* name : {"dcmNode_send", "btn_back"})
    if (auto* button = child<ui::Button>(panel, name))
      button->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
}

void dcmSend::updateHelp() {
  if (!panel || transfers->helpVisible()) return;
  if (Node* help = panel->getChildByNameDeep(kHelpName)) help->setVisible(false);
}

Size dcmSend::tableCellSizeForIndex(NSUI::NSTableView* table, int64_t, Ref*) {
  return Size(table->getContentSize().width, kRowHeight);
}

NSUI::NSTableViewCell* dcmSend::tableCellAtIndex(NSUI::NSTableView* table, int64_t row, const Size& cellSize) {
  if (table == nodeTable) return nodeCell(row, cellSize);
  if (table == transferTable) return transferCell(row, cellSize);
  return nullptr;
}

void dcmSend::tableCellTouched(NSUI::NSTableView* table, NSUI::NSTableViewCell* cell, const Vec2&) {
  if (table == nodeTable) {
    nodes->rowTouched(cell ? static_cast<int>(cell->rowIndex) : -1);
    showInputSend(nodes->sendInputVisible);
  } else {
    nodes->sendInputVisible = false;
    showInputSend(false);
  }
}

void dcmSend::showInputSend(bool visible) {
  if (!nodeTable) return;
  for (NSUI::NSTableViewCell* cell : nodeTable->getVisibleCells())
    if (Node* button = cell->getChildByName(kInputSendName)) button->setVisible(visible);
}

// ------------------------------------------------------------------ node rows

NSUI::NSTableViewCell* dcmSend::nodeCell(int64_t row, const Size& size) {
  if (row < 0 || row >= static_cast<int64_t>(nodes->rows().size())) return nullptr;
  NSUI::NSTableViewCell* cell = nodeTable->cellAtIndex(row);
  if (!cell) cell = nodeTable->dequeueCell();
  if (!cell) {
    cell = NSUI::NSTableViewCell::create();
    if (auto* layout = CSLoader::createNode("dcmNodeInfo.csb")) {
      layout->setContentSize(size);
      ui::Helper::doLayout(layout);
      translate(layout);
      if (auto* name = child<ui::Text>(layout, "name")) name->setTextColor(Color4B(kNameColour));
      cell->addChild(layout, 0, "dcmNodeInfo.csb");
    }
    NSUI::NSTextField* field =
        createTextField(dcmLocalized("inputIP"), Vec2(10, 5), 25, Vec2::ZERO);
    if (field) {
      field->_textColor = Color3B::WHITE;
      field->setTag(kAddressFieldTag);
      field->setCaretImage("UIRes/cursor.png");
      field->setContentSize(size);
      field->_touchRect = Rect(0, 0, size.width, size.height);
      field->setEventCallback(
          [this](Ref* sender, NSUI::NSTextField::EventType type) { onAddressEdited(sender, type); });
      cell->addChild(field, nodeTable->getLocalZOrder() + 1);
    }
  }
  cell->setContentSize(size);
  configureNodeCell(cell, nodes->rows()[row]);
  return cell;
}

void dcmSend::configureNodeCell(NSUI::NSTableViewCell* cell, const dcmNodeObject* node) {
  Node* layout = cell->getChildByName("dcmNodeInfo.csb");
  auto* name = child<ui::Text>(layout, "name");
  auto* ip = child<ui::Text>(layout, "ip");
  auto* last = child<ui::Text>(layout, "last");
  auto* device = child<ui::ImageView>(layout, "device");
  auto* wifi = child<ui::ImageView>(layout, "wifi");
  auto* save = child<ui::Button>(layout, "save");
  auto* inputSend = dynamic_cast<ui::Button*>(cell->getChildByName(kInputSendName));
  const Size size = cell->getContentSize();
  // The x of "name" in peer rows and of "ip" (where fixed rows put "name").
  const float peerNameX = 35.0f;
  const float ipX = ip ? ip->getPositionX() : peerNameX;
  auto show = [](Node* n, bool on) {
    if (n) n->setVisible(on);
  };

  if (node->rowKind == NODE_ROW_INPUT) {
    if (name) {
      name->setString(dcmLocalized("dcmSend_Input"));
      name->setPositionX(ipX);
    }
    for (Node* n : std::initializer_list<Node*>{ip, last, device, wifi, save}) show(n, false);
    if (!inputSend) {
      inputSend = ui::Button::create();
      inputSend->setAnchorPoint(Vec2(1.0f, 0.5f));
      inputSend->setTitleText(dcmLocalized("dcmNode_send"));
      inputSend->setTitleColor(kNameColour);
      inputSend->setTitleFontSize(40);
      inputSend->setName(kInputSendName);
      inputSend->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
      cell->addChild(inputSend, cell->getLocalZOrder() + 1);
    }
    inputSend->setPosition(Vec2(size.width - 15, size.height * 0.5f));
    inputSend->setVisible(nodes->sendInputVisible);
  } else {
    // A reused cell that showed the manual row loses its send button.
    if (inputSend) inputSend->removeFromParent();
    if (node->rowKind == NODE_ROW_LOCAL) {
      if (name) {
        name->setString(node->name);
        name->setPositionX(ipX);
      }
      if (ip) ip->setString(node->ip);
      show(name, true);
      show(ip, true);
      for (Node* n : std::initializer_list<Node*>{last, device, wifi, save}) show(n, false);
    } else {
      for (Node* n : std::initializer_list<Node*>{name, ip, last, device, wifi, save}) show(n, true);
      if (name) {
        name->setPositionX(peerNameX);
        name->setString(node->name);
      }
      if (ip) ip->setString(node->device == 5 ? node->ip + ":" + node->port : node->ip);
      if (last) last->setString(node->lastTime);
      if (device) device->loadTexture(deviceIcon(node->device));
      if (wifi) wifi->loadTexture(nodes->isHeardRecently(node->wifi) ? "imgs/Wi-Fi-Green.png" : "imgs/Wi-Fi-Red.png");
      if (save) {
        const char* star = node->saveType == 1 ? "imgs/favierate.png" : "imgs/favierateNone.png";
        save->loadTextures(star, star, star);
      }
    }
  }
  if (auto* field = dynamic_cast<NSUI::NSTextField*>(cell->getChildByTag(kAddressFieldTag))) {
    const bool input = node->rowKind == NODE_ROW_INPUT;
    field->setVisible(input);
    if (input) {
      field->setString(node->ip);
    } else if (field->isAttached()) {
      field->detachWithIME();
    }
  }
}

void dcmSend::onAddressEdited(Ref* sender, NSUI::NSTextField::EventType) {
  auto* field = dynamic_cast<NSUI::NSTextField*>(sender);
  if (!field) return;
  nodes->onAddressEdited(field->getString());
  showInputSend(nodes->sendInputVisible);
}

// ------------------------------------------------------------------ buttons

int dcmSend::rowOfButton(Node* button) {
  for (Node* n = button; n; n = n->getParent()) {
    if (auto* menu = dynamic_cast<NSUI::NSTableViewMenu*>(n)) return menu->cell ? static_cast<int>(menu->cell->rowIndex) : -1;
    if (auto* cell = dynamic_cast<NSUI::NSTableViewCell*>(n)) return static_cast<int>(cell->rowIndex);
  }
  return -1;
}

void dcmSend::onButtonClicked(Ref* sender) {
  auto* button = dynamic_cast<Node*>(sender);
  if (!button) return;
  const std::string& name = button->getName();
  if (name == "dcmNode_send" || name == kInputSendName) {
    send();
  } else if (name == "btn_back") {
    onResponseReturn();
  } else if (name == "del") {
    transfers->remove(rowOfButton(button));
  } else if (name == "dcmNodeSend_retry") {
    transfers->retry(rowOfButton(button));
  }
}

void dcmSend::send() {
  NSUI::NSTableViewCell* selected = nodeTable ? nodeTable->getSelectedCell() : nullptr;
  nodes->sendPath = sendPath;
  nodes->sendName = sendName;
  int listed = -1;
  const auto result = nodes->send(selected ? static_cast<int>(selected->rowIndex) : -1, &listed);
  if (result == dcmNodeList::SendResult::Highlighted && transferTable) transferTable->highlightRow(listed);
  if (result == dcmNodeList::SendResult::Queued) updateHelp();
}

// ------------------------------------------------------------------ transfer rows

NSUI::NSTableViewCell* dcmSend::transferCell(int64_t row, const Size& size) {
  if (row < 0 || row >= static_cast<int64_t>(transfers->rows().size())) return nullptr;
  const dcmTask* task = transfers->rows()[row];
  if (task->kind != DCM_TASK_SEND && task->kind != DCM_TASK_GET) return nullptr;
  NSUI::NSTableViewCell* cell = transferTable->cellAtIndex(row);
  if (!cell) cell = transferTable->dequeueCell();
  if (!cell) {
    cell = NSUI::NSTableViewCell::create();
    if (auto* layout = CSLoader::createNode("dcmNodeSendInfo.csb")) {
      layout->setContentSize(size);
      ui::Helper::doLayout(layout);
      translate(layout);
      cell->addChild(layout, 0, "dcmNodeSendInfo.csb");
      if (auto* retry = child<ui::Button>(layout, "dcmNodeSend_retry")) {
        retry->setLocalZOrder(transferTable->getLocalZOrder() + 1);
        retry->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
      }
    }
  }
  cell->setContentSize(size);
  configureTransferCell(cell, task);
  return cell;
}

void dcmSend::configureTransferCell(NSUI::NSTableViewCell* cell, const dcmTask* task) {
  Node* layout = cell->getChildByName("dcmNodeSendInfo.csb");
  const dcmTransferList::RowText text = dcmTransferList::rowText(task);
  if (auto* ip = child<ui::Text>(layout, "ip")) ip->setString(text.ip);
  if (auto* path = child<ui::Text>(layout, "path")) path->setString(text.path);
  if (auto* ratio = child<ui::Text>(layout, "ratio")) {
    // The two state words are translated; percentages stand as they are.
    std::string shown = text.ratio;
    if (shown == "Waiting" || shown == "Done") {
      const std::string translated = NSUI::getLocalizedString("dcmNodeSend_" + shown);
      if (!translated.empty()) shown = translated;
    }
    ratio->setString(shown);
    ratio->setVisible(text.ratioVisible);
  }
  if (Node* retry = child<Node>(layout, "dcmNodeSend_retry")) retry->setVisible(text.retryVisible);
}

void dcmSend::tableCellLeftMenu(NSUI::NSTableView* table, NSUI::NSTableViewMenu* menu) {
  if (table != transferTable) {
    menu->setVisible(false);
    return;
  }
  Node* tool = CSLoader::createNode("dcmNodeSendTool.csb");
  if (!tool) {
    menu->setVisible(false);
    return;
  }
  translate(tool);
  menu->addChild(tool);
  menu->setContentSize(Size(tool->getContentSize().width, menu->getContentSize().height));
  if (auto* del = child<ui::Button>(tool, "del")) {
    del->setLocalZOrder(table->getLocalZOrder() + 1);
    del->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
  }
}
