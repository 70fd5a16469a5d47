// A list view of 10,000 rows as the screens fill it (one insert at a time)
// and the same list coasting by inertia, in a real window (Xvfb + Mesa
// llvmpipe when run headless). References in the same run: a frame of the
// same window with an empty list, and one with the full list standing
// still. Each cell shows two texts and a rule.
//
// Goals: the 10,000 inserts under 100 ms in all; coasting adds under 2 ms
// per frame to the empty frame; the node count stays constant while the
// list scrolls (counter "nodes").
//
// Needs an X display. Without DISPLAY the benchmark re-runs itself under
//   xvfb-run -a -s "-screen 0 1280x800x24"
// and it does nothing when xvfb-run is missing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "engine/cocos2d.h"
#include "engine/platform/CCGL.h"
#include "engine/platform/GLViewImpl.h"
#include "toolkit/widgets/NSListView.h"
#include "xvfb_reexec.h"

USING_NS_CC;

namespace {

constexpr int kRows = 10000;
constexpr float kRowHeight = 60;

class Rows : public NSUI::NSTableViewDelegate {
public:
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
            cell->addChild(name);
            auto* detail = ui::Text::create("", "", 15);
            detail->setName("detail");
            detail->setAnchorPoint(Vec2(0, 0.5f));
            cell->addChild(detail);
            cell->addChild(LayerColor::create(Color4B(62, 67, 78, 255), size.width, 1));
        }
        char text[64];
        std::snprintf(text, sizeof text, "Patient %05d", static_cast<int>(row + 1));
        static_cast<ui::Text*>(cell->getChildByName("name"))->setString(text);
        std::snprintf(text, sizeof text, "CT chest  -  %d series", static_cast<int>(1 + row % 4));
        static_cast<ui::Text*>(cell->getChildByName("detail"))->setString(text);
        cell->getChildByName("name")->setPosition(Vec2(20, size.height * 0.64f));
        cell->getChildByName("detail")->setPosition(Vec2(20, size.height * 0.27f));
        return cell;
    }
};

// Exposes the inertia start so that every frame of the benchmark coasts.
class CoastingList : public NSUI::NSListView {
public:
    static CoastingList* make()
    {
        auto* list = new CoastingList();
        list->init();
        list->autorelease();
        return list;
    }
    void coast(float speed, bool down)
    {
        inertiaElapsed = 0;
        inertiaSpeed = speed;
        inertiaAcceleration = kInertiaDeceleration;
        inertiaDirection = down ? dirDown : dirUp;
        inertiaActive = true;
    }
};

struct Study : Ref {};

Rows g_rows;
CoastingList* g_list = nullptr;

int countNodes(Node* n)
{
    int count = 1;
    for (Node* c : n->getChildren())
        count += countNodes(c);
    if (auto* p = dynamic_cast<ProtectedNode*>(n))
        for (Node* c : p->getProtectedChildren())
            count += countNodes(c);
    return count;
}

bool setUp()
{
    static int state = 0;
    if (state)
        return state > 0;
    state = -1;
    if (!std::getenv("DISPLAY"))
        return false;
    auto* view = GLViewImpl::createWithRect("bench_list_view", Rect(0, 0, 1280, 800));
    if (!view)
        return false;
    if (!std::getenv(FileUtils::kResourceRootEnv))
        FileUtils::getInstance()->setDefaultResourceRootPath(FW_BUILD_RESOURCES);
    Director* d = Director::getInstance();
    d->setOpenGLView(view);
    auto* scene = Scene::create();
    g_list = CoastingList::make();
    g_list->setContentSize(Size(640, 680));
    g_list->setPosition(Vec2(40, 40));
    g_list->setBackGroundColorType(ui::Layout::BackGroundColorType::SOLID);
    g_list->setBackGroundColor(Color3B(36, 40, 48));
    g_list->delegate = &g_rows;
    scene->addChild(g_list);
    d->runWithScene(scene);
    d->stepFrame();
    state = 1;
    return true;
}

void fill(NSUI::NSListView* list)
{
    for (int i = 0; i < kRows; ++i) {
        auto* row = new Study();
        list->insertItem(i, row);
        row->release();
    }
}

// The list emptied, or filled and scrolled far down, and one frame drawn,
// before a frame benchmark; false (the benchmark skipped) without a display.
bool readyForFrames(benchmark::State& st, bool full)
{
    if (!setUp()) {
        st.SkipWithError("no display");
        return false;
    }
    g_list->removeAllRows();
    if (full) {
        fill(g_list);
        g_list->setContentOffset(Vec2(0, -300000));
    }
    Director::getInstance()->stepFrame(1.0f / 60);
    return true;
}

} // namespace

static void BM_Insert10000RowsOneAtATime(benchmark::State& st)
{
    if (!setUp()) {
        st.SkipWithError("no display");
        return;
    }
    for (auto _ : st) {
        g_list->removeAllRows();
        fill(g_list);
    }
    st.counters["rows"] = static_cast<double>(g_list->getRowCount());
}
BENCHMARK(BM_Insert10000RowsOneAtATime)->Unit(benchmark::kMillisecond);

static void BM_FrameEmptyList(benchmark::State& st)
{
    if (!readyForFrames(st, false))
        return;
    Director* d = Director::getInstance();
    for (auto _ : st) {
        d->stepFrame(1.0f / 60);
        glFinish();
    }
}
BENCHMARK(BM_FrameEmptyList)->Unit(benchmark::kMillisecond);

static void BM_FrameListStill(benchmark::State& st)
{
    if (!readyForFrames(st, true))
        return;
    Director* d = Director::getInstance();
    for (auto _ : st) {
        d->stepFrame(1.0f / 60);
        glFinish();
    }
}
BENCHMARK(BM_FrameListStill)->Unit(benchmark::kMillisecond);

static void BM_FrameListCoasting(benchmark::State& st)
{
    if (!readyForFrames(st, true))
        return;
    Director* d = Director::getInstance();
    const int nodes = countNodes(g_list);
    int minNodes = nodes, maxNodes = nodes;
    bool down = false;
    for (auto _ : st) {
        if (!g_list->isInertiaActive()) {
            g_list->coast(1000, down);
            down = !down;
        }
        d->stepFrame(1.0f / 60);
        glFinish();
        st.PauseTiming();
        const int n = countNodes(g_list);
        minNodes = std::min(minNodes, n);
        maxNodes = std::max(maxNodes, n);
        st.ResumeTiming();
    }
    st.counters["nodes_min"] = minNodes;
    st.counters["nodes_max"] = maxNodes;
}
BENCHMARK(BM_FrameListCoasting)->Unit(benchmark::kMillisecond);
