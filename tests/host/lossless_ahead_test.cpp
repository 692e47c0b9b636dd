// A turned JPEG's blocks rearranged ahead of its save: the save gets them
// for exactly the record they were made for, waits for them while they are
// under way, and never gets what was superseded or failed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "base/Cancellation.h"
#include "imaging/pictures/LosslessAhead.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Stand-in work: the file's bytes followed by the transform's number. A file
// starting with 'F' fails; one starting with 'W' waits until it is let go or
// cancelled.
struct FakeWork {
    std::atomic<bool> letGo{false}, sawCancel{false};
    std::atomic<int> runs{0};

    LosslessAhead::Work Work()
    {
        return [this](std::span<const uint8_t> file, Orientation o) -> std::optional<Bytes> {
            ++runs;
            if (file[0] == 'F')
                throw std::runtime_error("damaged");
            while (file[0] == 'W' && !letGo) {
                if (CancelRequested()) {
                    sawCancel = true;
                    throw WorkCancelled{};
                }
                std::this_thread::yield();
            }
            Bytes out(file.begin(), file.end());
            out.push_back(uint8_t(o));
            return out;
        };
    }
};

std::shared_ptr<const Bytes> File(std::string text)
{
    return std::make_shared<const Bytes>(text.begin(), text.end());
}

TEST(LosslessAhead, SaveGetsOnlyWhatWasMadeForItsRecordAndNotSuperseded)
{
    FakeWork fake;
    LosslessAhead ahead(fake.Work());
    const auto photo = File("photo"), copy = File("photo"), other = File("other");
    const auto turned = ahead.Prepare(photo, Orientation::RotateClockwise);
    // The same bytes in another buffer are the same file.
    EXPECT_EQ(turned->Take(*copy, Orientation::RotateClockwise), *File("photo\6"));
    EXPECT_EQ(turned->Take(*photo, Orientation::RotateClockwise), *File("photo\6")) << "a second save gets them too";
    EXPECT_FALSE(turned->Take(*photo, Orientation::Rotate180)) << "another transform";
    EXPECT_FALSE(turned->Take(*other, Orientation::RotateClockwise)) << "another file";

    // A newer turn supersedes the finished preparation: it is never used.
    const auto again = ahead.Prepare(photo, Orientation::Rotate180);
    EXPECT_FALSE(turned->Take(*photo, Orientation::RotateClockwise));
    EXPECT_EQ(again->Take(*photo, Orientation::Rotate180), *File("photo\3"));
    ahead.Drop();
    EXPECT_FALSE(again->Take(*photo, Orientation::Rotate180)) << "dropped with the picture";

    // Work that fails prepares nothing: the save does it itself.
    const auto failed = ahead.Prepare(File("Fail"), Orientation::FlipVertical);
    EXPECT_FALSE(failed->Take(*File("Fail"), Orientation::FlipVertical));
    EXPECT_EQ(fake.runs, 3);
}

TEST(LosslessAhead, SaveWaitsForWorkUnderWayAndANewerTurnCancelsIt)
{
    FakeWork fake;
    LosslessAhead ahead(fake.Work());
    const auto slow = File("Wslow");
    {
        const auto under = ahead.Prepare(slow, Orientation::Transpose);
        std::thread release([&] {
            while (fake.runs == 0)
                std::this_thread::yield();
            fake.letGo = true;
        });
        EXPECT_EQ(under->Take(*slow, Orientation::Transpose), *File("Wslow\5"));
        release.join();
    }
    fake.letGo = false;
    const auto superseded = ahead.Prepare(slow, Orientation::Transverse);
    while (fake.runs < 2)
        std::this_thread::yield();
    // Supersedes the work under way, which stops; its outcome is not waited for.
    const auto newer = ahead.Prepare(File("done"), Orientation::Transverse);
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         !fake.sawCancel && std::chrono::steady_clock::now() < until;)
        std::this_thread::yield();
    EXPECT_TRUE(fake.sawCancel);
    EXPECT_FALSE(superseded->Take(*slow, Orientation::Transverse));
    EXPECT_EQ(newer->Take(*File("done"), Orientation::Transverse), *File("done\7"));
}

} // namespace
