// Tests of the timer tick period and its environment override.
#include "shell/tick_period.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct PeriodCase {
  const char* variable;
  unsigned expected;
};

std::ostream& operator<<(std::ostream& out, const PeriodCase& c) {
  if (c.variable == nullptr) return out << "unset";
  return out << '"' << c.variable << '"';
}

class TickPeriodTest : public testing::TestWithParam<PeriodCase> {};

TEST_P(TickPeriodTest, AcceptsOnlyAShorterWholeNumber) {
  EXPECT_EQ(tickPeriodFrom(GetParam().variable), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TickPeriodTest,
                         testing::Values(PeriodCase{nullptr, 6000}, PeriodCase{"", 6000},
                                         PeriodCase{"500", 500}, PeriodCase{"1", 1}, PeriodCase{"6000", 6000},
                                         PeriodCase{"6001", 6000}, PeriodCase{"0", 6000},
                                         PeriodCase{"-5", 6000}, PeriodCase{" 500", 6000},
                                         PeriodCase{"500ms", 6000}, PeriodCase{"fast", 6000},
                                         PeriodCase{"99999999999999999999", 6000}));

}  // namespace
