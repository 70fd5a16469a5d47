#include "engine/ui/CSLoader.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "engine/2d/Sprite.h"
#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"
#include "engine/ui/Button.h"
#include "engine/ui/CheckBox.h"
#include "engine/ui/Helper.h"
#include "engine/ui/ImageView.h"
#include "engine/ui/Layout.h"
#include "engine/ui/LayoutParameter.h"
#include "engine/ui/Scale9Sprite.h"
#include "engine/ui/Slider.h"
#include "engine/ui/Text.h"
#include "engine/ui/TextField.h"

NS_CC_BEGIN

namespace {

using Doc = std::shared_ptr<const pugi::xml_document>;

std::map<std::string, Doc>& cache() {
  static std::map<std::string, Doc> c;
  return c;
}

// Attribute names by kind.
const std::set<std::string> kCommon = {"name", "tag", "pos", "anchor", "size", "scale",
                                       "rotation", "z", "visible", "opacity", "color"};
const std::set<std::string> kWidget = {"posPercent", "sizePercent", "touch", "align", "margin"};
const std::map<std::string, std::set<std::string>> kKinds = {
    {"Node", {}},
    {"Layout", {"bgColor", "bgOpacity", "clip", "layoutType"}},
    {"Sprite", {"image", "scale9", "capInsets"}},
    {"ImageView", {"image", "scale9", "capInsets"}},
    {"Button", {"normal", "pressed", "disabled", "title", "titleColor", "titleSize", "scale9", "capInsets",
                "pressedAction"}},
    {"Text", {"text", "font", "fontSize", "hAlign", "vAlign", "area"}},
    {"TextField", {"placeholder", "fontSize"}},
    {"CheckBox", {"background", "mark", "selected"}},
    {"Slider", {"bar", "progress", "ball", "percent"}},
};
const std::set<std::string> kPictureAttributes = {"image", "normal", "pressed", "disabled", "background",
                                                  "mark",  "bar",    "progress", "ball"};

struct Failure {
  std::string message;
};

[[noreturn]] void fail(const pugi::xml_node& e, const std::string& what) {
  std::ostringstream os;
  os << "<" << e.name();
  if (auto n = e.attribute("name")) os << " name=\"" << n.value() << "\"";
  os << ">: " << what;
  throw Failure{os.str()};
}

// Comma-separated numbers; exactly one of the counts in `counts`.
std::vector<float> numbers(const pugi::xml_node& e, const pugi::xml_attribute& a, std::initializer_list<size_t> counts) {
  std::vector<float> out;
  const std::string s = a.value();
  size_t i = 0;
  while (true) {
    size_t j = s.find(',', i);
    const std::string part = s.substr(i, j == std::string::npos ? std::string::npos : j - i);
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(part.c_str(), &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (part.empty() || !end || *end || errno == ERANGE) fail(e, std::string("bad number list in ") + a.name() + "=\"" + s + "\"");
    out.push_back(v);
    if (j == std::string::npos) break;
    i = j + 1;
  }
  for (size_t c : counts)
    if (out.size() == c) return out;
  fail(e, std::string("wrong number of values in ") + a.name() + "=\"" + s + "\"");
}

float number(const pugi::xml_node& e, const pugi::xml_attribute& a) { return numbers(e, a, {1})[0]; }

int integer(const pugi::xml_node& e, const pugi::xml_attribute& a, int lo, int hi) {
  const std::string s = a.value();
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end || errno == ERANGE || v < lo || v > hi)
    fail(e, std::string(a.name()) + "=\"" + s + "\" is not an integer in " + std::to_string(lo) + ".." +
                std::to_string(hi));
  return static_cast<int>(v);
}

bool boolean(const pugi::xml_node& e, const pugi::xml_attribute& a) {
  const std::string s = a.value();
  if (s == "true" || s == "1") return true;
  if (s == "false" || s == "0") return false;
  fail(e, std::string(a.name()) + "=\"" + s + "\" is not true or false");
}

Color4B colour(const pugi::xml_node& e, const pugi::xml_attribute& a, bool withAlpha) {
  std::vector<float> v = withAlpha ? numbers(e, a, {3, 4}) : numbers(e, a, {3});
  for (float c : v)
    if (c < 0 || c > 255 || c != static_cast<int>(c)) fail(e, std::string(a.name()) + " values must be 0..255");
  return Color4B(static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]),
                 v.size() == 4 ? static_cast<uint8_t>(v[3]) : 255);
}

Vec2 pair(const pugi::xml_node& e, const pugi::xml_attribute& a) {
  auto v = numbers(e, a, {2});
  return Vec2(v[0], v[1]);
}

Rect rect(const pugi::xml_node& e, const pugi::xml_attribute& a) {
  auto v = numbers(e, a, {4});
  return Rect(v[0], v[1], v[2], v[3]);
}

struct Builder {
  std::set<std::string> names;

  Node* build(const pugi::xml_node& e) {
    const std::string kind = e.name();
    auto k = kKinds.find(kind);
    if (k == kKinds.end()) fail(e, "unknown element");
    const bool isWidget = kind != "Node" && kind != "Sprite";
    for (const pugi::xml_attribute& a : e.attributes()) {
      const std::string n = a.name();
      if (kCommon.count(n) || k->second.count(n) || (isWidget && kWidget.count(n))) continue;
      fail(e, "unknown attribute \"" + n + "\"");
    }
    if (auto a = e.attribute("name")) {
      const std::string n = a.value();
      if (!n.empty() && !names.insert(n).second) fail(e, "the name \"" + n + "\" is used twice");
    }

    Node* node = createKind(e, kind);
    applyCommon(e, kind, node);
    if (auto* w = dynamic_cast<ui::Widget*>(node)) applyWidget(e, w);

    for (const pugi::xml_node& c : e.children()) {
      if (c.type() == pugi::node_element) node->addChild(build(c));
      else if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) fail(e, "unexpected text");
    }
    return node;
  }

  Node* createKind(const pugi::xml_node& e, const std::string& kind) {
    auto attr = [&](const char* n) { return e.attribute(n); };
    auto str = [&](const char* n) { return std::string(e.attribute(n).value()); };
    if (kind == "Node") return Node::create();
    if (kind == "Layout") {
      auto* l = ui::Layout::create();
      if (attr("bgColor") || attr("bgOpacity")) {
        if (attr("bgColor")) l->setBackGroundColor(Color3B(colour(e, attr("bgColor"), false)));
        if (attr("bgOpacity")) l->setBackGroundColorOpacity(static_cast<GLubyte>(integer(e, attr("bgOpacity"), 0, 255)));
        l->setBackGroundColorType(ui::Layout::BackGroundColorType::SOLID);
      }
      if (attr("clip")) l->setClippingEnabled(boolean(e, attr("clip")));
      if (attr("layoutType")) l->setLayoutType(integer(e, attr("layoutType"), 0, 5));
      return l;
    }
    if (kind == "Sprite") {
      const bool scale9 = attr("scale9") && boolean(e, attr("scale9"));
      const Rect caps = attr("capInsets") ? rect(e, attr("capInsets")) : Rect::ZERO;
      if (attr("capInsets") && !scale9) fail(e, "capInsets needs scale9=\"true\"");
      if (attr("size") && !scale9) fail(e, "a Sprite takes a size only with scale9=\"true\"");
      const std::string image = str("image");
      if (scale9) {
        ui::Scale9Sprite* s = image.empty() ? nullptr : ui::Scale9Sprite::create(caps, image);
        if (!s) {
          if (!image.empty()) log("CSLoader: missing picture \"%s\"", image.c_str());
          s = ui::Scale9Sprite::create();
        }
        return s;
      }
      Sprite* s = image.empty() ? nullptr : Sprite::create(image);
      if (!s) {
        if (!image.empty()) log("CSLoader: missing picture \"%s\"", image.c_str());
        s = Sprite::create();
      }
      return s;
    }
    if (kind == "ImageView") {
      auto* v = ui::ImageView::create();
      if (attr("scale9")) v->setScale9Enabled(boolean(e, attr("scale9")));
      if (attr("capInsets")) v->setCapInsets(rect(e, attr("capInsets")));
      if (attr("image")) loadPicture([&](const std::string& f) { v->loadTexture(f); return v->hasTexture(); }, str("image"));
      return v;
    }
    if (kind == "Button") {
      auto* b = ui::Button::create();
      if (attr("capInsets")) b->setCapInsets(rect(e, attr("capInsets")));
      if (attr("scale9")) b->setScale9Enabled(boolean(e, attr("scale9")));
      if (attr("titleSize")) b->setTitleFontSize(number(e, attr("titleSize")));
      if (attr("titleColor")) b->setTitleColor(Color3B(colour(e, attr("titleColor"), false)));
      if (attr("title")) b->setTitleText(str("title"));
      if (attr("pressedAction")) b->setPressedActionEnabled(boolean(e, attr("pressedAction")));
      b->loadTextures(str("normal"), str("pressed"), str("disabled"));
      for (const char* n : {"normal", "pressed", "disabled"})
        if (!str(n).empty() && FileUtils::getInstance()->fullPathForFilename(str(n)).empty())
          log("CSLoader: missing picture \"%s\"", str(n).c_str());
      return b;
    }
    if (kind == "Text") {
      auto* t = ui::Text::create();
      if (attr("font")) t->setFontName(str("font"));
      if (attr("fontSize")) t->setFontSize(number(e, attr("fontSize")));
      if (attr("hAlign")) t->setTextHorizontalAlignment(static_cast<TextHAlignment>(choice(e, attr("hAlign"), {"left", "center", "right"})));
      if (attr("vAlign")) t->setTextVerticalAlignment(static_cast<TextVAlignment>(choice(e, attr("vAlign"), {"top", "center", "bottom"})));
      if (attr("color")) t->setTextColor(colour(e, attr("color"), true));
      if (attr("text")) t->setString(str("text"));
      if (attr("area")) {
        const Vec2 a = pair(e, attr("area"));
        t->setTextAreaSize(Size(a.x, a.y));
      }
      return t;
    }
    if (kind == "TextField") {
      auto* t = ui::TextField::create();
      if (attr("fontSize")) t->setFontSize(number(e, attr("fontSize")));
      if (attr("placeholder")) t->setPlaceHolder(str("placeholder"));
      return t;
    }
    if (kind == "CheckBox") {
      auto* c = ui::CheckBox::create();
      c->loadTextures(str("background"), str("mark"));
      for (const char* n : {"background", "mark"})
        if (!str(n).empty() && FileUtils::getInstance()->fullPathForFilename(str(n)).empty())
          log("CSLoader: missing picture \"%s\"", str(n).c_str());
      if (attr("selected")) c->setSelected(boolean(e, attr("selected")));
      return c;
    }
    // Slider
    auto* s = ui::Slider::create();
    s->loadBarTexture(str("bar"));
    s->loadProgressBarTexture(str("progress"));
    s->loadSlidBallTextureNormal(str("ball"));
    for (const char* n : {"bar", "progress", "ball"})
      if (!str(n).empty() && FileUtils::getInstance()->fullPathForFilename(str(n)).empty())
        log("CSLoader: missing picture \"%s\"", str(n).c_str());
    if (attr("percent")) s->setPercent(integer(e, attr("percent"), 0, 100));
    return s;
  }

  template <class F>
  void loadPicture(F load, const std::string& file) {
    if (!load(file)) log("CSLoader: missing picture \"%s\"", file.c_str());
  }

  static int choice(const pugi::xml_node& e, const pugi::xml_attribute& a, std::initializer_list<const char*> values) {
    int i = 0;
    for (const char* v : values) {
      if (std::string(a.value()) == v) return i;
      ++i;
    }
    fail(e, std::string(a.name()) + "=\"" + a.value() + "\" is not one of the allowed words");
  }

  void applyCommon(const pugi::xml_node& e, const std::string& kind, Node* node) {
    auto attr = [&](const char* n) { return e.attribute(n); };
    if (attr("name")) node->setName(attr("name").value());
    if (attr("tag")) node->setTag(integer(e, attr("tag"), INT32_MIN, INT32_MAX));
    if (attr("anchor")) node->setAnchorPoint(pair(e, attr("anchor")));
    if (attr("size")) {
      const Vec2 s = pair(e, attr("size"));
      if (s.x < 0 || s.y < 0) fail(e, "negative size");
      if (auto* w = dynamic_cast<ui::Widget*>(node)) w->ignoreContentAdaptWithSize(false);
      node->setContentSize(Size(s.x, s.y));
    }
    if (attr("scale")) {
      auto v = numbers(e, attr("scale"), {1, 2});
      if (v.size() == 1) node->setScale(v[0]);
      else node->setScale(v[0], v[1]);
    }
    if (attr("rotation")) node->setRotation(number(e, attr("rotation")));
    if (attr("pos")) node->setPosition(pair(e, attr("pos")));
    if (attr("z")) node->setLocalZOrder(integer(e, attr("z"), -100000, 100000));
    if (attr("visible")) node->setVisible(boolean(e, attr("visible")));
    if (attr("opacity")) node->setOpacity(static_cast<GLubyte>(integer(e, attr("opacity"), 0, 255)));
    if (attr("color") && kind != "Text") node->setColor(Color3B(colour(e, attr("color"), false)));
  }

  void applyWidget(const pugi::xml_node& e, ui::Widget* w) {
    auto attr = [&](const char* n) { return e.attribute(n); };
    if (attr("sizePercent")) {
      w->setSizePercent(pair(e, attr("sizePercent")));
      w->setSizeType(ui::Widget::SizeType::PERCENT);
    }
    if (attr("posPercent")) {
      w->setPositionPercent(pair(e, attr("posPercent")));
      w->setPositionType(ui::Widget::PositionType::PERCENT);
    }
    if (attr("touch")) w->setTouchEnabled(boolean(e, attr("touch")));
    if (attr("margin") && !attr("align")) fail(e, "margin needs align");
    if (attr("align")) {
      auto* p = ui::RelativeLayoutParameter::create();
      p->setAlign(integer(e, attr("align"), 1, 9));
      if (attr("margin")) {
        auto m = numbers(e, attr("margin"), {4});
        p->setMargin(ui::Margin(m[0], m[1], m[2], m[3]));
      }
      w->setLayoutParameter(p);
    }
  }
};

// The parsed document of filename, from the cache or the disk.
Doc load(const std::string& filename, std::string* error) {
  const std::string full = FileUtils::getInstance()->fullPathForFilename(filename);
  if (full.empty()) {
    *error = "no such file";
    return nullptr;
  }
  auto& c = cache();
  if (auto it = c.find(full); it != c.end()) return it->second;
  const std::string text = FileUtils::getInstance()->getStringFromFile(full);
  auto doc = std::make_shared<pugi::xml_document>();
  pugi::xml_parse_result r = doc->load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!r) {
    *error = std::string("not well-formed XML: ") + r.description() + " at byte " + std::to_string(r.offset);
    return nullptr;
  }
  pugi::xml_node root = doc->document_element();
  if (std::string(root.name()) != "ui") {
    *error = "the root element is not <ui>";
    return nullptr;
  }
  for (const pugi::xml_attribute& a : root.attributes()) {
    if (std::string(a.name()) != "version") {
      *error = std::string("unknown attribute \"") + a.name() + "\" on <ui>";
      return nullptr;
    }
  }
  if (std::string(root.attribute("version").value()) != "1") {
    *error = "<ui> needs version=\"1\"";
    return nullptr;
  }
  int elements = 0;
  for (const pugi::xml_node& n : root.children()) {
    if (n.type() == pugi::node_element) ++elements;
    else if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) elements = 99;
  }
  if (elements != 1) {
    *error = "<ui> must hold exactly one element";
    return nullptr;
  }
  c[full] = doc;
  return doc;
}

}  // namespace

Node* CSLoader::createNodeWithError(const std::string& filename, std::string* error) {
  std::string dummy;
  std::string& err = error ? *error : dummy;
  err.clear();
  Doc doc = load(filename, &err);
  if (!doc) return nullptr;
  Builder b;
  Node* root = nullptr;
  try {
    root = b.build(doc->document_element().find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; }));
  } catch (const Failure& f) {
    err = f.message;
    return nullptr;  // the partial tree is autoreleased
  }
  ui::Helper::doLayout(root);
  return root;
}

Node* CSLoader::createNode(const std::string& filename) {
  std::string error;
  Node* n = createNodeWithError(filename, &error);
  if (!n) log("CSLoader: cannot load \"%s\": %s", filename.c_str(), error.c_str());
  return n;
}

Node* CSLoader::createNode(const std::string& filename, bool) { return createNode(filename); }

bool CSLoader::collectPictures(const std::string& filename, std::vector<std::string>* pictures, std::string* error) {
  std::string dummy;
  std::string& err = error ? *error : dummy;
  Doc doc = load(filename, &err);
  if (!doc) return false;
  struct Walker : pugi::xml_tree_walker {
    std::vector<std::string>* out;
    bool for_each(pugi::xml_node& n) override {
      if (n.type() != pugi::node_element) return true;
      for (const pugi::xml_attribute& a : n.attributes())
        if (kPictureAttributes.count(a.name()) && *a.value()) out->push_back(a.value());
      return true;
    }
  } walker;
  walker.out = pictures;
  const_cast<pugi::xml_document&>(*doc).traverse(walker);
  return true;
}

void CSLoader::purgeCache() { cache().clear(); }

NS_CC_END

namespace cocostudio {
void destroyCocosStudio() { cocos2d::CSLoader::purgeCache(); }
}  // namespace cocostudio
