// The page supplier and value trees under threads: a page or span has one
// holder at a time, and a tree built on one thread is read and destroyed
// whole on another.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "binding/page_supplier.h"
#include "binding/value_arena.h"
#include "stress.h"

namespace hpk {
namespace {

// Fills `size` bytes with `stamp`; true when they all still hold it.
void Stamp(void* memory, std::size_t size, std::uint32_t stamp) {
    auto* words = static_cast<std::uint32_t*>(memory);
    for (std::size_t i = 0; i < size / 4; ++i) words[i] = stamp;
}
bool Stamped(const void* memory, std::size_t size, std::uint32_t stamp) {
    const auto* words = static_cast<const std::uint32_t*>(memory);
    for (std::size_t i = 0; i < size / 4; ++i) {
        if (words[i] != stamp) return false;
    }
    return true;
}

TEST(ValuePagesStress, APageOrSpanHasOneHolderAtATime) {
    PageSupplier& supplier = PageSupplier::Instance();
    BindingValueArena::ReleaseSpare();
    const std::size_t blocksBefore = supplier.BlocksHeld();
    const std::size_t spansBefore = supplier.SpansHeld();
    const int rounds = stress::Rounds(400);
    std::atomic<int> overwritten{0};
    stress::RunThreads(stress::Threads(), [&](int t) {
        constexpr std::size_t kPage = PageSupplier::kPageSize;
        constexpr std::size_t kSpan = PageSupplier::kBlockSize + 1;  // two blocks
        for (int round = 0; round < rounds; ++round) {
            const std::uint32_t stamp = static_cast<std::uint32_t>(t) << 24 | static_cast<std::uint32_t>(round);
            void* pages[5] = {};
            const std::size_t count = supplier.AcquirePages(pages, 4);
            ASSERT_EQ(count, 4u);
            pages[4] = supplier.AcquirePage();
            ASSERT_NE(pages[4], nullptr);
            void* span = round % 8 == 0 ? supplier.AcquireSpan(kSpan) : nullptr;
            for (void* page : pages) Stamp(page, kPage, stamp);
            if (span != nullptr) Stamp(span, kSpan, stamp);
            std::this_thread::yield();  // let the others take and give back meanwhile
            for (void* page : pages) {
                if (!Stamped(page, kPage, stamp)) overwritten.fetch_add(1);
            }
            if (span != nullptr) {
                if (!Stamped(span, kSpan, stamp)) overwritten.fetch_add(1);
                supplier.ReturnSpan(span, kSpan);
            }
            // Half as a chain linked through each page's first word, half one by one.
            for (int i = 0; i < 2; ++i) *static_cast<void**>(pages[i]) = i == 0 ? pages[1] : nullptr;
            supplier.ReturnPageChain(pages[0]);
            for (int i = 2; i < 5; ++i) supplier.ReturnPage(pages[i]);
        }
    });
    EXPECT_EQ(overwritten.load(), 0);
    supplier.ReleaseSpare();
    EXPECT_EQ(supplier.BlocksHeld(), blocksBefore);
    EXPECT_EQ(supplier.SpansHeld(), spansBefore);
}

// A tree whose every part says who built it: a structure of scalars, a
// string, a blob and a list, large enough to take pages of its own.
BindingValue BuildTree(int from, int index) {
    BindingValue tree;
    tree.Member("from").SetSigned(from);
    tree.Member("index").SetSigned(index);
    tree.Member("name").SetString("tree " + std::to_string(from) + "-" + std::to_string(index));
    tree.Member("blob").SetBlob(std::vector<std::uint8_t>(40, static_cast<std::uint8_t>(index)));
    BindingValue& items = tree.Member("items");
    for (int i = 0; i < 200; ++i) {
        BindingValue& item = items.Append();
        item.Member("n").SetUnsigned(static_cast<std::uint64_t>(index + i));
        item.Member("label").SetString("item " + std::to_string(i % 17));
    }
    return tree;
}

// "" when `tree` is exactly what BuildTree(from, index) gave, else what differs.
std::string TreeProblem(const BindingValue& tree, int from, int index) {
    const std::string name = "tree " + std::to_string(from) + "-" + std::to_string(index);
    if (tree.Size() != 5 || tree.Member("from").AsSigned(-1) != from || tree.Member("index").AsSigned(-1) != index ||
        tree.Member("name").AsString() != name || tree.Member("blob").Size() != 40 ||
        tree.Member("blob").BlobData()[39] != static_cast<std::uint8_t>(index)) {
        return name + ": a scalar, the name or the blob differs";
    }
    const BindingValue& items = tree.Member("items");
    if (items.Size() != 200) return name + ": items lost";
    for (int i = 0; i < 200; ++i) {
        const BindingValue& item = items.Element(static_cast<std::size_t>(i));
        if (item.Member("n").AsUnsigned() != static_cast<std::uint64_t>(index + i) ||
            item.Member("label").AsString() != "item " + std::to_string(i % 17)) {
            return name + ": item " + std::to_string(i) + " differs";
        }
    }
    return {};
}

TEST(ValuePagesStress, TreesHandedToAnotherThreadArriveWhole) {
    const int threads = stress::Threads();
    const int trees = stress::Rounds(150);
    struct Inbox {
        std::mutex mutex;
        std::deque<BindingValue> trees;
    };
    std::vector<Inbox> inboxes(static_cast<std::size_t>(threads));
    std::vector<std::string> problems(static_cast<std::size_t>(threads));
    stress::RunThreads(threads, [&](int t) {
        Inbox& mine = inboxes[static_cast<std::size_t>(t)];
        Inbox& next = inboxes[static_cast<std::size_t>((t + 1) % threads)];
        const int from = (t + threads - 1) % threads;  // who sends to this thread
        int sent = 0;
        int received = 0;
        while (received < trees) {
            if (sent < trees) {
                BindingValue tree = BuildTree(t, sent++);
                std::lock_guard<std::mutex> lock(next.mutex);
                next.trees.push_back(std::move(tree));
            }
            BindingValue tree;
            bool arrived = false;
            {
                std::lock_guard<std::mutex> lock(mine.mutex);
                if (!mine.trees.empty()) {
                    tree = std::move(mine.trees.front());
                    mine.trees.pop_front();
                    arrived = true;
                }
            }
            if (!arrived) {
                std::this_thread::yield();
                continue;
            }
            // Checked, copied into this thread's own tree and checked again,
            // then both destroyed here: the sender's arena ends on this thread.
            std::string problem = TreeProblem(tree, from, received);
            const BindingValue copy(tree);
            if (problem.empty()) problem = TreeProblem(copy, from, received);
            if (!problem.empty() && problems[static_cast<std::size_t>(t)].empty()) {
                problems[static_cast<std::size_t>(t)] = problem;
            }
            ++received;
        }
    });
    for (const std::string& problem : problems) EXPECT_EQ(problem, "");
}

}  // namespace
}  // namespace hpk
