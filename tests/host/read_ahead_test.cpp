// Reading ahead's rules against a worker whose work is held at a gate, so
// that what the requester does meanwhile (drop, take, another request,
// destruction) happens while the work is under way. Also built alone under
// ThreadSanitizer (scripts/test).
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>

#include "base/Cancellation.h"
#include "rules/ReadAhead.h"

namespace {

using namespace std::chrono_literals;

// The files and the work as the fake hooks see them.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool looksAtCancel = true;   // or the work is stuck where nothing is checked
    bool fails = false;
    int started = 0, finished = 0, cancelled = 0, urgentCalls = 0;
    bool urgent = false;
    std::map<std::wstring, FileIdentity> files;
    std::map<std::wstring, bool> ranAhead;   // as the work saw it (WorkAhead)

    template <class Predicate>
    bool WaitFor(Predicate ready)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, ready);
    }
    void Open()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

ReadAhead::Hooks HooksOf(const std::shared_ptr<Gate>& gate)
{
    ReadAhead::Hooks hooks;
    hooks.identify = [gate](const std::wstring& path) {
        std::lock_guard lock(gate->mutex);
        auto found = gate->files.find(path);
        return found == gate->files.end() ? FileIdentity{} : found->second;
    };
    hooks.prepare = [gate](const ReadAhead::Job& job) -> std::optional<ReadAhead::Result> {
        std::unique_lock lock(gate->mutex);
        ++gate->started;
        gate->ranAhead[job.path] = WorkAhead();
        gate->changed.notify_all();
        while (!gate->open) {
            if (gate->looksAtCancel && CancelRequested()) {
                ++gate->cancelled;
                gate->changed.notify_all();
                throw WorkCancelled{};
            }
            gate->changed.wait_for(lock, 1ms);
        }
        ++gate->finished;
        gate->changed.notify_all();
        if (gate->fails)
            throw std::runtime_error("cannot be read");
        ReadAhead::Result result;
        result.width = job.path == L"a.jpg" ? 4000 : 3000;
        result.height = 3000;
        return result;
    };
    // Shown at a quarter or less, the picture is decoded at level 2.
    hooks.level = [](const ZoomState& zoom, int width, int height) {
        const int shown = zoom.autoFit ? zoom.fullWidth : width * int(zoom.percent) / 100;
        return shown * 4 <= width ? 2 : 0;
    };
    hooks.priority = [gate](std::thread&, bool urgent) {
        std::lock_guard lock(gate->mutex);
        gate->urgent = urgent;
        gate->urgentCalls += urgent;
        gate->changed.notify_all();
    };
    return hooks;
}

const ZoomState kFit{true, 100, 1000, 800};
const ZoomState kFitSmaller{true, 100, 990, 780};   // the same level for a 4000-wide picture
const ZoomState kFull{false, 100, 0, 0};

ReadAhead::Job JobFor(const std::wstring& path, const ZoomState& zoom = kFit)
{
    return {path, GraphicKind::Jpeg, zoom, 1000, 800, nullptr};
}

// What the requester does while the work on a.jpg is held at the gate.
enum class During { Nothing, Drop, TakeIt, TakeOther, RequestOther, RequestAgain, RequestSameLevel,
                    RequestOtherLevel, ChangeFile, Destroy };

struct Row {
    const char* what;
    During during;
    bool looksAtCancel;
    bool fails;
    // Expected: the work saw its cancellation; a.jpg's picture was handed to
    // the take that follows (or to the take during the work); how often the
    // work ran.
    bool cancelled;
    bool handedOver;
    int prepares;
};

const Row kRows[] = {
    {"prepared, then taken", During::Nothing, true, false, false, true, 1},
    {"dropped during the work", During::Drop, true, false, true, false, 1},
    {"dropped while stuck where nothing is checked", During::Drop, false, false, false, false, 1},
    {"taken during the work: waits for it", During::TakeIt, true, false, false, true, 1},
    {"another file taken during the work", During::TakeOther, true, false, true, false, 1},
    {"another file asked for while stuck", During::RequestOther, false, false, false, false, 2},
    {"another file asked for", During::RequestOther, true, false, true, false, 2},
    {"the same asked for again", During::RequestAgain, true, false, false, true, 1},
    {"another area of the same level", During::RequestSameLevel, true, false, false, true, 1},
    {"another level: the work starts again", During::RequestOtherLevel, true, false, true, true, 2},
    {"the file changed while it was read", During::ChangeFile, true, false, false, false, 1},
    {"the work fails", During::Nothing, true, true, false, false, 1},
    {"destroyed during the work", During::Destroy, true, false, true, false, 1},
    {"destroyed while stuck", During::Destroy, false, false, false, false, 1},
};

class ReadAheadRules : public testing::TestWithParam<Row> {};

TEST_P(ReadAheadRules, HandsOverOnlyWhatIsStillWanted)
{
    const Row& row = GetParam();
    auto gate = std::make_shared<Gate>();
    gate->looksAtCancel = row.looksAtCancel;
    gate->fails = row.fails;
    gate->files = {{L"a.jpg", {100, 1, 7, true}}, {L"b.jpg", {200, 1, 8, true}}};
    auto readAhead = std::make_unique<ReadAhead>(HooksOf(gate));
    readAhead->Request(JobFor(L"a.jpg"));
    ASSERT_TRUE(gate->WaitFor([&] { return gate->started == 1; }));
    EXPECT_TRUE(readAhead->Busy());

    // Whatever the requester does must come back without the work's end
    // (but a take of the very file, which waits for it).
    auto within = [&](auto&& action) {
        auto done = std::async(std::launch::async, action);
        if (done.wait_for(10s) != std::future_status::ready) {
            gate->Open();
            FAIL() << "the requester was kept waiting for the work";
        }
        done.get();
    };
    std::optional<ReadAhead::Result> takenDuring;
    std::wstring takenFile = L"a.jpg";
    ZoomState takenAt = kFit;
    switch (row.during) {
    case During::Nothing: break;
    case During::Drop: within([&] { readAhead->Drop(); }); break;
    case During::TakeIt: {
        // The worker is raised while the take waits for it, and let go on.
        auto opener = std::async(std::launch::async, [&] {
            gate->WaitFor([&] { return gate->urgent; });
            gate->Open();
        });
        takenDuring = readAhead->Take(L"a.jpg", kFit);
        opener.get();
        EXPECT_EQ(gate->urgentCalls, 1);
        EXPECT_FALSE(gate->urgent);
        break;
    }
    case During::TakeOther: within([&] { EXPECT_FALSE(readAhead->Take(L"b.jpg", kFit)); }); break;
    case During::RequestOther:
        within([&] { readAhead->Request(JobFor(L"b.jpg")); });
        takenFile = L"b.jpg";
        break;
    case During::RequestAgain: within([&] { readAhead->Request(JobFor(L"a.jpg")); }); break;
    case During::RequestSameLevel:
        gate->Open();
        ASSERT_TRUE(gate->WaitFor([&] { return gate->finished == 1; }));
        while (readAhead->Busy())
            std::this_thread::sleep_for(1ms);
        readAhead->Request(JobFor(L"a.jpg", kFitSmaller));
        takenAt = kFitSmaller;
        break;
    case During::RequestOtherLevel:
        within([&] { readAhead->Request(JobFor(L"a.jpg", kFull)); });
        takenAt = kFull;
        break;
    case During::ChangeFile: {
        std::lock_guard lock(gate->mutex);
        gate->files[L"a.jpg"].content = 9;
        break;
    }
    case During::Destroy:
        within([&] { readAhead.reset(); });
        if (!row.looksAtCancel)
            EXPECT_EQ(gate->finished, 0) << "closing waited for the stuck work";
        break;
    }
    if (row.during == During::Destroy || row.cancelled)
        ASSERT_TRUE(gate->WaitFor([&] { return gate->cancelled == 1 || !row.looksAtCancel; }));
    gate->Open();

    if (readAhead) {
        // The worker settles: nothing left under way.
        while (readAhead->Busy())
            std::this_thread::sleep_for(1ms);
        if (row.during != During::TakeIt)
            EXPECT_EQ(readAhead->Ready(takenFile), row.handedOver || row.during == During::RequestOther);
        std::optional<ReadAhead::Result> taken =
            row.during == During::TakeIt ? std::move(takenDuring) : readAhead->Take(takenFile, takenAt);
        if (row.during == During::RequestOther) {
            ASSERT_TRUE(taken);   // b, prepared instead
            EXPECT_EQ(taken->width, 3000);
        } else {
            EXPECT_EQ(taken.has_value(), row.handedOver);
            if (taken)
                EXPECT_EQ(taken->width, 4000);
        }
        // Nothing stays prepared after a take.
        EXPECT_FALSE(readAhead->Take(takenFile, takenAt));
        EXPECT_FALSE(readAhead->Busy());
        readAhead.reset();
    }
    // The worker, even one left to end by itself, lets go of everything.
    for (int i = 0; i < 10000 && gate.use_count() > 1; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(gate.use_count(), 1);
    std::lock_guard lock(gate->mutex);
    EXPECT_EQ(gate->cancelled, row.cancelled ? 1 : 0);
    EXPECT_EQ(gate->started, row.prepares);
}

INSTANTIATE_TEST_SUITE_P(Interleavings, ReadAheadRules, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                             std::string name;
                             for (const char* c = info.param.what; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                             return name;
                         });

TEST(ReadAhead, AFileThatCannotBeReadAheadIsLeftToTheLoad)
{
    // Held open by another program while it was to be read: nothing is
    // prepared, nothing is kept of it, and the same request does not retry
    // it behind the load's back.
    auto gate = std::make_shared<Gate>();
    gate->Open();
    ReadAhead readAhead(HooksOf(gate));
    readAhead.Request(JobFor(L"locked.jpg"));
    while (readAhead.Busy())
        std::this_thread::sleep_for(1ms);
    readAhead.Request(JobFor(L"locked.jpg"));
    EXPECT_FALSE(readAhead.Busy());
    {
        std::lock_guard lock(gate->mutex);
        gate->files[L"locked.jpg"] = {100, 1, 7, true};
    }
    EXPECT_FALSE(readAhead.Take(L"locked.jpg", kFit));
    std::lock_guard lock(gate->mutex);
    EXPECT_EQ(gate->started, 0);
}

TEST(ReadAhead, ATakeThatWaitsLetsItsThreadAskForOtherWorkOrGiveWay)
{
    // A held key: while the load waits for a.jpg, its thread looks out and
    // asks for b.jpg, urgently. The wait ends with nothing, a's work stops,
    // and b's runs at once at the requester's priority, not as work ahead.
    auto gate = std::make_shared<Gate>();
    gate->files = {{L"a.jpg", {100, 1, 7, true}}, {L"b.jpg", {200, 1, 8, true}}};
    ReadAhead readAhead(HooksOf(gate));
    readAhead.Request(JobFor(L"a.jpg"));
    ASSERT_TRUE(gate->WaitFor([&] { return gate->started == 1; }));
    {
        bool asked = false;
        const LookOutScope lookOut([&] {
            if (!asked) {
                asked = true;
                ReadAhead::Job job = JobFor(L"b.jpg");
                job.urgent = true;
                readAhead.Request(std::move(job));
            }
            return false;
        });
        EXPECT_FALSE(readAhead.Take(L"a.jpg", kFit));
        EXPECT_TRUE(asked);
    }
    ASSERT_TRUE(gate->WaitFor([&] { return gate->started == 2; }));
    {
        std::lock_guard lock(gate->mutex);
        EXPECT_EQ(gate->cancelled, 1);
        EXPECT_TRUE(gate->urgent) << "urgent work left at the worker's low priority";
        EXPECT_TRUE(gate->ranAhead[L"a.jpg"]);
        EXPECT_FALSE(gate->ranAhead[L"b.jpg"]);
    }
    // Now the looking thread gives way while it waits for b: the wait ends
    // in its cancellation, and the worker goes on with b as urgent as asked.
    {
        const LookOutScope lookOut([] { return true; });
        EXPECT_THROW(readAhead.Take(L"b.jpg", kFit), WorkCancelled);
    }
    EXPECT_TRUE(gate->urgent);
    gate->Open();
    while (readAhead.Busy())
        std::this_thread::sleep_for(1ms);
    const std::optional<ReadAhead::Result> b = readAhead.Take(L"b.jpg", kFit);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, 3000);
    std::lock_guard lock(gate->mutex);
    EXPECT_EQ(gate->started, 2);
}

} // namespace
