#include "base/CheckedArray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

CheckedArray<int> emptyGrowable()
{
    CheckedArray<int> array;
    array.allowGrowth(true);
    array.setSize(0);
    return array;
}

TEST(CheckedArrayAccounting, DefaultArrayHoldsFourSlotsInUse)
{
    CheckedArray<int> array;
    EXPECT_EQ(array.getSize(), 4);
    EXPECT_EQ(array.getAllocSize(), 4);
    array.setSize(0);
    EXPECT_EQ(array.getSize(), 0);
    EXPECT_EQ(array.getAllocSize(), 4);
}

TEST(CheckedArrayAccounting, AppendingGrowsByTheFixedStepAndKeepsValues)
{
    CheckedArray<int> array = emptyGrowable();
    for (int i = 0; i < 5; ++i) {
        array.at(array.getSize()) = i * 10;
    }
    EXPECT_EQ(array.getSize(), 5);
    EXPECT_EQ(array.getAllocSize(), 8);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(array.at(i), i * 10);
    }
}

TEST(CheckedArrayAccounting, GrowUsesTheStepForNonPositiveAmounts)
{
    CheckedArray<int> array;
    array.grow(0);
    EXPECT_EQ(array.getAllocSize(), 8);
    array.grow(-1);
    EXPECT_EQ(array.getAllocSize(), 12);
    array.grow(10);
    EXPECT_EQ(array.getAllocSize(), 22);
    EXPECT_EQ(array.getSize(), 4);
}

TEST(CheckedArrayAccounting, SetSizeBeyondTheAllocationGrowsByExactlyTheDifference)
{
    CheckedArray<int> array;
    array.setSize(16);
    EXPECT_EQ(array.getAllocSize(), 16);
    EXPECT_EQ(array.getSize(), 16);
}

TEST(CheckedArrayAccounting, SetAllocSizeShrinksToExactlyOrGrowsAndSetsTheSize)
{
    CheckedArray<int> array = emptyGrowable();
    array.setAllocSize(10000);
    EXPECT_EQ(array.getAllocSize(), 10000);
    EXPECT_EQ(array.getSize(), 10000);
    array.setSize(0);
    array.setAllocSize(7);
    EXPECT_EQ(array.getAllocSize(), 7);
    EXPECT_EQ(array.getSize(), 0);
}

TEST(CheckedArrayAccounting, ReserveLeavesAnEmptyArrayWithExactlyThatAllocation)
{
    CheckedArray<std::string> array = [] {
        CheckedArray<std::string> a;
        a.allowGrowth(true);
        return a;
    }();
    array.reserve(10000);
    EXPECT_EQ(array.getSize(), 0);
    EXPECT_EQ(array.getAllocSize(), 10000);
    array.at(0) = "first";
    EXPECT_EQ(array.getAllocSize(), 10000);
    EXPECT_EQ(array.at(0), "first");
}

TEST(CheckedArrayAccounting, ManyAppendsKeepTheFixedStepAccounting)
{
    // A million appends: quick only because real storage grows geometrically.
    CheckedArray<int> array = emptyGrowable();
    array.setGrowth(8);
    for (int i = 0; i < 1000000; ++i) {
        array.at(i) = i;
    }
    // 4 slots to begin with, then steps of 8.
    EXPECT_EQ(array.getAllocSize(), 1000004);
    EXPECT_EQ(array.at(999999), 999999);
    for (int i = 1000000; i < 1000005; ++i) {
        array.at(i) = i;
    }
    EXPECT_EQ(array.getAllocSize(), 1000012);
}

TEST(CheckedArrayAccounting, ByteArraysSurviveTheMoveFromInlineToHeapStorage)
{
    CheckedArray<std::uint8_t> bytes;
    bytes.allowGrowth(true);
    bytes.setSize(0);
    for (int i = 0; i < 300; ++i) {
        bytes.at(i) = static_cast<std::uint8_t>(i);
    }
    EXPECT_EQ(bytes.getAllocSize(), 300);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(bytes.at(i), static_cast<std::uint8_t>(i));
    }
    CheckedArray<std::uint8_t> moved(std::move(bytes));
    EXPECT_EQ(moved.getSize(), 300);
    EXPECT_EQ(moved.at(299), static_cast<std::uint8_t>(299));
}

TEST(CheckedArrayAccounting, ByteArraysKeepTheirLeadingBytesAcrossShrinkAndRegrow)
{
    CheckedArray<std::uint8_t> bytes;
    bytes.setSize(300);
    for (int i = 0; i < 300; ++i) {
        bytes.at(i) = static_cast<std::uint8_t>(i + 1);
    }
    bytes.setSize(5);
    EXPECT_EQ(bytes.getAllocSize(), 300);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(bytes.at(i), i + 1);
    }
    bytes.setSize(20);
    EXPECT_EQ(bytes.at(4), 5);
    EXPECT_EQ(bytes.at(5), 0);  // new elements start from zero
    CheckedArray<std::uint8_t> copy(bytes);
    EXPECT_EQ(copy.getSize(), 20);
    EXPECT_EQ(copy.at(0), 1);
}

// A file's events are this array plus two 32-bit fields: its size decides
// the memory a large song takes.
static_assert(sizeof(CheckedArray<std::uint8_t>) <= 24, "a byte array must stay small enough for ten million events");

// Small arrays live on the heap, large ones (a megabyte and more) in storage
// mapped from the system, whose front pages are given back as they are dropped.
class CheckedArrayDropFront : public testing::TestWithParam<int> {};

TEST_P(CheckedArrayDropFront, KeepsTheRestInPlaceAndShrinksTheAccounting)
{
    const int count = GetParam();
    CheckedArray<std::int64_t> values;
    values.allowGrowth(true);
    values.setSize(0);
    for (int i = 0; i < count; ++i) {
        values.append(std::int64_t{3} * i + 1);
    }
    const std::int32_t allocated = values.getAllocSize();
    const std::int64_t* last = &values.at(count - 1);
    const int dropped = count / 3 + 1;
    values.dropFront(dropped);
    ASSERT_EQ(values.getSize(), count - dropped);
    EXPECT_EQ(values.getAllocSize(), allocated - dropped);
    EXPECT_EQ(&values.at(count - dropped - 1), last);
    for (int i = 0; i < count - dropped; ++i) {
        ASSERT_EQ(values.at(i), std::int64_t{3} * (i + dropped) + 1) << i;
    }
    // Appending after a drop still works, and dropping past the end empties.
    values.append(std::int64_t{-5});
    EXPECT_EQ(values.at(count - dropped), -5);
    values.dropFront(count);
    EXPECT_EQ(values.getSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CheckedArrayDropFront, testing::Values(7, 400000));

TEST_P(CheckedArrayDropFront, HandsItsPagesToAReceiverWithoutDisturbingEitherArray)
{
    const int count = GetParam();
    CheckedArray<std::int64_t> source;
    source.allowGrowth(true);
    source.setSize(0);
    for (int i = 0; i < count; ++i) {
        source.append(std::int64_t{5} * i + 2);
    }
    CheckedArray<std::int64_t> receiver;
    receiver.allowGrowth(true);
    receiver.setSize(0);
    receiver.append(std::int64_t{-1});
    receiver.reserveStorage(count + 1);
    // Move the elements over in rounds, dropping each round from the source.
    const int round = count / 4 + 1;
    while (source.getSize() > 0) {
        const int n = std::min<int>(round, source.getSize());
        for (int i = 0; i < n; ++i) {
            receiver.append(source.at(i));
        }
        source.dropFront(n, &receiver);
    }
    ASSERT_EQ(receiver.getSize(), count + 1);
    EXPECT_EQ(receiver.at(0), -1);
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(receiver.at(i + 1), std::int64_t{5} * i + 2) << i;
    }
}

TEST(CheckedArrayAssignment, SmallSourceKeepsTheTargetsSettings)
{
    CheckedArray<int> source;
    source.setSize(2);
    source.at(0) = 7;
    source.at(1) = 8;
    source.allowGrowth(true);
    source.setGrowth(16);
    source.setMaxSize(100);

    CheckedArray<int> target;  // 4 slots, not growable, step 4, no maximum
    target = source;
    EXPECT_EQ(target.getSize(), 2);
    EXPECT_EQ(target.at(1), 8);
    EXPECT_FALSE(target.isGrowable());
    EXPECT_EQ(target.growthSize(), 4);
    EXPECT_EQ(target.maxSize(), 0);
    EXPECT_EQ(target.getAllocSize(), 4);
}

TEST(CheckedArrayAssignment, LargerSourceGivesItsSettingsToTheTarget)
{
    CheckedArray<int> source;
    source.setSize(10);
    for (int i = 0; i < 10; ++i) {
        source.at(i) = i;
    }
    source.allowGrowth(true);
    source.setGrowth(16);
    source.setMaxSize(100);

    CheckedArray<int> target;
    target = source;
    EXPECT_EQ(target.getSize(), 10);
    EXPECT_EQ(target.getAllocSize(), 10);
    EXPECT_TRUE(target.isGrowable());
    EXPECT_EQ(target.growthSize(), 16);
    EXPECT_EQ(target.maxSize(), 100);
    EXPECT_EQ(target.at(9), 9);
}

using CheckedArrayDeathTest = ::testing::Test;

TEST_F(CheckedArrayDeathTest, IndexAtTheSizeOfAFixedArrayEndsTheProcess)
{
    CheckedArray<int> array;
    EXPECT_EXIT(array.at(4), ::testing::ExitedWithCode(1),
                "^Error: accessing invalid array location 4 Maximum is 3\n$");
}

TEST_F(CheckedArrayDeathTest, EmptyArrayReportsMaximumMinusOne)
{
    CheckedArray<int> array;
    array.setSize(0);
    EXPECT_EXIT(array.at(0), ::testing::ExitedWithCode(1),
                "^Error: accessing invalid array location 0 Maximum is -1\n$");
}

TEST_F(CheckedArrayDeathTest, OnlyTheSizeItselfAppendsToAGrowableArray)
{
    CheckedArray<int> array = emptyGrowable();
    EXPECT_EXIT(array.at(1), ::testing::ExitedWithCode(1),
                "^Error: accessing invalid array location 1 Maximum is -1\n$");
}

TEST_F(CheckedArrayDeathTest, GrowingPastTheMaximumEndsTheProcess)
{
    CheckedArray<int> array = emptyGrowable();
    array.setMaxSize(6);
    for (int i = 0; i < 4; ++i) {
        array.at(i) = i;
    }
    EXPECT_EXIT(array.at(4), ::testing::ExitedWithCode(1), "^Error: Maximum size allowed for array exceeded.\n$");
}

// A byte array that may not grow refuses to take bytes past its size, by
// each way bytes are put at its end, with the index message.
TEST_F(CheckedArrayDeathTest, FixedByteArrayEndsTheProcessWhenAppendedPastItsSize)
{
    const std::uint8_t bytes[3] = {0x90, 60, 100};
    const struct {
        const char* what;
        std::int32_t size;
        void (*put)(CheckedArray<std::uint8_t>&, const std::uint8_t*);
        const char* message;
    } rows[] = {
        {"append at the size", 2, [](CheckedArray<std::uint8_t>& a, const std::uint8_t* b) { a.append(b[0]); },
         "^Error: accessing invalid array location 2 Maximum is 1\n$"},
        {"three bytes into two, inline", 2,
         [](CheckedArray<std::uint8_t>& a, const std::uint8_t* b) { a.assignAppended(b, 3); },
         "^Error: accessing invalid array location 2 Maximum is 1\n$"},
        {"three bytes into none", 0,
         [](CheckedArray<std::uint8_t>& a, const std::uint8_t* b) { a.assignAppended(b, 3); },
         "^Error: accessing invalid array location 2 Maximum is -1\n$"},
    };
    for (const auto& row : rows) {
        CheckedArray<std::uint8_t> array;
        array.setSize(row.size);
        EXPECT_EXIT(row.put(array, bytes), ::testing::ExitedWithCode(1), row.message) << row.what;
    }
}

TEST_F(CheckedArrayDeathTest, AllocationBelowTheSizeEndsTheProcess)
{
    CheckedArray<int> array;
    EXPECT_EXIT(array.setAllocSize(3), ::testing::ExitedWithCode(1),
                "^Error: cannot set allocated size smaller than actual size.\n$");
}

}  // namespace
