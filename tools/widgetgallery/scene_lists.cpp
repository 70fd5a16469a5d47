// The list scene: a 10,000-row list view (rows inserted one at a time, as
// the screens do), a button beside it, the message toast and a modal
// window. The script presses and half-swipes a row, flicks the list, shows
// a message, opens the modal window and checks that a click on the covered
// button and a wheel over the covered list change nothing.
#include <chrono>
#include <cmath>
#include <cstdio>

#include "gallery.h"
#include "toolkit/widgets/NSListView.h"
#include "toolkit/widgets/NSResponseWindow.h"

USING_NS_CC;

namespace {

constexpr int kRows = 10000;
constexpr float kRowHeight = 60;
const Rect kListRect(40, 40, 640, 680); // top at y 720

struct Study : Ref {
    int number = 0;
};

class StudyRows : public NSUI::NSTableViewDelegate {
public:
    StudyRows() { highlightEnabled = true; }

    Size tableCellSizeForIndex(NSUI::NSTableView* table, int64_t, Ref*) override
    {
        return Size(table->getContentSize().width, kRowHeight);
    }

    NSUI::NSTableViewCell* tableCellAtIndex(NSUI::NSTableView* table, int64_t row, const Size& size) override
    {
        NSUI::NSTableViewCell* cell = table->cellAtIndex(row);
        if (!cell)
            cell = table->dequeueCell();
        if (!cell) {
            cell = NSUI::NSTableViewCell::create();
            auto* name = ui::Text::create("", "", 22);
            name->setName("name");
            name->setAnchorPoint(Vec2(0, 0.5f));
            name->setTextColor(Color4B(236, 238, 242, 255));
            cell->addChild(name);
            auto* detail = ui::Text::create("", "", 15);
            detail->setName("detail");
            detail->setAnchorPoint(Vec2(0, 0.5f));
            detail->setTextColor(Color4B(150, 156, 168, 255));
            cell->addChild(detail);
            auto* rule = LayerColor::create(Color4B(62, 67, 78, 255), size.width, 1);
            rule->setName("rule");
            cell->addChild(rule);
        }
        cell->setContentSize(size);
        auto* study = static_cast<Study*>(table->getRows().at(row));
        char text[96];
        std::snprintf(text, sizeof text, "Patient %05d", study->number);
        static_cast<ui::Text*>(cell->getChildByName("name"))->setString(text);
        std::snprintf(text, sizeof text, "CT chest  -  %d series, %d images", 1 + study->number % 4,
                      120 + (study->number * 37) % 400);
        static_cast<ui::Text*>(cell->getChildByName("detail"))->setString(text);
        cell->getChildByName("name")->setPosition(Vec2(20, size.height * 0.64f));
        cell->getChildByName("detail")->setPosition(Vec2(20, size.height * 0.27f));
        return cell;
    }

    void tableCellLeftMenu(NSUI::NSTableView*, NSUI::NSTableViewMenu* menu) override
    {
        const Size size = menu->getContentSize();
        auto* back = LayerColor::create(Color4B(205, 45, 45, 255), size.width, size.height);
        menu->addChild(back);
        auto* label = ui::Text::create("Delete", "", 22);
        label->setTextColor(Color4B::WHITE);
        label->setPosition(Vec2(size.width / 2, size.height / 2));
        menu->addChild(label);
    }

    void tableCellTouched(NSUI::NSTableView*, NSUI::NSTableViewCell* cell, const Vec2&) override { ++taps; }

    int taps = 0;
};

StudyRows g_rows;
NSUI::NSListView* g_list = nullptr;
NSUI::NSResponseWindow* g_modal = nullptr;
int g_importClicks = 0;
float g_offsetBefore = 0;

Scene* build()
{
    auto* scene = Scene::create();
    auto* title = ui::Text::create("Studies", "", 30);
    title->setTextColor(Color4B(30, 30, 40, 255));
    title->setAnchorPoint(Vec2(0, 0.5f));
    title->setPosition(Vec2(40, 760));
    scene->addChild(title);

    g_list = NSUI::NSListView::create();
    g_list->setContentSize(kListRect.size);
    g_list->setPosition(kListRect.origin);
    g_list->setBackGroundColorType(ui::Layout::BackGroundColorType::SOLID);
    g_list->setBackGroundColor(Color3B(36, 40, 48));
    g_list->delegate = &g_rows;
    g_list->swipeEdgeFraction = 0.2f;
    g_list->swipeOpenFraction = 0.4f;
    g_list->swipeDuration = 0.5f;
    scene->addChild(g_list);

    auto* import = ui::Button::create();
    import->setTitleText("Import series");
    import->setTitleFontSize(26);
    import->setTitleColor(Color3B(20, 60, 140));
    import->setPosition(Vec2(960, 560));
    import->addClickEventListener([](Ref*) { ++g_importClicks; });
    scene->addChild(import);
    return scene;
}

void fillRows()
{
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kRows; ++i) {
        auto* study = new Study();
        study->number = i + 1;
        g_list->insertItem(i, study);
        study->release();
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    char line[64];
    std::snprintf(line, sizeof line, "insert_ms %.1f", ms);
    gallery::result(line);
    gallery::result("rows " + std::to_string(g_list->getRowCount()));
}

void openModal()
{
    g_modal = NSUI::NSResponseWindow::create();
    auto* dim = LayerColor::create(Color4B(0, 0, 0, 90));
    g_modal->addChild(dim);
    auto* panel = ui::Layout::create();
    panel->setBackGroundColorType(ui::Layout::BackGroundColorType::SOLID);
    panel->setBackGroundColor(Color3B(250, 250, 252));
    panel->setContentSize(Size(520, 300));
    panel->setAnchorPoint(Vec2(0.5f, 0.5f));
    panel->setPosition(Vec2(640, 420));
    g_modal->addChild(panel);
    auto* heading = ui::Text::create("Send to node", "", 28);
    heading->setTextColor(Color4B(30, 30, 40, 255));
    heading->setPosition(Vec2(260, 250));
    panel->addChild(heading);
    auto* body = ui::Text::create("PACS-MAIN  192.168.1.20:104", "", 18);
    body->setTextColor(Color4B(90, 90, 100, 255));
    body->setPosition(Vec2(260, 170));
    panel->addChild(body);
    auto* ok = ui::Button::create();
    ok->setTitleText("Send");
    ok->setTitleFontSize(24);
    ok->setTitleColor(Color3B(20, 60, 140));
    ok->setPosition(Vec2(260, 70));
    panel->addChild(ok);
    Director::getInstance()->getRunningScene()->addChild(g_modal);
}

std::string number(const char* key, float value)
{
    char line[64];
    std::snprintf(line, sizeof line, "%s %.1f", key, value);
    return line;
}

// Rows in design units: the list's top is at y 720, row r's middle at
// 720 - 60 r - 30.
bool script(int frame)
{
    using gallery::pushButton;
    using gallery::pushMotion;
    switch (frame) {
    case 3:
        fillRows();
        break;
    // Press row 2 in the left zone and drag half a menu width to the right.
    case 8:
        pushButton(SDL_MOUSEBUTTONDOWN, 70, 570);
        break;
    case 10:
        pushMotion(100, 570, true);
        break;
    case 12:
        pushMotion(145, 570, true);
        break;
    case 16:
        gallery::saveFrame("list_pressed_swipe.png");
        break;
    case 18:
        pushButton(SDL_MOUSEBUTTONUP, 145, 570);
        break;
    case 60: // a click elsewhere closes the menu
        pushButton(SDL_MOUSEBUTTONDOWN, 400, 300);
        pushButton(SDL_MOUSEBUTTONUP, 400, 300);
        break;
    // A flick upwards: the list coasts, the scroll bar shows.
    case 100:
        pushButton(SDL_MOUSEBUTTONDOWN, 400, 150);
        break;
    case 101:
        pushMotion(400, 220, true);
        break;
    case 102:
        pushMotion(400, 300, true);
        break;
    case 103:
        pushMotion(400, 390, true);
        pushButton(SDL_MOUSEBUTTONUP, 400, 390);
        break;
    case 112:
        gallery::result(number("coasting", g_list->isInertiaActive() ? 1 : 0));
        gallery::saveFrame("list_scrolling.png");
        break;
    case 200:
        g_list->showMessage("10,000 studies listed", 5.0f);
        break;
    case 204:
        gallery::saveFrame("list_toast.png");
        break;
    case 210:
        openModal();
        break;
    case 214:
        gallery::saveFrame("modal.png");
        g_offsetBefore = g_list->getContentOffset().y;
        // A click on the covered button and the wheel over the covered list.
        pushButton(SDL_MOUSEBUTTONDOWN, 960, 560);
        pushButton(SDL_MOUSEBUTTONUP, 960, 560);
        gallery::pushWheel(300, 400, 3);
        break;
    case 218:
        gallery::result(number("covered_clicks", g_importClicks));
        gallery::result(number("covered_wheel_moved", g_list->getContentOffset().y - g_offsetBefore));
        g_modal->removeFromParent();
        g_offsetBefore = g_list->getContentOffset().y;
        // The same input with the window closed reaches them.
        pushButton(SDL_MOUSEBUTTONDOWN, 960, 560);
        pushButton(SDL_MOUSEBUTTONUP, 960, 560);
        gallery::pushWheel(300, 400, 3);
        break;
    case 222:
        gallery::result(number("uncovered_clicks", g_importClicks));
        gallery::result(number("uncovered_wheel_moved", g_list->getContentOffset().y - g_offsetBefore));
        gallery::result(number("visible_cells", g_list->getVisibleCells().size()));
        return false;
    default:
        break;
    }
    return true;
}

gallery::Register g_register("lists", {build, script});

} // namespace
