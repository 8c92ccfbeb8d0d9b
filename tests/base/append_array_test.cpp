// The unfolded graph's storage: records kept across growth, defaults for every new record
// even where an emptied array held one, the storage kept for the next sample.
#include "base/append_array.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

struct Record {
  double delay = 1.5;
  int number = -1;
  int other = 7;
};

TEST(AppendArray, KeepsRecordsAcrossGrowthAndMakesEachNewOneAsDefaults) {
  zelbo::AppendArray<Record> records;
  for (int i = 0; i < 1000; ++i) records.emplace_back().number = i;
  ASSERT_EQ(records.size(), 1000u);
  std::vector<int> numbers;
  for (auto r = records.rbegin(); r != records.rend(); ++r) numbers.push_back(r->number);
  EXPECT_EQ(numbers.front(), 999);
  EXPECT_EQ(numbers.back(), 0);
  bool inOrder = true;
  for (int i = 0; i < 1000; ++i) inOrder = inOrder && records[i].number == i && records[i].other == 7;
  EXPECT_TRUE(inOrder);

  const Record* storage = records.data();
  records.clear();
  EXPECT_TRUE(records.empty());
  records[0].delay = -3;  // what a finished sample leaves behind
  const Record& again = records.emplace_back();
  EXPECT_EQ(records.data(), storage);
  EXPECT_EQ(again.delay, 1.5);
  EXPECT_EQ(again.number, -1);

  zelbo::AppendArray<Record> moved(std::move(records));
  EXPECT_EQ(moved.size(), 1u);
  EXPECT_TRUE(records.empty());
  records.push_back(Record{2.0, 4, 5});
  EXPECT_EQ(records.back().number, 4);
}

}  // namespace
