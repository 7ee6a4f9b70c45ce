// The output queue's cutting rules: what the worker pushed comes out of Take whole and in order,
// in the pieces that the rules give, and no piece ends between a CR and the LF queued after it (on
// Windows the rich edit makes two line breaks of such a pair; under Wine both halves look alike,
// so no comparison of the log's text sees it).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/OutputQueue.h"

namespace {

const size_t kPiece = OutputQueue::kLinePiece;

std::string Letters(size_t count)
{
    std::string text(count, 'x');
    for (size_t i = 0; i < count; ++i)
        text[i] = static_cast<char>('a' + i % 26);
    return text;
}

// Lines of `length` bytes (CR LF included) up to `count` bytes.
std::string Lines(size_t count, size_t length)
{
    std::string text;
    while (text.size() < count) {
        std::string line = Letters(length - 2) + "\r\n";
        text += line.substr(0, count - text.size());
    }
    return text;
}

struct CutCase {
    const char* name;
    std::vector<std::string> pushes;
    std::vector<size_t> pieces;  // the lengths that Take answers, in order
};

} // namespace

TEST(OutputQueue, TakeCutsAfterALineBreakAndNeverInsideACrLfPair)
{
    // Lines up to `lastBreak`, then a line whose CR is the last byte of a piece and whose LF is
    // the first byte past it.
    const size_t lastBreak = (kPiece - 2) / 100 * 100;
    const std::string straddling =
        Lines(lastBreak, 100) + Letters(kPiece - 1 - lastBreak) + "\r\n" + Lines(1000, 100);
    const CutCase cases[] = {
        {"nothing queued", {}, {}},
        {"a line still being written goes at once", {"abc"}, {3}},
        {"a CR whose LF has not come yet", {"abc\r"}, {4}},
        {"a piece's worth of lines goes whole", {Lines(kPiece, 80)}, {kPiece}},
        {"more than a piece: cut after the last LF inside it",
         {Lines(kPiece + 800, 80)}, {kPiece - kPiece % 80, kPiece % 80 + 800}},
        {"a CR LF pair across the piece's end stays together", {straddling},
         {lastBreak, straddling.size() - lastBreak}},
        {"a long line goes to its end in one piece",
         {Letters(3 * kPiece) + "\r\n" + Lines(160, 80)}, {3 * kPiece + 2, 160}},
        {"a long line ending in a CR LF pushed in two chunks",
         {Letters(2 * kPiece) + "\r", "\n" + Lines(80, 80)}, {2 * kPiece + 2, 80}},
        {"a long line not yet ended goes as far as it has gathered",
         {Letters(2 * kPiece + 5)}, {2 * kPiece + 5}},
    };
    std::vector<char> out(OutputQueue::kLimit);
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        OutputQueue queue;
        ASSERT_TRUE(queue.Open());
        std::string pushed;
        for (const std::string& push : c.pushes) {
            ASSERT_EQ(OutputQueue::kQueued, queue.Push(push.data(), push.size(), 0));
            pushed += push;
        }
        std::string taken;
        std::vector<size_t> pieces;
        for (size_t length; (length = queue.Take(out.data())) > 0;) {
            pieces.push_back(length);
            taken.append(out.data(), length);
            queue.PieceDone();
            if (taken.size() < pushed.size()) {
                EXPECT_FALSE(taken.back() == '\r' && pushed[taken.size()] == '\n')
                    << "a piece ends in the CR of the pair at byte " << taken.size() - 1;
            }
        }
        EXPECT_EQ(c.pieces, pieces);
        EXPECT_TRUE(taken == pushed) << "what came out differs from what went in";
        queue.Close();
    }
}

namespace {

// As a worker's flush waits: again after every change, until everything is in.
DWORD WINAPI WaitForTheLog(LPVOID parameter)
{
    const DWORD start = GetTickCount();
    while (!static_cast<OutputQueue*>(parameter)->WaitUntilInserted(5000)) {
        if (GetTickCount() - start > 5000)
            return 0;
    }
    return 1;
}

} // namespace

TEST(OutputQueue, ALongLineGathersOnlyWhileMoreOfItKeepsComing)
{
    struct GatherCase {
        const char* name;
        std::string push;
        bool fill;      // pushed until a push finds no room
        DWORD pauseMs;  // the longest pause that still gathers
        bool gathers;
    };
    const GatherCase cases[] = {
        {"letters just pushed", Letters(1000), false, 10000, true},
        {"nothing queued", "", false, 10000, false},
        {"a line feed among them", Letters(1000) + "\r\n" + Letters(10), false, 10000, false},
        {"a push that found no room", Letters(1000), true, 10000, false},
        {"the output paused", Letters(1000), false, 0, false},
    };
    std::vector<char> out(OutputQueue::kLimit);
    for (const GatherCase& c : cases) {
        SCOPED_TRACE(c.name);
        OutputQueue queue;
        ASSERT_TRUE(queue.Open());
        // The line's beginning, in the log already.
        queue.Push("abc", 3, 0);
        queue.Take(out.data());
        queue.PieceDone();
        queue.Push(c.push.data(), c.push.size(), 0);
        while (c.fill && queue.Push(c.push.data(), c.push.size(), 0) == OutputQueue::kQueued) {
        }
        EXPECT_EQ(c.gathers, queue.Gathers(c.pauseMs, 10000));
    }
    // Nor when the last piece went in too long ago, or when a worker waits for the text to be in.
    OutputQueue queue;
    ASSERT_TRUE(queue.Open());
    queue.Push("abc", 3, 0);
    queue.Take(out.data());
    queue.PieceDone();
    const std::string letters = Letters(1000);
    queue.Push(letters.data(), letters.size(), 0);
    EXPECT_FALSE(queue.Gathers(10000, 0));
    HANDLE waiter = CreateThread(nullptr, 0, WaitForTheLog, &queue, 0, nullptr);
    ASSERT_TRUE(waiter != nullptr);
    const DWORD start = GetTickCount();
    while (queue.Gathers(10000, 10000) && GetTickCount() - start < 2000)
        Sleep(1);
    EXPECT_FALSE(queue.Gathers(10000, 10000));
    EXPECT_EQ(letters.size(), queue.Take(out.data()));
    queue.PieceDone();
    DWORD waited = 0;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(waiter, 5000));
    GetExitCodeThread(waiter, &waited);
    EXPECT_EQ(1u, waited);
    CloseHandle(waiter);
}
