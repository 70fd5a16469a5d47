// A list view of rows with their own heights and a delegate that records
// what the table asks and tells, for the table and list view tests.
#pragma once

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "headless_stage.h"
#include "toolkit/widgets/NSListView.h"

struct Row : cocos2d::Ref {
    static Row* make(int id, float height = 40)
    {
        auto* r = new Row();
        r->id = id;
        r->height = height;
        r->autorelease();
        return r;
    }
    int id = 0;
    float height = 40;
};

class RecordingDelegate : public NSUI::NSTableViewDelegate {
public:
    cocos2d::Size tableCellSizeForIndex(NSUI::NSTableView* table, int64_t, cocos2d::Ref* data) override
    {
        auto* row = static_cast<Row*>(data);
        const cocos2d::Size view = table->getContentSize();
        return table->getDirection() == 2 ? cocos2d::Size(row->height, view.height)
                                          : cocos2d::Size(view.width, row->height);
    }
    NSUI::NSTableViewCell* tableCellAtIndex(NSUI::NSTableView* table, int64_t index,
                                            const cocos2d::Size& size) override
    {
        NSUI::NSTableViewCell* cell = table->cellAtIndex(index);
        if (!cell && !dropDequeued)
            cell = table->dequeueCell();
        if (!cell) {
            cell = NSUI::NSTableViewCell::create();
            ++created;
        }
        cell->setContentSize(size);
        cell->setTag(static_cast<Row*>(table->getRows().at(index))->id);
        return cell;
    }
    void tableCellTouched(NSUI::NSTableView*, NSUI::NSTableViewCell* cell, const cocos2d::Vec2& p) override
    {
        taps.push_back({cell->getTag(), p});
    }
    void tableCellHidden(int64_t row) override { hidden.push_back(row); }
    void tableCellLeftMenu(NSUI::NSTableView* table, NSUI::NSTableViewMenu* menu) override
    {
        if (!offerLeftMenu)
            return NSTableViewDelegate::tableCellLeftMenu(table, menu);
        menu->addChild(cocos2d::Node::create());
        ++menusOffered;
    }
    void tableCellRightMenu(NSUI::NSTableView* table, NSUI::NSTableViewMenu* menu) override
    {
        if (!offerRightMenu)
            return NSTableViewDelegate::tableCellRightMenu(table, menu);
        menu->setContentSize(cocos2d::Size(100, menu->getContentSize().height));
        ++menusOffered;
    }

    struct Tap {
        int id;
        cocos2d::Vec2 point;
    };
    std::vector<Tap> taps;
    std::vector<int64_t> hidden;
    int created = 0;
    int menusOffered = 0;
    bool dropDequeued = false;
    bool offerLeftMenu = false;
    bool offerRightMenu = false;
};

// A 200 x 300 list at (100, 100): world x 100..300, y 100..400.
class TableTest : public ::testing::Test {
public:
    void SetUp() override
    {
        list = NSUI::NSListView::create();
        list->setContentSize(cocos2d::Size(200, 300));
        list->setPosition(cocos2d::Vec2(100, 100));
        list->delegate = &rows;
        stage.scene->addChild(list);
        stage.step();
    }
    void fill(int n, float height = 40)
    {
        for (int i = 0; i < n; ++i)
            list->insertItem(i, Row::make(i, height));
    }
    int idAt(int64_t index) const { return static_cast<Row*>(list->getRows().at(index))->id; }
    // World y of the bottom of each visible cell, by row id.
    std::map<int, float> screenPlaces() const
    {
        std::map<int, float> places;
        for (auto* cell : list->getVisibleCells())
            places[idAt(cell->rowIndex)] = cell->convertToWorldSpace(cocos2d::Vec2::ZERO).y;
        return places;
    }
    bool hasHighlight(NSUI::NSTableViewCell* cell) const
    {
        return cell && cell->getChildByTag(NSUI::NSTableViewDelegate::kHighlightTag);
    }
    void touch(cocos2d::EventTouch::EventCode code, cocos2d::Vec2 p)
    {
        stage.view()->injectTouches(code, {1}, {p});
    }
    void tap(cocos2d::Vec2 p)
    {
        touch(cocos2d::EventTouch::EventCode::BEGAN, p);
        touch(cocos2d::EventTouch::EventCode::ENDED, p);
    }
    // Every visible cell shows the row its index says and sits where that
    // row belongs.
    void expectConsistent() const
    {
        const auto& offsets = list->getRowOffsets();
        const float hc = list->getInnerContainer()->getContentSize().height;
        for (auto* cell : list->getVisibleCells()) {
            ASSERT_GE(cell->rowIndex, 0);
            ASSERT_LT(cell->rowIndex, list->getRowCount());
            EXPECT_EQ(cell->getTag(), idAt(cell->rowIndex));
            EXPECT_FLOAT_EQ(cell->getPositionY(), hc - offsets[cell->rowIndex + 1]);
            EXPECT_EQ(list->cellAtIndex(cell->rowIndex), cell);
        }
    }

    HeadlessStage stage;
    RecordingDelegate rows;
    NSUI::NSListView* list = nullptr;
};
